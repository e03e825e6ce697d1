// Label printers' own languages (TSPL, ZPL II, EPL2) written from a page's dots, for printers
// that have no driver or that print faster without one. Pure routines: no printing system here.
#pragma once

#include <QByteArray>

class QImage;

enum class LabelLanguage { Tspl, Zpl, Epl2 };
enum class MediaSensing { PrinterOwn, Gap, Mark, Continuous };

// What a job tells the printer besides the dots; a setting left at its "own" value is not
// written, so the printer keeps what it was set to.
struct LabelFormat
{
    static constexpr int printerOwn = -1;

    LabelLanguage language = LabelLanguage::Tspl;
    double widthMm = 0;
    double heightMm = 0;
    int dotsPerInch = 203;
    int darkness = printerOwn;
    int speed = printerOwn;
    MediaSensing media = MediaSensing::PrinterOwn;
    double gapMm = 0; // the gap between labels, or the black mark's height; unused otherwise
};

// A page as the print head sees it: rows of bytesPerRow bytes, the leftmost dot in the most
// significant bit, a set bit for each dot that burns; the bits past the last column are clear.
struct LabelDots
{
    int width = 0;
    int height = 0;
    int bytesPerRow = 0;
    QByteArray bits;

    const uchar *row(int y) const { return reinterpret_cast<const uchar *>(bits.constData()) + y * bytesPerRow; }
};

// A dot burns where the page is dark and opaque: luminance (0.299 R + 0.587 G + 0.114 B) below half
// and alpha at least half. Everything else about the page (its colours, its text) is dropped here.
LabelDots readLabelDots(const QImage &page);

// The label's side in whole dots at the format's resolution.
int labelDotsAcross(double mm, int dotsPerInch);

// What comes once before the labels: the label's size, media sensing, darkness and speed.
// ZPL carries these in every label instead, so its start is empty.
QByteArray jobStart(const LabelFormat &format);
// One label: its dots and the command that prints it once.
QByteArray labelCommands(const LabelFormat &format, const LabelDots &dots);

// ZPL's graphic data for ^GFA: hexadecimal rows in ZPL's ASCII compression, or ":Z64:" with the
// zlib-compressed rows in Base64 and their CRC, whichever is shorter for these dots.
QByteArray zplGraphicData(const LabelDots &dots);
QByteArray zplAsciiCompressed(const LabelDots &dots);
QByteArray zplZ64(const LabelDots &dots);
