#include "LabelDecoder.h"

#include <QHash>
#include <QPoint>

#include <cctype>

namespace {

QImage blankLabel(int width, int height)
{
    // Too large an image is null, which setting its colours and filling leave so.
    QImage image(width, height, QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    image.fill(0);
    return image;
}

struct PlacedGraphic
{
    QImage image;
    QPoint origin;
};

// The label as tall as its graphics, and `width` dots wide, or as wide as its graphics without
// one; dots beyond the label's edge are not printed. Every writer here starts its graphics on a
// whole byte, where they are laid down a byte at a time (a large label has millions of dots);
// any other place is refused rather than read wrong.
QImage composeLabel(int width, const QList<PlacedGraphic> &placed, QString *error)
{
    int right = width;
    int bottom = 0;
    for (const PlacedGraphic &graphic : placed) {
        if (graphic.origin.x() < 0 || graphic.origin.y() < 0 || graphic.origin.x() % 8 != 0) {
            *error = QStringLiteral("graphic at %1,%2, not on a whole byte").arg(graphic.origin.x()).arg(graphic.origin.y());
            return QImage();
        }
        if (width <= 0)
            right = qMax(right, graphic.origin.x() + graphic.image.width());
        bottom = qMax(bottom, graphic.origin.y() + graphic.image.height());
    }
    QImage label = blankLabel(right, bottom);
    if (label.isNull())
        return label;
    for (const PlacedGraphic &graphic : placed) {
        const QPoint origin = graphic.origin;
        const int bytes = qMin((graphic.image.width() + 7) / 8, (right - origin.x() + 7) / 8);
        for (int y = 0; y < graphic.image.height() && bytes > 0; ++y) {
            uchar *row = label.scanLine(origin.y() + y) + origin.x() / 8;
            const uchar *dots = graphic.image.constScanLine(y);
            for (int i = 0; i < bytes; ++i)
                row[i] |= dots[i];
        }
    }
    // Dots past the label's right edge are not printed.
    if (right % 8) {
        for (int y = 0; y < bottom; ++y)
            label.scanLine(y)[right / 8] &= uchar(0xFF << (8 - right % 8));
    }
    return label;
}

// ZPL's compressed hexadecimal rows: G..Y repeat the next digit 1..19 times and g..z 20..400
// times (added together), "," ends a row with zeros, "!" with ones, ":" repeats the row above.
QImage zplGraphic(const QByteArray &data, int totalBytes, int bytesPerRow, QString *error)
{
    if (bytesPerRow <= 0 || totalBytes <= 0 || totalBytes % bytesPerRow != 0) {
        *error = QStringLiteral("graphic of %1 bytes in rows of %2").arg(totalBytes).arg(bytesPerRow);
        return QImage();
    }
    const int rows = totalBytes / bytesPerRow;
    QImage graphic = blankLabel(bytesPerRow * 8, rows);
    if (graphic.isNull()) {
        *error = QStringLiteral("graphic of %1 x %2 dots").arg(bytesPerRow * 8).arg(rows);
        return graphic;
    }
    const int rowDigits = bytesPerRow * 2;
    QByteArray digits;
    int repeat = 0;
    int y = 0;
    auto endRow = [&](char fill) {
        digits.append(QByteArray(rowDigits - digits.size(), fill));
        memcpy(graphic.scanLine(y++), QByteArray::fromHex(digits).constData(), size_t(bytesPerRow));
        digits.clear();
    };
    for (const char c : data) {
        if (y == rows)
            break;
        if (c >= 'G' && c <= 'Y') {
            repeat += c - 'F';
        } else if (c >= 'g' && c <= 'z') {
            repeat += (c - 'f') * 20;
        } else if (isxdigit(uchar(c))) {
            digits.append(QByteArray(qMax(repeat, 1), c));
            repeat = 0;
            if (digits.size() > rowDigits) {
                *error = QStringLiteral("row %1 runs past its %2 bytes").arg(y).arg(bytesPerRow);
                return QImage();
            }
            if (digits.size() == rowDigits)
                endRow('0');
        } else if (c == ',' || c == '!') {
            endRow(c == ',' ? '0' : 'F');
        } else if (c == ':' && digits.isEmpty()) {
            if (y > 0)
                memcpy(graphic.scanLine(y), graphic.constScanLine(y - 1), size_t(bytesPerRow));
            ++y;
        } else if (!QChar::isSpace(uchar(c))) {
            *error = QStringLiteral("unexpected '%1' in row %2").arg(QLatin1Char(c)).arg(y);
            return QImage();
        }
    }
    if (y != rows) {
        *error = QStringLiteral("graphic ends after %1 of %2 rows").arg(y).arg(rows);
        return QImage();
    }
    return graphic;
}

// CRC-16/XMODEM (polynomial 0x1021, from 0), bit by bit.
quint16 crc16(const QByteArray &text)
{
    quint32 crc = 0;
    for (const char c : text) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = (crc >> 15) & 1;
            const bool in = (uchar(c) >> bit) & 1;
            crc = (crc << 1) & 0xFFFF;
            if (top != in)
                crc ^= 0x1021;
        }
    }
    return quint16(crc);
}

// ":Z64:BASE64:CRC" holds the rows zlib-compressed, ":B64:BASE64:CRC" holds them as they are; the
// CRC is over the Base64 text. A set bit burns.
QImage base64Graphic(const QByteArray &data, int totalBytes, int bytesPerRow, QString *error)
{
    const QList<QByteArray> parts = data.mid(5).split(':');
    if (parts.size() != 2 || bytesPerRow <= 0 || totalBytes <= 0 || totalBytes % bytesPerRow != 0) {
        *error = QStringLiteral("malformed %1 graphic").arg(QString::fromLatin1(data.left(5)));
        return QImage();
    }
    if (parts[1].trimmed().toUInt(nullptr, 16) != crc16(parts[0]) || parts[1].trimmed().size() != 4) {
        *error = QStringLiteral("graphic CRC %1 does not match its data").arg(QString::fromLatin1(parts[1]));
        return QImage();
    }
    QByteArray bytes = QByteArray::fromBase64(parts[0]);
    if (data.startsWith(":Z64:")) {
        const uchar size[4] = {uchar(totalBytes >> 24), uchar(totalBytes >> 16), uchar(totalBytes >> 8), uchar(totalBytes)};
        bytes = qUncompress(QByteArray(reinterpret_cast<const char *>(size), 4) + bytes);
    }
    if (bytes.size() != totalBytes) {
        *error = QStringLiteral("graphic holds %1 bytes, not %2").arg(bytes.size()).arg(totalBytes);
        return QImage();
    }
    QImage graphic = blankLabel(bytesPerRow * 8, totalBytes / bytesPerRow);
    for (int y = 0; y < graphic.height(); ++y)
        memcpy(graphic.scanLine(y), bytes.constData() + y * bytesPerRow, size_t(bytesPerRow));
    return graphic;
}

// Where the text after the n-th comma starts, or -1 without one.
int afterCommas(const QByteArray &text, int n)
{
    int at = -1;
    for (int i = 0; i < n && (i == 0 || at >= 0); ++i)
        at = text.indexOf(',', at + 1);
    return at < 0 ? -1 : at + 1;
}

QList<int> numbers(const QByteArray &parameters)
{
    QList<int> values;
    for (const QByteArray &part : parameters.split(','))
        values.append(part.trimmed().toInt());
    return values;
}

class ZplReader
{
public:
    DecodedLabels read(const QByteArray &data)
    {
        for (int start = nextCommand(data, 0); start >= 0 && result.error.isEmpty();) {
            const int end = nextCommand(data, start + 1);
            command(data.mid(start, end < 0 ? -1 : end - start));
            start = end;
        }
        return result;
    }

private:
    static int nextCommand(const QByteArray &data, int from)
    {
        for (int i = from; i < data.size(); ++i) {
            if (data[i] == '^' || data[i] == '~')
                return i;
        }
        return -1;
    }

    void command(const QByteArray &text)
    {
        const QByteArray code = text.left(3).toUpper();
        const QByteArray parameters = text.mid(3);
        const bool carriesGraphic = code == "~DG" || code == "^GF";
        result.commands += QString::fromLatin1(carriesGraphic ? graphicHeader(text) : text.trimmed()) + QLatin1Char('\n');
        if (code == "^XA") {
            placed.clear();
            fieldOrigin = QPoint();
        } else if (code == "^XZ" && !placed.isEmpty()) {
            result.pages.append(composeLabel(width, placed, &result.error));
            placed.clear();
        } else if (code == "^PW") {
            width = parameters.trimmed().toInt();
        } else if (code == "^FO") {
            const QList<int> values = numbers(parameters);
            fieldOrigin = QPoint(values.value(0), values.value(1));
        } else if (code == "~DG") {
            storeGraphic(parameters);
        } else if (code == "^XG") {
            recallGraphic(parameters);
        } else if (code == "^GF") {
            inlineGraphic(parameters);
        }
    }

    // The command up to its graphic data: "~DGname,total,perRow," or "^GFA,total,total,perRow,".
    static QByteArray graphicHeader(const QByteArray &text)
    {
        const int data = afterCommas(text, text.startsWith("~") ? 3 : 4);
        return (data < 0 ? text : text.left(data)).trimmed();
    }

    void storeGraphic(const QByteArray &parameters)
    {
        const int data = afterCommas(parameters, 3);
        if (data < 0) {
            result.error = QStringLiteral("~DG without its sizes");
            return;
        }
        const QList<QByteArray> parts = parameters.left(data).split(',');
        stored.insert(parts[0].trimmed(), zplGraphic(parameters.mid(data), parts[1].toInt(), parts[2].toInt(), &result.error));
    }

    void recallGraphic(const QByteArray &parameters)
    {
        const QByteArray name = parameters.split(',').first().trimmed();
        if (!stored.contains(name)) {
            result.error = QStringLiteral("^XG of an unknown graphic ") + QString::fromLatin1(name);
            return;
        }
        placed.append({stored.value(name), fieldOrigin});
    }

    // The hexadecimal (A) form, its data as compressed hexadecimal or as ":Z64:" / ":B64:" blocks.
    void inlineGraphic(const QByteArray &parameters)
    {
        const int start = afterCommas(parameters, 4);
        const QList<QByteArray> parts = parameters.left(start).split(',');
        if (start < 0 || parts[0].trimmed() != "A") {
            result.error = QStringLiteral("^GF other than hexadecimal");
            return;
        }
        const QByteArray data = parameters.mid(start).trimmed();
        const QImage graphic = data.startsWith(":Z64:") || data.startsWith(":B64:")
            ? base64Graphic(data, parts[2].toInt(), parts[3].toInt(), &result.error)
            : zplGraphic(data, parts[2].toInt(), parts[3].toInt(), &result.error);
        placed.append({graphic, fieldOrigin});
    }

    DecodedLabels result;
    QHash<QByteArray, QImage> stored;
    QList<PlacedGraphic> placed;
    QPoint fieldOrigin;
    int width = 0;
};

// Reads line by line, where a raster graphic's header is followed by its raw bytes: "GWx,y,bytes,rows"
// in EPL2 (the data after a comma or after the line's end), "BITMAP x,y,bytes,rows,mode," in TSPL.
// In both a clear bit burns a dot.
class LineReader
{
public:
    explicit LineReader(const QByteArray &data) : data(data) {}

    DecodedLabels read()
    {
        while (position < data.size() && result.error.isEmpty()) {
            int lineEnd = data.indexOf('\n', position);
            if (lineEnd < 0)
                lineEnd = data.size();
            const QByteArray line = data.mid(position, lineEnd - position).trimmed();
            if (line.startsWith("GW") || line.startsWith("BITMAP "))
                rasterGraphic(line.startsWith("GW") ? 2 : 7);
            else
                command(line, lineEnd + 1);
        }
        return result;
    }

private:
    void command(const QByteArray &line, int next)
    {
        position = next;
        if (line.isEmpty())
            return;
        result.commands += QString::fromLatin1(line) + QLatin1Char('\n');
        if (line == "N" || line == "CLS") {
            placed.clear();
        } else if (line.startsWith('q')) {
            width = line.mid(1).toInt();
        } else if ((line.startsWith('P') && !line.startsWith("PRINT")) || line.startsWith("PRINT ")) {
            // EPL2's "Pn" and TSPL's "PRINT n[,m]": n labels, each m copies.
            const QList<int> counts = numbers(line.mid(line.startsWith("PRINT") ? 6 : 1));
            const int labels = qMax(counts.value(0), 1) * qMax(counts.value(1, 1), 1);
            for (int i = 0; i < labels && !placed.isEmpty(); ++i)
                result.pages.append(composeLabel(width, placed, &result.error));
        }
    }

    void rasterGraphic(int nameLength)
    {
        const int count = nameLength == 2 ? 4 : 5;
        int cursor = position + nameLength;
        QList<int> values;
        while (values.size() < count) {
            const int start = cursor;
            while (cursor < data.size() && (isdigit(uchar(data[cursor])) || data[cursor] == ' ' || data[cursor] == '-'))
                ++cursor;
            values.append(data.mid(start, cursor - start).trimmed().toInt());
            // A comma follows each; EPL2's data may also follow the line's end.
            const QByteArray separator = data.mid(cursor, 2) == "\r\n" ? QByteArray("\r\n") : data.mid(cursor, 1);
            if (separator != "," && !(count == 4 && values.size() == 4 && (separator == "\n" || separator == "\r\n")))
                return fail();
            cursor += separator.size();
        }
        const int bytesPerRow = values[2];
        const int rows = values[3];
        if (bytesPerRow <= 0 || rows <= 0 || qint64(bytesPerRow) * rows > data.size() - cursor)
            return fail();
        result.commands += QString::fromLatin1(data.mid(position, cursor - position).trimmed()) + QLatin1Char('\n');
        QImage dots = blankLabel(bytesPerRow * 8, rows);
        for (int y = 0; y < rows; ++y) {
            for (int i = 0; i < bytesPerRow; ++i)
                dots.scanLine(y)[i] = uchar(~data[cursor++]);
        }
        placed.append({dots, QPoint(values[0], values[1])});
        position = cursor;
    }

    void fail()
    {
        const int lineEnd = data.indexOf('\n', position);
        result.error = QStringLiteral("graphic cut short or malformed: ")
            + QString::fromLatin1(data.mid(position, lineEnd < 0 ? 40 : qMin(lineEnd - position, 40)));
    }

    const QByteArray &data;
    int position = 0;
    DecodedLabels result;
    QList<PlacedGraphic> placed;
    int width = 0;
};

} // namespace

DecodedLabels decodeLabels(const QByteArray &printerData)
{
    const QByteArray start = printerData.left(64).trimmed();
    DecodedLabels labels;
    if (start.startsWith("SIZE ") || start.startsWith('N') || start.startsWith('q'))
        labels = LineReader(printerData).read();
    else if (start.startsWith('^') || start.startsWith('~') || printerData.contains("^XA"))
        labels = ZplReader().read(printerData);
    else
        labels.error = QStringLiteral("neither ZPL, EPL2 nor TSPL");
    if (!labels.error.isEmpty())
        labels.pages.clear();
    return labels;
}
