// What submitPrintJob reads from its payload and the checks that need no printing system. The
// print command, the tests and the fast fuzzer share them through this header.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

struct PrinterSettings;

struct PrintRequest
{
    QString printerName;
    QJsonArray pages;
    double widthMm = 0;
    double heightMm = 0;
    QString jobName;
    int copies = 1;
    QJsonObject options;  // driver option name to choice name
    int resolution = 0;   // dots per inch; 0 leaves the printer's own
    // As the payload gives them: a resolution of another type is refused, and a job in a label
    // printer's own language quotes them in its refusals (printerlanguage/LanguageRequest.h).
    QJsonValue printerLanguage;
    QJsonValue resolutionGiven;
    QJsonValue languageSettings;
};

// A key of another JSON type than its own gives the default.
PrintRequest readPrintRequest(const QString &payloadJson);

// Longer than any printer's page (10 m), and short of where Qt's whole-point sizes overflow.
constexpr double maxPageSideMm = 10000;

// The first fault of the payload itself (no printer, no pages, a side outside (0, 10 m]); empty if none.
QString firstPayloadError(const PrintRequest &request);

// "打印机不支持所选设置：name=value", the value as the payload gave it.
QString settingRefusal(const QString &name, const QJsonValue &choice);

// "打印机不支持所选设置：name=value" for the first option or resolution the printer does not offer,
// or for a "resolution" that is not a whole number; empty if it offers all of them.
QString firstSettingNotOffered(const PrintRequest &request, const PrinterSettings &printer);
