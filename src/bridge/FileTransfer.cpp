#include "BridgeMessages.h"
#include "DesktopBridge.h"
#include "FileRoutines.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

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

} // namespace

QString readFileBase64(const QString &path)
{
    // Only regular files: a device or a pipe could block the call or never end.
    if (!QFileInfo(path).isFile())
        return QString();
    // The size is checked before reading, so that the read holds only what the file has.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxTransferBytes)
        return QString();
    const QByteArray bytes = file.readAll();
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

// The content goes to a temporary file beside the target that replaces it only once it is
// complete, so a failure at any step leaves an existing file exactly as it was. Only where the
// folder refuses a temporary file is a file the user may write written in place: a shared
// project in someone else's folder still saves, at the price of that guarantee. Opening in place
// already empties the file, so content that does not decode never takes that road.
QString writeBase64File(const QString &path, const QString &base64Text)
{
    const QByteArray bytes = QByteArray::fromBase64(base64Text.toUtf8());
    const bool undecodable = bytes.isEmpty() && !base64Text.isEmpty();
    QSaveFile file(path);
    file.setDirectWriteFallback(!undecodable);
    if (existingTargetRefusesWrite(path) || !file.open(QIODevice::WriteOnly))
        return cannotWriteTarget();
    if (undecodable) {
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
