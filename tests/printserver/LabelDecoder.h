// Reads what a label printer would receive back into dots: the ZPL and EPL2 that CUPS' label
// drivers write and the TSPL, ZPL and EPL2 that the program writes itself, so tests can see exactly
// what would be burnt onto the label. Written apart from the program's writers, from the languages.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

struct DecodedLabels
{
    // One 1-bit image per printed label, a set bit (black) for each dot the head burns.
    QList<QImage> pages;
    // The printer-language commands with the graphic data left out, one a line.
    QString commands;
    // Why the data could not be read; empty when it could.
    QString error;
};

// ZPL: graphics stored with ~DG (recalled by ^XG) or sent inline with ^GFA, in hexadecimal text
// with ZPL's run-length compression or as :Z64: / :B64: blocks, at their ^FO; the label is ^PW dots
// wide and as tall as its graphics.
// EPL2: GW graphics of raw bytes (a clear bit burns) on a label q dots wide, as tall as its graphics;
// P prints it.
// TSPL: BITMAP graphics of raw bytes (a clear bit burns), cleared by CLS, printed by PRINT; the label
// is as wide and as tall as its graphics (SIZE gives millimetres, not dots).
DecodedLabels decodeLabels(const QByteArray &printerData);
