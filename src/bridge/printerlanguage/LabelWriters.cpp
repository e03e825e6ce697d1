#include "LabelWriters.h"

#include <QImage>

#include <cstring>

namespace {

// Luminance below half and alpha at least half, in integers: 0.299, 0.587, 0.114 times 1000.
bool burns(QRgb colour)
{
    return qAlpha(colour) >= 128 && qRed(colour) * 299 + qGreen(colour) * 587 + qBlue(colour) * 114 < 127500;
}

void setDot(uchar *row, int x)
{
    row[x >> 3] |= uchar(0x80 >> (x & 7));
}

// A 1-bit page is mapped a byte at a time through what its two colours print as.
void readMonoRows(const QImage &page, LabelDots &dots)
{
    const QVector<QRgb> colours = page.colorTable();
    const bool zeroBurns = !colours.isEmpty() && burns(colours[0]);
    const bool oneBurns = colours.size() > 1 && burns(colours[1]);
    const uchar lastByteMask = dots.width % 8 ? uchar(0xFF << (8 - dots.width % 8)) : uchar(0xFF);
    for (int y = 0; y < dots.height; ++y) {
        const uchar *in = page.constScanLine(y);
        uchar *out = reinterpret_cast<uchar *>(dots.bits.data()) + y * dots.bytesPerRow;
        for (int i = 0; i < dots.bytesPerRow; ++i)
            out[i] = zeroBurns ? (oneBurns ? 0xFF : uchar(~in[i])) : (oneBurns ? in[i] : 0);
        out[dots.bytesPerRow - 1] &= lastByteMask;
    }
}

void readIndexedRows(const QImage &page, LabelDots &dots)
{
    const QVector<QRgb> colours = page.colorTable();
    bool burning[256] = {};
    for (int i = 0; i < colours.size() && i < 256; ++i)
        burning[i] = burns(colours[i]);
    for (int y = 0; y < dots.height; ++y) {
        const uchar *in = page.constScanLine(y);
        uchar *out = reinterpret_cast<uchar *>(dots.bits.data()) + y * dots.bytesPerRow;
        for (int x = 0; x < dots.width; ++x) {
            if (burning[in[x]])
                setDot(out, x);
        }
    }
}

// Any other format is read in strips of straight (not premultiplied) ARGB, so a large page is
// never held twice in full.
void readColourRows(const QImage &page, LabelDots &dots)
{
    constexpr int stripRows = 64;
    const bool straight = page.format() == QImage::Format_ARGB32 || page.format() == QImage::Format_RGB32;
    for (int top = 0; top < dots.height; top += stripRows) {
        const int rows = qMin(stripRows, dots.height - top);
        const QImage strip = straight ? page : page.copy(0, top, dots.width, rows).convertToFormat(QImage::Format_ARGB32);
        const int stripTop = straight ? top : 0;
        for (int y = 0; y < rows; ++y) {
            const auto *in = reinterpret_cast<const QRgb *>(strip.constScanLine(stripTop + y));
            uchar *out = reinterpret_cast<uchar *>(dots.bits.data()) + (top + y) * dots.bytesPerRow;
            for (int x = 0; x < dots.width; ++x) {
                if (burns(in[x]))
                    setDot(out, x);
            }
        }
    }
}

// Millimetres as TSPL reads them: a plain decimal of at most two places.
QByteArray millimetres(double mm)
{
    QByteArray text = QByteArray::number(mm, 'f', 2);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    return text;
}

// TSPL and EPL2 burn a dot for a clear bit; the padding past the last column stays unburnt.
QByteArray clearBitsBurn(const LabelDots &dots)
{
    QByteArray inverted(dots.bits.size(), Qt::Uninitialized);
    const auto *in = reinterpret_cast<const uchar *>(dots.bits.constData());
    auto *out = reinterpret_cast<uchar *>(inverted.data());
    for (int i = 0; i < dots.bits.size(); ++i)
        out[i] = uchar(~in[i]);
    return inverted;
}

QByteArray tsplStart(const LabelFormat &format)
{
    QByteArray text = "SIZE " + millimetres(format.widthMm) + " mm," + millimetres(format.heightMm) + " mm\r\n";
    switch (format.media) {
    case MediaSensing::Gap: text += "GAP " + millimetres(format.gapMm) + " mm,0 mm\r\n"; break;
    case MediaSensing::Mark: text += "BLINE " + millimetres(format.gapMm) + " mm,0 mm\r\n"; break;
    case MediaSensing::Continuous: text += "GAP 0,0\r\n"; break;
    case MediaSensing::PrinterOwn: break;
    }
    if (format.darkness != LabelFormat::printerOwn)
        text += "DENSITY " + QByteArray::number(format.darkness) + "\r\n";
    if (format.speed != LabelFormat::printerOwn)
        text += "SPEED " + QByteArray::number(format.speed) + "\r\n";
    return text;
}

QByteArray eplStart(const LabelFormat &format)
{
    // The blank line ends whatever a previous job left unfinished.
    QByteArray text = "\nq" + QByteArray::number(labelDotsAcross(format.widthMm, format.dotsPerInch)) + '\n';
    const QByteArray length = "Q" + QByteArray::number(labelDotsAcross(format.heightMm, format.dotsPerInch)) + ',';
    const QByteArray gap = QByteArray::number(labelDotsAcross(format.gapMm, format.dotsPerInch));
    switch (format.media) {
    case MediaSensing::Gap: text += length + gap + '\n'; break;
    case MediaSensing::Mark: text += length + 'B' + gap + '\n'; break;
    case MediaSensing::Continuous: text += length + "0\n"; break;
    case MediaSensing::PrinterOwn: break;
    }
    if (format.darkness != LabelFormat::printerOwn)
        text += "D" + QByteArray::number(format.darkness) + '\n';
    if (format.speed != LabelFormat::printerOwn)
        text += "S" + QByteArray::number(format.speed) + '\n';
    return text;
}

QByteArray zplLabel(const LabelFormat &format, const LabelDots &dots)
{
    QByteArray text = "^XA\n^PW" + QByteArray::number(dots.width) + "\n^LL" + QByteArray::number(dots.height) + "\n^LH0,0\n";
    switch (format.media) {
    case MediaSensing::Gap: text += "^MNY\n"; break;
    case MediaSensing::Mark: text += "^MNM\n"; break;
    case MediaSensing::Continuous: text += "^MNN\n"; break;
    case MediaSensing::PrinterOwn: break;
    }
    if (format.darkness != LabelFormat::printerOwn)
        text += "~SD" + QByteArray::number(format.darkness).rightJustified(2, '0') + '\n';
    if (format.speed != LabelFormat::printerOwn)
        text += "^PR" + QByteArray::number(format.speed) + '\n';
    const QByteArray total = QByteArray::number(dots.bits.size());
    text += "^FO0,0^GFA," + total + ',' + total + ',' + QByteArray::number(dots.bytesPerRow) + ',' + zplGraphicData(dots)
        + "^FS\n^PQ1\n^XZ\n";
    return text;
}

// ZPL's repeat counts: g..z for 20 to 400 and G..Y for 1 to 19, added together, before the digit.
void appendRun(QByteArray &out, char digit, int count)
{
    constexpr int longestRun = 400 + 19;
    while (count > 0) {
        const int run = qMin(count, longestRun);
        if (run >= 20)
            out += char('f' + run / 20);
        if (run % 20 != 0 && run != 1)
            out += char('F' + run % 20);
        out += digit;
        count -= run;
    }
}

// The CRC that follows a ":Z64:" block: CRC-16 with polynomial 0x1021 from 0, over the Base64 text.
quint16 z64Crc(const QByteArray &text)
{
    quint16 crc = 0;
    for (const char c : text) {
        crc ^= quint16(uchar(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 0x8000 ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

} // namespace

int labelDotsAcross(double mm, int dotsPerInch)
{
    return qRound(mm * dotsPerInch / 25.4);
}

LabelDots readLabelDots(const QImage &page)
{
    LabelDots dots;
    if (page.isNull())
        return dots;
    dots.width = page.width();
    dots.height = page.height();
    dots.bytesPerRow = (dots.width + 7) / 8;
    dots.bits = QByteArray(dots.bytesPerRow * dots.height, '\0');
    if (page.format() == QImage::Format_Mono)
        readMonoRows(page, dots);
    else if (page.format() == QImage::Format_Indexed8)
        readIndexedRows(page, dots);
    else if (page.format() == QImage::Format_MonoLSB)
        readMonoRows(page.convertToFormat(QImage::Format_Mono), dots);
    else
        readColourRows(page, dots);
    return dots;
}

QByteArray jobStart(const LabelFormat &format)
{
    switch (format.language) {
    case LabelLanguage::Tspl: return tsplStart(format);
    case LabelLanguage::Epl2: return eplStart(format);
    case LabelLanguage::Zpl: break;
    }
    return QByteArray();
}

QByteArray labelCommands(const LabelFormat &format, const LabelDots &dots)
{
    const QByteArray rows = QByteArray::number(dots.bytesPerRow) + ',' + QByteArray::number(dots.height) + ',';
    switch (format.language) {
    case LabelLanguage::Tspl:
        return "CLS\r\nBITMAP 0,0," + rows + "0," + clearBitsBurn(dots) + "\r\nPRINT 1,1\r\n";
    case LabelLanguage::Epl2:
        return "N\nGW0,0," + rows + clearBitsBurn(dots) + "\nP1\n";
    case LabelLanguage::Zpl:
        break;
    }
    return zplLabel(format, dots);
}

QByteArray zplGraphicData(const LabelDots &dots)
{
    const QByteArray ascii = zplAsciiCompressed(dots);
    // Run lengths pay off on drawn labels; a photograph's dither gains more from zlib.
    if (ascii.size() <= dots.bits.size())
        return ascii;
    const QByteArray z64 = zplZ64(dots);
    return z64.size() < ascii.size() ? z64 : ascii;
}

// Each row as hexadecimal runs; a row like the one above is ":", and a row's trailing zeros (or
// ones) are "," (or "!").
QByteArray zplAsciiCompressed(const LabelDots &dots)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(dots.bits.size() / 4);
    QByteArray digits(dots.bytesPerRow * 2, Qt::Uninitialized);
    for (int y = 0; y < dots.height; ++y) {
        const uchar *row = dots.row(y);
        if (y > 0 && std::memcmp(row, dots.row(y - 1), size_t(dots.bytesPerRow)) == 0) {
            out += ':';
            continue;
        }
        for (int i = 0; i < dots.bytesPerRow; ++i) {
            digits[2 * i] = hex[row[i] >> 4];
            digits[2 * i + 1] = hex[row[i] & 0xF];
        }
        int end = digits.size();
        const char last = digits.at(end - 1);
        while (end > 0 && digits.at(end - 1) == last)
            --end;
        const bool filled = (last == '0' || last == 'F') && digits.size() - end > 1;
        if (!filled)
            end = digits.size();
        for (int start = 0; start < end;) {
            int next = start + 1;
            while (next < end && digits.at(next) == digits.at(start))
                ++next;
            appendRun(out, digits.at(start), next - start);
            start = next;
        }
        if (filled)
            out += last == '0' ? ',' : '!';
    }
    return out;
}

QByteArray zplZ64(const LabelDots &dots)
{
    // qCompress puts the uncompressed length before the zlib stream; ZPL wants the stream alone.
    const QByteArray base64 = qCompress(dots.bits).mid(4).toBase64();
    return ":Z64:" + base64 + ':' + QByteArray::number(z64Crc(base64), 16).toUpper().rightJustified(4, '0');
}
