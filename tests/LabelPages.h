// Label pages as the front end sends them, for the printing tests.
#pragma once

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QString>

inline QString pngBase64(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QString::fromLatin1(bytes.toBase64());
}

// A label as the front end renders one for a thermal printer, at its resolution, 1-bit: a frame on
// the outermost dots, a block in the top left corner that shows any turn or mirror, bars one, two
// and three dots wide, and a byte's worth of dots alone in its rows.
inline QImage thermalLabel(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, width - 1, height - 1);
    painter.fillRect(0, 0, width / 4, height / 4, Qt::black);
    for (int x = width / 2, bar = 1; bar <= 3; x += 2 * bar + 3, ++bar)
        painter.fillRect(x, height / 3, bar, height / 3, Qt::black);
    painter.fillRect(width / 16 * 8, height * 3 / 4, 8, 3, Qt::black);
    painter.end();
    return image.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
}
