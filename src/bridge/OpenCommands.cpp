#include "BridgeMessages.h"
#include "DesktopBridge.h"
#include "FileRoutines.h"
#include "RememberedFolders.h"

#include <QFileDialog>

namespace {

QString missingSpreadsheetPath() { return QStringLiteral("missing spreadsheet path"); }
QString unknownFileKind() { return QStringLiteral("未知的文件种类"); }

// Empty when the user cancels. No options: the desktop's own dialog where there is one.
QString askFileToOpen(QWidget *window, const QString &caption, const QString &folder, const QString &filter)
{
    return QFileDialog::getOpenFileName(window, caption, folder, filter, nullptr, QFileDialog::Options());
}

} // namespace

// The folder is remembered before the read, so a file that turns out unreadable still
// leaves the next dialog where the user was looking.
QString DesktopBridge::chooseToOpen(OpenedFile kind)
{
    const bool project = kind == OpenedFile::Project;
    const QString key = project ? RememberedFolders::projectKey() : RememberedFolders::sheetKey();
    const QString target = project
        ? askFileToOpen(window, QStringLiteral("打开标签工程"), rememberedFolder(key), QStringLiteral("Cardwright Project (*.cwrt *.json)"))
        : askFileToOpen(window, QStringLiteral("导入数据源"), rememberedFolder(key), QStringLiteral("Spreadsheet (*.xlsx *.xls *.csv)"));
    if (!target.isEmpty())
        rememberFolderOf(key, target);
    return target;
}

QString DesktopBridge::openProject(const QString &path)
{
    if (!path.isEmpty()) {
        rememberFolderOf(RememberedFolders::projectKey(), path);
        return fileReply(path);
    }
    const QString target = chooseToOpen(OpenedFile::Project);
    return target.isEmpty() ? makeErrorReply(BridgeMessages::cancelled()) : fileReply(target);
}

QString DesktopBridge::pickSpreadsheet()
{
    const QString target = chooseToOpen(OpenedFile::Spreadsheet);
    return target.isEmpty() ? makeErrorReply(BridgeMessages::cancelled()) : fileReply(target);
}

// A project named by its path moves the project dialog's folder as openProject does; a data
// source's path, known to the page already, moves neither.
QString DesktopBridge::openFileLink(const QString &kind, const QString &path)
{
    const bool project = kind == QLatin1String("project");
    if (!project && kind != QLatin1String("spreadsheet"))
        return makeErrorReply(unknownFileKind());
    QString target = path;
    if (target.isEmpty())
        target = chooseToOpen(project ? OpenedFile::Project : OpenedFile::Spreadsheet);
    else if (project)
        rememberFolderOf(RememberedFolders::projectKey(), target);
    return target.isEmpty() ? makeErrorReply(BridgeMessages::cancelled()) : fileLinkReply(target, *links);
}

// The page already knows this path (a data source saved with the project), so neither
// remembered folder is touched.
QString DesktopBridge::readSpreadsheet(const QString &path)
{
    if (path.isEmpty())
        return makeErrorReply(missingSpreadsheetPath());
    return fileReply(path);
}
