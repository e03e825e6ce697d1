#include "DesktopBridge.h"
#include "FileRoutines.h"
#include "ImageFiles.h"

#include <QFileInfo>

// The page names the file (from a data source's cells); nothing is asked and no remembered
// folder changes. The reply has the shape of every file read: "path", "name", "dataBase64".
QString DesktopBridge::readImageFile(const QString &path)
{
    const ImageFileRead read = readPictureFile(path);
    if (!read.error.isEmpty())
        return makeErrorReply(read.error);
    QJsonObject object;
    object.insert(QStringLiteral("path"), path);
    object.insert(QStringLiteral("name"), QFileInfo(path).fileName());
    object.insert(QStringLiteral("dataBase64"), QString::fromLatin1(read.bytes.toBase64()));
    return makeOkReply(object);
}
