#include "LabelDecoder.h"

#include <QHash>
#include <QPoint>

#include <cctype>

namespace {

QImage blankLabel(int width, int height)
{
    QImage image(width, height, QImage::Format_Mono);
    if (image.isNull())
        return image;
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
// one; dots beyond the label's edge are not printed.
QImage composeLabel(int width, const QList<PlacedGraphic> &placed)
{
    int right = width;
    int bottom = 0;
    for (const PlacedGraphic &graphic : placed) {
        if (width <= 0)
            right = qMax(right, graphic.origin.x() + graphic.image.width());
        bottom = qMax(bottom, graphic.origin.y() + graphic.image.height());
    }
    QImage label = blankLabel(right, bottom);
    for (const PlacedGraphic &graphic : placed) {
        for (int y = 0; y < graphic.image.height(); ++y) {
            for (int x = 0; x < graphic.image.width(); ++x) {
                const QPoint dot = graphic.origin + QPoint(x, y);
                if (label.rect().contains(dot) && graphic.image.pixelIndex(x, y))
                    label.setPixel(dot, 1);
            }
        }
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
        if (!result.error.isEmpty())
            result.pages.clear();
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
            result.pages.append(composeLabel(width, placed));
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
        const int commas = text.startsWith("~") ? 3 : 4;
        int cut = 0;
        for (int i = 0; i < commas && cut >= 0; ++i)
            cut = text.indexOf(',', cut + 1);
        return (cut < 0 ? text : text.left(cut + 1)).trimmed();
    }

    void storeGraphic(const QByteArray &parameters)
    {
        const QList<QByteArray> parts = parameters.split(',');
        if (parts.size() < 4) {
            result.error = QStringLiteral("~DG without its sizes");
            return;
        }
        const QByteArray data = parameters.mid(parts[0].size() + parts[1].size() + parts[2].size() + 3);
        stored.insert(parts[0].trimmed(), zplGraphic(data, parts[1].toInt(), parts[2].toInt(), &result.error));
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

    // Only the hexadecimal (A) form is read.
    void inlineGraphic(const QByteArray &parameters)
    {
        const QList<QByteArray> parts = parameters.split(',');
        if (parts.size() < 5 || parts[0].trimmed() != "A") {
            result.error = QStringLiteral("^GF other than hexadecimal");
            return;
        }
        const int skip = parts[0].size() + parts[1].size() + parts[2].size() + parts[3].size() + 4;
        placed.append({zplGraphic(parameters.mid(skip), parts[1].toInt(), parts[3].toInt(), &result.error), fieldOrigin});
    }

    DecodedLabels result;
    QHash<QByteArray, QImage> stored;
    QList<PlacedGraphic> placed;
    QPoint fieldOrigin;
    int width = 0;
};

// EPL2 page mode: N clears the page, q sets its width, GWx,y,bytes,rows is followed by that many
// raw bytes (a clear bit burns a dot), P prints the page.
DecodedLabels readEpl(const QByteArray &data)
{
    DecodedLabels result;
    QList<PlacedGraphic> placed;
    int width = 0;
    for (int position = 0; position < data.size();) {
        int lineEnd = data.indexOf('\n', position);
        if (lineEnd < 0)
            lineEnd = data.size();
        const QByteArray line = data.mid(position, lineEnd - position).trimmed();
        position = lineEnd + 1;
        if (line.isEmpty())
            continue;
        result.commands += QString::fromLatin1(line) + QLatin1Char('\n');
        if (line.startsWith("GW")) {
            const QList<int> values = numbers(line.mid(2));
            const int bytesPerRow = values.value(2);
            const int rows = values.value(3);
            if (bytesPerRow <= 0 || rows <= 0 || position + bytesPerRow * rows > data.size()) {
                result.error = QStringLiteral("GW graphic cut short: ") + QString::fromLatin1(line);
                return result;
            }
            QImage dots = blankLabel(bytesPerRow * 8, rows);
            for (int y = 0; y < rows; ++y) {
                for (int i = 0; i < bytesPerRow; ++i)
                    dots.scanLine(y)[i] = uchar(~data[position++]);
            }
            placed.append({dots, QPoint(values.value(0), values.value(1))});
        } else if (line == "N") {
            placed.clear();
        } else if (line.startsWith('q')) {
            width = line.mid(1).toInt();
        } else if (line.startsWith('P') && !placed.isEmpty()) {
            result.pages.append(composeLabel(width, placed));
            placed.clear();
        }
    }
    return result;
}

} // namespace

DecodedLabels decodeLabels(const QByteArray &printerData)
{
    if (printerData.contains("^XA"))
        return ZplReader().read(printerData);
    if (printerData.contains("\nq") || printerData.startsWith("q"))
        return readEpl(printerData);
    DecodedLabels unknown;
    unknown.error = QStringLiteral("neither ZPL nor EPL2");
    return unknown;
}
