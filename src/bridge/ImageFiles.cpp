#include "ImageFiles.h"

#include "BridgeMessages.h"

#include <QFile>
#include <QFileInfo>

namespace {

// An SVG drawing names its root element near the start, after an XML declaration, comments or
// a document type; it holds no NUL byte.
bool isSvg(const QByteArray &bytes)
{
    const QByteArray head = bytes.left(4096);
    if (head.contains('\0'))
        return false;
    int start = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < head.size() && QChar::isSpace(uchar(head.at(start))))
        ++start;
    return head.mid(start, 1) == "<" && head.contains("<svg");
}

} // namespace

QString imageFormatOf(const QByteArray &bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return QStringLiteral("png");
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return QStringLiteral("jpeg");
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return QStringLiteral("gif");
    if (bytes.startsWith("BM") && bytes.size() >= 26)
        return QStringLiteral("bmp");
    if (bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return QStringLiteral("webp");
    if (isSvg(bytes))
        return QStringLiteral("svg");
    return QString();
}

ImageFileRead readPictureFile(const QString &path)
{
    // Only regular files: a device or a pipe could block the call or never end.
    QFile file(path);
    if (path.isEmpty() || !QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return {QByteArray(), BridgeMessages::cannotReadFile()};
    const QByteArray bytes = file.read(maxImageFileBytes + 1);
    if (bytes.size() > maxImageFileBytes)
        return {QByteArray(), QStringLiteral("图片文件超过 20 MB")};
    if (bytes.isEmpty())
        return {QByteArray(), BridgeMessages::cannotReadFile()};
    if (imageFormatOf(bytes).isEmpty())
        return {QByteArray(), QStringLiteral("不是图片文件（PNG、JPEG、GIF、BMP、WebP 或 SVG）")};
    return {bytes, QString()};
}
