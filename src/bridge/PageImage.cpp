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
    if (claimed.isValid() && qint64(claimed.width()) * claimed.height() > maxPagePixels)
        return QImage();
    return reader.read();
}
