// What a printer offers a user beyond the page: its driver's options, or the printer's own
// settings when it has no driver, its resolutions and the page sizes its driver names.
#pragma once

#include <QList>
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
    // The job option that chooses the resolution: a driver's "Resolution", else IPP's.
    QString resolutionOptionName;
    // The queue has a PPD driver; without one CUPS passes a job's bytes to the printer unchanged.
    bool hasDriver = false;

    const PrinterOption *option(const QString &name) const;
};

// The first available printer with exactly this system name; a null record when there is none.
QPrinterInfo findPrinter(const QString &systemName);

// Asks the printing system afresh; a printer it cannot describe offers nothing.
PrinterSettings readPrinterSettings(const QString &printerName);
