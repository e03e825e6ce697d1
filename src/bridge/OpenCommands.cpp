#include "BridgeMessages.h"
#include "DesktopBridge.h"
#include "FileRoutines.h"
#include "RememberedFolders.h"

#include <QFileDialog>

namespace {

QString missingSpreadsheetPath() { return QStringLiteral("missing spreadsheet path"); }

// Empty when the user cancels. No options: the desktop's own dialog where there is one.
QString askFileToOpen(QWidget *window, const QString &caption, const QString &folder, const QString &filter)
{
    return QFileDialog::getOpenFileName(window, caption, folder, filter, nullptr, QFileDialog::Options());
}

} // namespace

// The folder is remembered before the read, so a file that turns out unreadable still
// leaves the next dialog where the user was looking.
QString DesktopBridge::openProject(const QString &path)
{
    QString target = path;
    if (target.isEmpty()) {
        target = askFileToOpen(window, QStringLiteral("打开标签工程"), rememberedFolder(RememberedFolders::projectKey()),
                               QStringLiteral("Cardwright Project (*.cwrt *.json)"));
        if (target.isEmpty())
            return makeErrorReply(BridgeMessages::cancelled());
    }
    rememberFolderOf(RememberedFolders::projectKey(), target);
    return fileReply(target);
}

QString DesktopBridge::pickSpreadsheet()
{
    const QString target = askFileToOpen(window, QStringLiteral("导入数据源"), rememberedFolder(RememberedFolders::sheetKey()),
                                         QStringLiteral("Spreadsheet (*.xlsx *.xls *.csv)"));
    if (target.isEmpty())
        return makeErrorReply(BridgeMessages::cancelled());
    rememberFolderOf(RememberedFolders::sheetKey(), target);
    return fileReply(target);
}

// The page already knows this path (a data source saved with the project), so neither
// remembered folder is touched.
QString DesktopBridge::readSpreadsheet(const QString &path)
{
    if (path.isEmpty())
        return makeErrorReply(missingSpreadsheetPath());
    return fileReply(path);
}
