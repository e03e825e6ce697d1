#include "PageImage.h"

#include <QBuffer>
#include <QImageReader>

namespace {

bool withinPixelCap(const QSize &size)
{
    return size.isValid() && qint64(size.width()) * size.height() <= maxPagePixels;
}

// Qt's GIF reader tells the size of the first frame, but decodes onto the logical screen the
// header names (bytes 6 to 9, little-endian) on each side where that is not far larger than the
// frame: a frame of no size on a screen of 11051 dots squared took half a gigabyte. Each side of
// the page is at most the larger of the two.
QSize gifScreenSize(const QByteArray &file)
{
    const auto byteAt = [&file](int i) { return int(uchar(file.at(i))); };
    if (file.size() < 10)
        return QSize();
    return QSize(byteAt(6) | byteAt(7) << 8, byteAt(8) | byteAt(9) << 8);
}

// Raster formats only, whose pictures are wholly inside the file, and only those whose cut-short
// files are told apart (Qt's BMP reader, too, fills in what is missing). A vector format (SVG) draws
// what it names, local files among them, at a size the page's pixel cap never sees; an icon's
// directory names at most 256 dots a side while the picture inside it may be a PNG of any size.
bool isPageFormat(const QByteArray &format)
{
    for (const char *raster : {"png", "jpeg", "gif"}) {
        if (format == raster)
            return true;
    }
    return false;
}

// Qt's JPEG and GIF readers fill in what a cut-short file lacks and report success. A JPEG's
// scans end in its end-of-image marker (inside a scan 0xFF is always followed by 0 or a restart
// number); a GIF ends in its trailer byte. Qt's PNG reader fails on a short file.
bool isWholeFile(const QByteArray &format, const QByteArray &file)
{
    if (format == "jpeg")
        return file.lastIndexOf("\xff\xd9") > file.lastIndexOf("\xff\xda");
    if (format == "gif")
        return file.endsWith('\x3b');
    return true;
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
    // Asked first: once the size is read, Qt's icon reader no longer names its format.
    const QByteArray format = reader.format();
    if (!isPageFormat(format) || !isWholeFile(format, bytes))
        return QImage();
    const QSize claimed = reader.size();
    if (!withinPixelCap(claimed))
        return QImage();
    if (format == "gif" && !withinPixelCap(claimed.expandedTo(gifScreenSize(bytes))))
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
