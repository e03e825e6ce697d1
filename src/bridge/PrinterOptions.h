// What a printer offers a user beyond the page: its driver's options, or the printer's own
// settings when it has no driver, its resolutions and the page sizes its driver names.
#pragma once

#include <QList>
#include <QtMath>
#include <QSizeF>
#include <QString>
#include <QStringList>

class QPrinterInfo;

struct PrinterChoice
{
    QString name;
    QString label;
};

struct PrinterOption
{
    QString name;
    QString label;
    QString defaultChoice;
    QList<PrinterChoice> choices;

    bool offers(const QString &choice) const;
};

struct DriverPageSize
{
    QString name;
    QSizeF sizeMm;
};

struct PrinterSettings
{
    QList<PrinterOption> options;
    QList<int> resolutions; // dots per inch
    int defaultResolution = 0;
    QList<DriverPageSize> pageSizes;
    // The sides, in millimetres, of the sizes of its own that the driver takes: empty sizes for a
    // driver that takes none, and no bound at all for a printer without a driver.
    QSizeF customMinMm{0, 0};
    QSizeF customMaxMm{qInf(), qInf()};
    // The job option that chooses the resolution: a driver's "Resolution", else IPP's.
    QString resolutionOptionName;
    // The queue has a PPD driver; without one CUPS passes a job's bytes to the printer unchanged.
    bool hasDriver = false;

    const PrinterOption *option(const QString &name) const;
    // The driver's named size within 0.1 mm of the label, which it knows best; null when none is.
    const DriverPageSize *namedPageSize(double widthMm, double heightMm) const;
    // Whether the driver prints a page of this size upright: one of its named sizes, or a size of
    // its own within its range (a label past the range would be cut or run off the stock).
    bool takesPageSize(double widthMm, double heightMm) const;
};

// The first available printer with exactly this system name; a null record when there is none.
QPrinterInfo findPrinter(const QString &systemName);

// Asks the printing system afresh; a printer it cannot describe offers nothing.
PrinterSettings readPrinterSettings(const QString &printerName);
