#include "PageImage.h"

#include <QBuffer>
#include <QImageReader>

QImage decodePageImage(const QJsonValue &page)
{
    const QString text = page.toString();
    const QStringRef base64 = text.midRef(text.indexOf(QLatin1Char(',')) + 1);
    QByteArray bytes = QByteArray::fromBase64(base64.toUtf8());
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    const QSize claimed = reader.size();
    if (!claimed.isValid() || qint64(claimed.width()) * claimed.height() > maxPagePixels)
        return QImage();
    return reader.read();
}

namespace {

bool isBlack(QRgb colour) { return (colour & 0xffffff) == 0; }
bool isWhite(QRgb colour) { return (colour & 0xffffff) == 0xffffff; }

} // namespace

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
