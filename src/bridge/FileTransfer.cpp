#include "BridgeMessages.h"
#include "DesktopBridge.h"
#include "FileLinks.h"
#include "FileRoutines.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

namespace {

QString cannotWriteTarget() { return QStringLiteral("无法写入目标文件"); }
QString invalidContentEncoding() { return QStringLiteral("文件内容编码无效"); }
QString writeFailed() { return QStringLiteral("写入文件失败"); }

// A save replaces only a regular file that may be written: never a folder or a device,
// and never a file the user marked read-only (also when running as root, who could).
bool existingTargetRefusesWrite(const QString &path)
{
    const QFileInfo target(path);
    if (!target.exists())
        return false;
    const QFileDevice::Permissions anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !target.isFile() || !target.isWritable() || !(target.permissions() & anyWrite);
}

// Where no temporary file can be made beside the target (a shared project in someone else's
// folder) a file the user may write is written in place. Its old bytes are kept first, the room
// for the new ones is taken before any byte of the file changes (a full disk or a quota then
// refuses the save with the file untouched), and should the write fail after all the old bytes
// are put back.
QString writeInPlace(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return cannotWriteTarget();
    const qint64 oldSize = file.size();
    const QByteArray old = file.readAll();
    if (old.size() != oldSize)
        return cannotWriteTarget();
    if (bytes.size() > oldSize && posix_fallocate(file.handle(), oldSize, bytes.size() - oldSize) != 0) {
        file.resize(oldSize);
        return writeFailed();
    }
    if (file.seek(0) && file.write(bytes) == bytes.size() && file.resize(bytes.size()) && fsync(file.handle()) == 0)
        return QString();
    if (file.seek(0) && file.write(old) == old.size())
        file.resize(oldSize);
    fsync(file.handle());
    return writeFailed();
}

} // namespace

QString readFileBase64(const QString &path)
{
    // Only regular files: a device or a pipe could block the call or never end.
    if (path.contains(QChar(QChar::Null)) || !QFileInfo(path).isFile())
        return QString();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxTransferBytes)
        return QString();
    // At most one byte past the limit is read, whatever size the file reports: a file of the
    // kernel's reports size 0 and may hold gigabytes.
    QByteArray bytes;
    bytes.reserve(int(file.size()));
    char chunk[64 * 1024];
    while (bytes.size() <= maxTransferBytes) {
        const qint64 read = file.read(chunk, qMin<qint64>(sizeof chunk, maxTransferBytes + 1 - bytes.size()));
        if (read < 0)
            return QString();
        if (read == 0)
            break;
        bytes.append(chunk, int(read));
    }
    if (bytes.size() > maxTransferBytes)
        return QString();
    return QString::fromLatin1(bytes.toBase64());
}

QString fileReply(const QString &path)
{
    const QString text = readFileBase64(path);
    // The path, because a file chosen in a dialog is one the page cannot name by itself.
    if (text.isEmpty())
        return makeErrorReply(BridgeMessages::cannotReadFile(), {{QStringLiteral("path"), path}});
    QJsonObject object;
    object.insert(QStringLiteral("path"), path);
    object.insert(QStringLiteral("name"), QFileInfo(path).fileName());
    object.insert(QStringLiteral("dataBase64"), text);
    return makeOkReply(object);
}

QString fileLinkReply(const QString &path, FileLinks &links)
{
    const QFileInfo info(path);
    // The files a file reply reads: regular, readable, holding something, within the limit. A
    // file of the kernel's reports size 0 however much it holds, so it is refused here too.
    if (path.contains(QChar(QChar::Null)) || !info.isFile() || !info.isReadable() || info.size() <= 0
        || info.size() > maxTransferBytes)
        return makeErrorReply(BridgeMessages::cannotReadFile(), {{QStringLiteral("path"), path}});
    QJsonObject object;
    object.insert(QStringLiteral("path"), path);
    object.insert(QStringLiteral("name"), info.fileName());
    object.insert(QStringLiteral("size"), double(info.size()));
    object.insert(QStringLiteral("url"), links.grant(info.absoluteFilePath()).toString(QUrl::FullyEncoded));
    return makeOkReply(object);
}

// The content goes to a temporary file beside the target that replaces it only once it is
// complete, so a failure at any step leaves an existing file exactly as it was. Content that
// decodes to nothing is refused: a save never empties a project. A name with a NUL character would
// reach the system cut short at it, naming another file.
QString writeBase64File(const QString &path, const QString &base64Text)
{
    if (path.contains(QChar(QChar::Null)) || existingTargetRefusesWrite(path))
        return cannotWriteTarget();
    const QByteArray bytes = QByteArray::fromBase64(base64Text.toUtf8());
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        if (!QFileInfo(path).isFile() || QFileInfo(QFileInfo(path).absolutePath()).isWritable())
            return cannotWriteTarget();
        return bytes.isEmpty() ? invalidContentEncoding() : writeInPlace(path, bytes);
    }
    if (bytes.isEmpty()) {
        file.cancelWriting();
        return invalidContentEncoding();
    }
    if (file.write(bytes) != bytes.size() || !file.commit())
        return writeFailed();
    return QString();
}

QString ensureSuffix(const QString &path, const QString &suffix)
{
    if (path.endsWith(suffix, Qt::CaseInsensitive))
        return path;
    return path + suffix;
}

QString DesktopBridge::rememberedFolder(const QString &key) const
{
    if (settings.contains(key))
        return settings.value(key).toString();
    // A first dialog starts where a user keeps files, never in the program's own folder.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void DesktopBridge::rememberFolderOf(const QString &key, const QString &filePath)
{
    settings.setValue(key, QFileInfo(filePath).absolutePath());
}
