#include "BridgeMessages.h"
#include "DesktopBridge.h"
#include "FileRoutines.h"
#include "RememberedFolders.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace {

QString projectSuffix() { return QStringLiteral(".cwrt"); }
QString pdfSuffix() { return QStringLiteral(".pdf"); }

// Anything that stands under the name and would be replaced by the write, a link included
// (the write follows it); a folder is not asked about since the write refuses it anyway.
bool somethingToReplace(const QString &path)
{
    const QFileInfo existing(path);
    return existing.isFile() || existing.isSymLink();
}

// The save dialog only asked about the name as typed; the completed name is asked about here.
bool userAgreesToReplace(QWidget *window, const QString &path)
{
    QMessageBox question(QMessageBox::Question, QStringLiteral("替换文件"),
                         QStringLiteral("“%1”已存在。要替换它吗？").arg(QFileInfo(path).fileName()),
                         QMessageBox::NoButton, window);
    question.setInformativeText(QStringLiteral("它位于“%1”，替换后原有内容将丢失。").arg(QFileInfo(path).absolutePath()));
    QPushButton *replace = question.addButton(QStringLiteral("替换"), QMessageBox::AcceptRole);
    QPushButton *keep = question.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    question.setDefaultButton(keep);
    question.setEscapeButton(keep);
    question.exec();
    return question.clickedButton() == replace;
}

} // namespace

SaveRequest readProjectSaveRequest(const QString &payloadJson)
{
    const QJsonObject payload = parsePayloadObject(payloadJson);
    SaveRequest request;
    request.suggestedName = payload.value(QStringLiteral("suggestedName")).toString(QStringLiteral("未命名标签.cwrt"));
    request.currentPath = payload.value(QStringLiteral("currentPath")).toString();
    request.saveAs = payload.value(QStringLiteral("saveAs")).toBool(false);
    request.base64Text = payload.value(QStringLiteral("dataBase64")).toString();
    return request;
}

// A PDF is always exported through the dialog, so "currentPath" and "saveAs" are not read.
SaveRequest readPdfSaveRequest(const QString &payloadJson)
{
    const QJsonObject payload = parsePayloadObject(payloadJson);
    SaveRequest request;
    request.suggestedName = payload.value(QStringLiteral("suggestedName")).toString(QStringLiteral("打印文件.pdf"));
    request.base64Text = payload.value(QStringLiteral("dataBase64")).toString();
    return request;
}

QString DesktopBridge::saveProject(const QString &payloadJson)
{
    const SaveRequest request = readProjectSaveRequest(payloadJson);
    if (!request.saveAs && !request.currentPath.isEmpty())
        return writeSavedFile(ensureSuffix(request.currentPath, projectSuffix()), request.base64Text);

    const QString target = askSaveTarget(QStringLiteral("保存标签工程"), QStringLiteral("Cardwright Project (*.cwrt)"),
                                         projectSuffix(), request.suggestedName);
    if (target.isEmpty())
        return makeErrorReply(BridgeMessages::cancelled());
    return writeSavedFile(target, request.base64Text);
}

QString DesktopBridge::savePrintPdf(const QString &payloadJson)
{
    const SaveRequest request = readPdfSaveRequest(payloadJson);
    const QString target = askSaveTarget(QStringLiteral("导出打印 PDF"), QStringLiteral("PDF File (*.pdf)"), pdfSuffix(),
                                         request.suggestedName);
    if (target.isEmpty())
        return makeErrorReply(BridgeMessages::cancelled());
    return writeSavedFile(target, request.base64Text);
}

// The starting path always gets its "/" so that an empty suggested name opens the folder
// with no name filled in. Empty result: the user backed out, of the dialog or of replacing.
QString DesktopBridge::askSaveTarget(const QString &caption, const QString &filter, const QString &suffix,
                                     const QString &suggestedName)
{
    const QString startPath = rememberedFolder(RememberedFolders::projectKey()) + QLatin1Char('/') + suggestedName;
    const QString chosen = QFileDialog::getSaveFileName(window, caption, startPath, filter, nullptr, QFileDialog::Options());
    if (chosen.isEmpty())
        return QString();
    const QString target = ensureSuffix(chosen, suffix);
    if (target != chosen && somethingToReplace(target) && !userAgreesToReplace(window, target))
        return QString();
    return target;
}

// The folder is remembered only once the file is safely written, so a failed save leaves
// the next dialog where the last good one was.
QString DesktopBridge::writeSavedFile(const QString &target, const QString &base64Text)
{
    const QString message = writeBase64File(target, base64Text);
    if (!message.isEmpty())
        return makeErrorReply(message);
    rememberFolderOf(RememberedFolders::projectKey(), target);
    QJsonObject result;
    result.insert(QStringLiteral("path"), target);
    result.insert(QStringLiteral("name"), QFileInfo(target).fileName());
    return makeOkReply(result);
}
