#include "PageImage.h"

#include <QBuffer>
#include <QImageReader>

namespace {

bool withinPixelCap(const QSize &size)
{
    return size.isValid() && qint64(size.width()) * size.height() <= maxPagePixels;
}

// Qt's GIF reader tells the size of the first frame, but decodes onto the whole logical screen
// the header names (bytes 6 to 9, little-endian) unless that is more than ten times the frame and
// 16384 dots: a frame of no size on a screen of 11051 dots squared took half a gigabyte.
QSize gifScreenSize(const QByteArray &file)
{
    const auto byteAt = [&file](int i) { return int(uchar(file.at(i))); };
    if (file.size() < 10)
        return QSize();
    return QSize(byteAt(6) | byteAt(7) << 8, byteAt(8) | byteAt(9) << 8);
}

// Opaque only: a transparent colour prints as the paper, whatever its colour value (a grey-scale
// PNG's transparent black would otherwise come out black).
bool isBlack(QRgb colour) { return colour == qRgb(0, 0, 0); }
bool isWhite(QRgb colour) { return colour == qRgb(255, 255, 255); }

} // namespace

QImage decodePageImage(const QJsonValue &page)
{
    const QString text = page.toString();
    const QStringRef base64 = text.midRef(text.indexOf(QLatin1Char(',')) + 1);
    QByteArray bytes = QByteArray::fromBase64(base64.toUtf8());
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    if (!withinPixelCap(reader.size()))
        return QImage();
    if (reader.format() == "gif" && !withinPixelCap(gifScreenSize(bytes)))
        return QImage();
    return reader.read();
}

QImage keptOneBit(const QImage &image)
{
    const QVector<QRgb> colours = image.colorTable();
    const bool blackAndWhite = colours.size() == 2 && ((isBlack(colours[0]) && isWhite(colours[1]))
                                                       || (isWhite(colours[0]) && isBlack(colours[1])));
    if (image.depth() != 1 || !blackAndWhite)
        return image;
    QImage mono = image.convertToFormat(QImage::Format_Mono);
    if (isWhite(colours[0]))
        mono.invertPixels();
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    return mono;
}
