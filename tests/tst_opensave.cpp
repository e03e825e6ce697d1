#include "DesktopBridge.h"
#include "FileLinks.h"
#include "TestSupport.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

namespace {

const QString projectKey = "paths/projectDir";
const QString sheetKey = "paths/sheetDir";
const QString absent = "<absent>";
const QString savedReply = "{\"name\":\"%1\",\"ok\":true,\"path\":\"%2\"}";
const QString readReply = "{\"dataBase64\":\"YWJj\",\"name\":\"%1\",\"ok\":true,\"path\":\"%2\"}";

const QString linkReply = "{\"name\":\"%1\",\"ok\":true,\"path\":\"%2\",\"size\":3,\"url\":\"%3\"}";

const QString cancelledReply = errorReply("cancelled");
const QString cannotReadReply = "{\"error\":\"无法读取文件\",\"ok\":false,\"path\":\"%2\"}";

void setSetting(const QString &key, const QString &value)
{
    QSettings("Quillmark", "Quillmark").setValue(key, value);
}

// Plays the user for the modal windows a command shows, in the order they appear. A modal
// window nobody expected, or of another kind than expected, is rejected and reported, so a
// surprise dialog fails the test instead of hanging it.
class ModalPlayer : public QObject
{
public:
    ModalPlayer()
    {
        connect(&poll, &QTimer::timeout, this, [this] { handleActiveModal(); });
        poll.start(10);
    }

    // Reads the dialog as the user sees it, then types `typed` into its name field and accepts;
    // an empty `typed` rejects the dialog, as Cancel does.
    void fileDialog(const QString &typed)
    {
        steps.push_back([this, typed](QWidget *widget) {
            auto *dialog = qobject_cast<QFileDialog *>(widget);
            auto *nameEdit = dialog ? dialog->findChild<QLineEdit *>("fileNameEdit") : nullptr;
            if (!nameEdit)
                return false;
            seen.append({dialog->windowTitle(), dialog->nameFilters().join(';'), dialog->directory().absolutePath(),
                         nameEdit->text(), dialog->acceptMode() == QFileDialog::AcceptSave ? "save" : "open",
                         dialog->parentWidget() ? "over the window" : "alone"});
            QTimer::singleShot(0, dialog, [dialog, nameEdit, typed] {
                if (typed.isEmpty())
                    return dialog->reject();
                nameEdit->clear();
                QTest::keyClicks(nameEdit, typed);
                static_cast<QDialog *>(dialog)->accept(); // Open or Save, as the button does
            });
            return true;
        });
    }

    // Answers a question box by the role of the button pressed.
    void question(bool agree)
    {
        steps.push_back([this, agree](QWidget *widget) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            for (QAbstractButton *button : box ? box->buttons() : QList<QAbstractButton *>()) {
                if (box->buttonRole(button) == (agree ? QMessageBox::AcceptRole : QMessageBox::RejectRole)) {
                    questions << box->text() + (box->parentWidget() ? " (over the window)" : " (alone)");
                    QTimer::singleShot(0, button, [button] { button->click(); });
                    return true;
                }
            }
            return false;
        });
    }

    bool allPlayed() const { return steps.empty() && failures.isEmpty(); }
    QString report() const
    {
        return (failures + QStringList{QStringLiteral("%1 expected window(s) not shown").arg(steps.size())}).join('\n');
    }

    // Per dialog: caption, filters, folder, name, "open" or "save", "over the window" or "alone".
    QList<QStringList> seen;
    QStringList questions;

private:
    void handleActiveModal()
    {
        QWidget *widget = QApplication::activeModalWidget();
        if (!widget || widget == handled)
            return;
        handled = widget;
        const bool expected = !steps.empty() && steps.front()(widget);
        if (!steps.empty())
            steps.pop_front();
        if (!expected) {
            failures << QStringLiteral("unexpected %1 \"%2\"").arg(QString::fromLatin1(widget->metaObject()->className()), widget->windowTitle());
            QMetaObject::invokeMethod(widget, "reject", Qt::QueuedConnection);
        }
    }

    QTimer poll;
    QPointer<QWidget> handled;
    std::deque<std::function<bool(QWidget *)>> steps;
    QStringList failures;
};

} // namespace

class OpenSaveTest : public QObject
{
    Q_OBJECT

public:
    IsolatedUserState *userState = nullptr;

private slots:
    void init();
    void cleanup();
    void dialog_startsWhereRemembered_andCancelChangesNothing_data();
    void dialog_startsWhereRemembered_andCancelChangesNothing();
    void projectFolder_isSharedByOpenSaveAndPdf_sheetFolderIsNot();
    void save_writesTheCompletedName_andReplacesOnlyWhenTold_data();
    void save_writesTheCompletedName_andReplacesOnlyWhenTold();
    void readByPath_data();
    void readByPath();

private:
    QString path(const QString &relative) const { return dir->path() + '/' + relative; }

    std::unique_ptr<QTemporaryDir> dir;
    QWidget window;
};

void OpenSaveTest::init()
{
    QSettings("Quillmark", "Quillmark").clear();
    QVERIFY(QDir(userState->path() + "/Documents").removeRecursively());
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    for (const char *folder : {"frontend", "labels", "print", "sheets"})
        QVERIFY(QDir(dir->path()).mkpath(folder));
    QVERIFY(QDir::setCurrent(dir->path()));
    window.show();
}

void OpenSaveTest::cleanup()
{
    QVERIFY2(!QApplication::activeModalWidget(), "a dialog outlived its test");
}

// Every dialog: its caption, filter, starting folder and pre-filled name, where it starts
// from (remembered folder, the documents folder or home, odd remembered values), and that cancelling
// replies "cancelled" and leaves both folders and the disk alone. Folders are below the
// test's folder; "<absent>" leaves a key unset.
void OpenSaveTest::dialog_startsWhereRemembered_andCancelChangesNothing_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("frontendProjectSheetDirs");
    QTest::addColumn<bool>("withWindow");
    QTest::addColumn<QString>("expectedDirectory");
    QTest::addColumn<QString>("expectedName");
    auto row = [](const char *name, const char *method, const QJsonValue &payload, const QStringList &dirs,
                  const QString &expectedDirectory, const QString &expectedName = QString(), bool withWindow = true) {
        const QStringList arguments = payload.isUndefined() ? QStringList() : QStringList{payload.isString() ? payload.toString() : payloadText(payload.toObject())};
        QTest::newRow(name) << QByteArray(method) << arguments << dirs << withWindow << expectedDirectory << expectedName;
    };
    const QJsonValue none(QJsonValue::Undefined);
    const QString untitled = "未命名标签.cwrt";
    row("openProject() with nothing remembered starts at home, not in the program's folder", "openProject", none, {"frontend", absent, absent}, "~");
    row("openProject() starts in the remembered project folder", "openProject", none, {"frontend", "labels", "sheets"}, "labels");
    row("openProject(\"\") shows the dialog too", "openProject", "", {"frontend", "labels", absent}, "labels");
    row("openProject() without a window", "openProject", none, {"frontend", "labels", absent}, "labels", QString(), false);
    row("pickSpreadsheet starts at home, not in the project's folder", "pickSpreadsheet", none, {"frontend", "labels", absent}, "~");
    row("pickSpreadsheet starts in the remembered sheet folder", "pickSpreadsheet", none, {"frontend", "labels", "sheets"}, "sheets");
    QTest::newRow("openFileLink of a project shows openProject's dialog") << QByteArray("openFileLink") << QStringList{"project", ""}
                                                                         << QStringList{"frontend", "labels", "sheets"} << true << QString("labels") << QString();
    QTest::newRow("openFileLink of a spreadsheet shows pickSpreadsheet's dialog") << QByteArray("openFileLink") << QStringList{"spreadsheet", ""}
                                                                                  << QStringList{"frontend", "labels", "sheets"} << true << QString("sheets") << QString();
    row("saveProject, never saved: the documents folder and default name", "saveProject", QJsonObject(), {"frontend", absent, "sheets"}, "~/Documents", untitled);
    row("saveProject, suggested name in the remembered folder", "saveProject", QJsonObject{{"suggestedName", "货架.cwrt"}},
        {"frontend", "labels", "sheets"}, "labels", "货架.cwrt");
    row("saveProject, saveAs opens the remembered folder, not currentPath's", "saveProject",
        QJsonObject{{"suggestedName", "shelf.cwrt"}, {"currentPath", "print/shelf.cwrt"}, {"saveAs", true}},
        {"frontend", "labels", absent}, "labels", "shelf.cwrt");
    row("saveProject, currentPath empty", "saveProject", QJsonObject{{"currentPath", ""}}, {"frontend", "labels", absent}, "labels", untitled);
    row("saveProject, suggestedName empty: folder only", "saveProject", QJsonObject{{"suggestedName", ""}}, {"frontend", "labels", absent}, "labels");
    row("saveProject, remembered folder ending in /", "saveProject", QJsonObject(), {"frontend", "labels/", absent}, "labels", untitled);
    row("saveProject, no remembered folder and no documents folder: home", "saveProject", QJsonObject(), {"", absent, absent}, "~", untitled);
    row("saveProject, remembered folder empty: the root, not the front end", "saveProject", QJsonObject(), {"frontend", "", absent}, "/", untitled);
    row("savePrintPdf starts in the documents folder", "savePrintPdf", QJsonObject{{"suggestedName", "货架.pdf"}},
        {"frontend", absent, "sheets"}, "~/Documents", "货架.pdf");
}

void OpenSaveTest::dialog_startsWhereRemembered_andCancelChangesNothing()
{
    QFETCH(QByteArray, method);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, frontendProjectSheetDirs);
    QFETCH(bool, withWindow);
    QFETCH(QString, expectedDirectory);
    QFETCH(QString, expectedName);
    const QHash<QByteArray, QStringList> captionAndFilter{
        {"openProject", {"打开标签工程", "Cardwright Project (*.cwrt *.json)"}},
        {"pickSpreadsheet", {"导入数据源", "Spreadsheet (*.xlsx *.xls *.csv)"}},
        {"saveProject", {"保存标签工程", "Cardwright Project (*.cwrt)"}},
        {"savePrintPdf", {"导出打印 PDF", "PDF File (*.pdf)"}}};
    const QByteArray dialogOf = method != "openFileLink" ? method : QByteArray(arguments.first() == "project" ? "openProject" : "pickSpreadsheet");
    auto inTestFolder = [this](const QString &folder) { return folder.isEmpty() || folder == absent ? folder : path(folder); };
    for (const QString &key : {projectKey, sheetKey}) {
        const QString folder = frontendProjectSheetDirs.at(key == projectKey ? 1 : 2);
        if (folder != absent)
            setSetting(key, inTestFolder(folder));
    }
    const QString projectBefore = setting(projectKey);
    const QString sheetBefore = setting(sheetKey);

    // "~" is the user's home; "~/Documents" is made for the row, so the dialog prefers it.
    const QString home = userState->path();
    if (expectedDirectory == "~/Documents")
        QVERIFY(QDir(home).mkpath("Documents"));
    const QString directory = expectedDirectory == "/" ? expectedDirectory
        : expectedDirectory.startsWith('~') ? home + expectedDirectory.mid(1) : path(expectedDirectory);

    DesktopBridge bridge(withWindow ? &window : nullptr, nullptr);
    bridge.setFrontendDir(inTestFolder(frontendProjectSheetDirs.at(0)));
    ModalPlayer user;
    user.fileDialog(QString());
    const QString reply = call(bridge, method.constData(), arguments);

    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    QCOMPARE(reply, cancelledReply);
    QCOMPARE(user.seen.value(0), (captionAndFilter.value(dialogOf) + QStringList{directory, expectedName,
        method.startsWith("save") ? "save" : "open", withWindow ? "over the window" : "alone"}));
    QCOMPARE(setting(projectKey), projectBefore);
    QCOMPARE(setting(sheetKey), sheetBefore);
    QCOMPARE(entriesOf(path("print")), QStringList());
}

// One walk through a session: where each dialog opens is decided by what was last opened,
// saved or exported, while picking a spreadsheet moves only the sheet folder; both folders
// end up in the settings file.
void OpenSaveTest::projectFolder_isSharedByOpenSaveAndPdf_sheetFolderIsNot()
{
    QVERIFY(writeFile(path("labels/shelf.cwrt"), "abc"));
    QVERIFY(writeFile(path("sheets/stock.csv"), "a,b\n"));
    ModalPlayer user;
    {
        DesktopBridge bridge(&window, nullptr);
        bridge.setFrontendDir(path("frontend"));
        user.fileDialog(path("labels/shelf.cwrt"));
        QCOMPARE(parsed(call(bridge, "openProject")).value("dataBase64").toString(), "YWJj");
        user.fileDialog(path("print/shelf"));
        QCOMPARE(call(bridge, "savePrintPdf", {payloadText({{"dataBase64", "JVBERg=="}})}),
                 savedReply.arg("shelf.pdf", path("print/shelf.pdf")));
        QCOMPARE(readAll(path("print/shelf.pdf")), QByteArray("%PDF"));
        user.fileDialog(path("sheets/stock.csv"));
        QCOMPARE(parsed(call(bridge, "pickSpreadsheet")).value("name").toString(), "stock.csv");
        for (const char *method : {"saveProject", "openProject", "pickSpreadsheet"}) {
            user.fileDialog(QString());
            QCOMPARE(call(bridge, method, method[0] == 's' ? QStringList{"{}"} : QStringList()), cancelledReply);
        }
    }
    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    QStringList folders;
    for (const QStringList &view : user.seen)
        folders << (view.at(2) == userState->path() ? QStringLiteral("~") : QDir(dir->path()).relativeFilePath(view.at(2)));
    QCOMPARE(folders, (QStringList{"~", "labels", "~", "print", "print", "sheets"}));
    const QString text = QString::fromUtf8(readAll(userState->settingsFilePath()));
    QVERIFY2(text.contains(QStringLiteral("[paths]\nprojectDir=%1\nsheetDir=%2\n").arg(path("print"), path("sheets"))), qPrintable(text));
}

// Through the dialog, the typed name is completed with the extension; when the completed name
// exists although the typed one did not, the dialog could not ask about it, so the command
// does, and only an explicit yes replaces the file. Without a dialog, the page's currentPath is
// written, completed to ".cwrt" when needed, a relative one against the working folder. Only a
// good write moves the remembered folder (always absolute); a failed one creates nothing.
void OpenSaveTest::save_writesTheCompletedName_andReplacesOnlyWhenTold_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QJsonObject>("payload"); // with the content "abc" unless it says otherwise
    QTest::addColumn<QString>("typed");       // into the dialog; none without one
    QTest::addColumn<QString>("existing");    // a file there before, holding "old content"
    QTest::addColumn<bool>("replace");        // the answer, when asked about `existing`
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("error");
    const QByteArray project = "saveProject";
    const QByteArray pdf = "savePrintPdf";
    const QJsonObject none;
    const QJsonObject absolute{{"currentPath", "<dir>/labels/shelf.cwrt"}, {"saveAs", false}};
    auto plain = [](const QString &currentPath) { return QJsonObject{{"currentPath", currentPath}, {"saveAs", false}}; };
    QTest::newRow("dialog: project without extension") << project << none << "shelf" << "" << false << "labels/shelf.cwrt" << "";
    QTest::newRow("dialog: upper case kept") << project << none << "SHELF.CWRT" << "" << false << "labels/SHELF.CWRT" << "";
    QTest::newRow("dialog: project named .json") << project << none << "shelf.json" << "" << false << "labels/shelf.json.cwrt" << "";
    QTest::newRow("dialog: pdf without extension") << pdf << none << "shelf" << "" << false << "labels/shelf.pdf" << "";
    QTest::newRow("dialog: pdf typed as project") << pdf << none << "shelf.cwrt" << "" << false << "labels/shelf.cwrt.pdf" << "";
    QTest::newRow("dialog: project exists, replace") << project << none << "shelf" << "labels/shelf.cwrt" << true << "labels/shelf.cwrt" << "";
    QTest::newRow("dialog: project exists, keep") << project << none << "shelf" << "labels/shelf.cwrt" << false << "labels/shelf.cwrt" << "";
    QTest::newRow("dialog: pdf exists, keep") << pdf << none << "shelf" << "labels/shelf.pdf" << false << "labels/shelf.pdf" << "";
    QTest::newRow("dialog: saveAs despite currentPath") << project << QJsonObject{{"currentPath", "print/shelf.cwrt"}, {"saveAs", true}}
                                                        << "shelf" << "" << false << "labels/shelf.cwrt" << "";
    QTest::newRow("absolute path") << project << absolute << "" << "" << false << "labels/shelf.cwrt" << "";
    QTest::newRow("relative path stays relative") << project << plain("labels/shelf.cwrt") << "" << "" << false << "labels/shelf.cwrt" << "";
    QTest::newRow(".json completed, original kept") << project << plain("labels/shelf.json") << "" << "labels/shelf.json" << false
                                                    << "labels/shelf.json.cwrt" << "";
    QTest::newRow("name without extension") << project << plain("labels/shelf") << "" << "" << false << "labels/shelf.cwrt" << "";
    QTest::newRow("upper-case extension kept") << project << plain("labels/SHELF.CWRT") << "" << "" << false << "labels/SHELF.CWRT" << "";
    QTest::newRow("missing folder") << project << plain("missing/shelf.cwrt") << "" << "" << false << "missing/shelf.cwrt"
                                    << "无法写入目标文件";
    QTest::newRow("content without Base64 characters") << project << with(absolute, "dataBase64", "====") << "" << "" << false
                                                       << "labels/shelf.cwrt" << "文件内容编码无效";
    // A save never empties the project it replaces.
    for (const QJsonValue &content : {QJsonValue(""), QJsonValue(42), QJsonValue(QJsonValue::Null)})
        QTest::addRow("content %s over a project", qPrintable(payloadText({{"c", content}}))) << project << with(absolute, "dataBase64", content)
                                                                                     << "" << "labels/shelf.cwrt" << false
                                                                                     << "labels/shelf.cwrt" << "文件内容编码无效";
}

void OpenSaveTest::save_writesTheCompletedName_andReplacesOnlyWhenTold()
{
    QFETCH(QByteArray, method);
    QFETCH(QJsonObject, payload);
    QFETCH(QString, typed);
    QFETCH(QString, existing);
    QFETCH(bool, replace);
    QFETCH(QString, written);
    QFETCH(QString, error);
    if (!existing.isEmpty())
        QVERIFY(writeFile(path(existing), "old content"));
    setSetting(projectKey, path("print"));
    const QString currentPath = payload.value("currentPath").toString().replace("<dir>", dir->path());
    if (!currentPath.isEmpty())
        payload.insert("currentPath", currentPath);
    if (!payload.contains("dataBase64"))
        payload.insert("dataBase64", "YWJj");
    DesktopBridge bridge(&window, nullptr);

    ModalPlayer user;
    const bool asked = !typed.isEmpty() && existing == written;
    if (!typed.isEmpty())
        user.fileDialog(path("labels/" + typed));
    if (asked)
        user.question(replace);
    const QString reply = call(bridge, method.constData(), {payloadText(payload)});

    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    if (asked)
        QCOMPARE(user.questions, QStringList{"“" + QFileInfo(written).fileName() + "”已存在。要替换它吗？ (over the window)"});
    const bool saved = error.isEmpty() && (!asked || replace);
    const QString replyPath = typed.isEmpty() && !currentPath.startsWith('/') ? written : path(written);
    QCOMPARE(reply, !error.isEmpty() ? errorReply(error) : saved ? savedReply.arg(QFileInfo(written).fileName(), replyPath) : cancelledReply);
    QCOMPARE(readAll(path(written)), QByteArray(saved ? "abc" : existing == written ? "old content" : "<unreadable>"));
    if (!existing.isEmpty() && existing != written)
        QCOMPARE(readAll(path(existing)), QByteArray("old content"));
    QCOMPARE(setting(projectKey), path(saved ? QFileInfo(written).path() : "print"));
}

// Reading by path shows no dialog and never judges the extension. openProject remembers the
// folder even when the read fails; readSpreadsheet touches neither remembered folder. A file
// given by its address is the same file, which the page may then load once.
void OpenSaveTest::readByPath_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expectedReply");
    QTest::addColumn<QString>("projectDirAfter");
    QTest::newRow("project") << QByteArray("openProject") << QString() << "labels/a.cwrt" << readReply.arg("a.cwrt") << "labels";
    QTest::newRow("extension outside the filter") << QByteArray("openProject") << QString() << "labels/notes.txt" << readReply.arg("notes.txt") << "labels";
    QTest::newRow("empty project") << QByteArray("openProject") << QString() << "labels/empty.cwrt" << cannotReadReply << "labels";
    QTest::newRow("spreadsheet") << QByteArray("readSpreadsheet") << QString() << "sheets/stock.csv" << readReply.arg("stock.csv") << "print";
    QTest::newRow("empty spreadsheet path") << QByteArray("readSpreadsheet") << QString() << QString() << errorReply("missing spreadsheet path") << "print";
    QTest::newRow("empty spreadsheet") << QByteArray("readSpreadsheet") << QString() << "sheets/empty.xlsx" << cannotReadReply << "print";
    QTest::newRow("project by address") << QByteArray("openFileLink") << "project" << "labels/货架 A.cwrt" << linkReply.arg("货架 A.cwrt") << "labels";
    QTest::newRow("spreadsheet by address") << QByteArray("openFileLink") << "spreadsheet" << "sheets/stock.csv" << linkReply.arg("stock.csv") << "print";
    QTest::newRow("empty file by address") << QByteArray("openFileLink") << "spreadsheet" << "sheets/empty.xlsx" << cannotReadReply << "print";
    QTest::newRow("missing file by address") << QByteArray("openFileLink") << "project" << "labels/none.cwrt" << cannotReadReply << "labels";
    QTest::newRow("unknown kind") << QByteArray("openFileLink") << "picture" << "labels/a.cwrt" << errorReply("未知的文件种类") << "print";
}

void OpenSaveTest::readByPath()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, kind);
    QFETCH(QString, file);
    QFETCH(QString, expectedReply);
    QFETCH(QString, projectDirAfter);
    for (const char *name : {"labels/a.cwrt", "labels/notes.txt", "sheets/stock.csv", "labels/empty.cwrt", "sheets/empty.xlsx", "labels/货架 A.cwrt"})
        QVERIFY(writeFile(path(name), QByteArray(name).contains("empty") ? "" : "abc"));
    setSetting(projectKey, path("print"));
    DesktopBridge bridge(&window, nullptr);
    bridge.setFrontendDir(path("frontend"));

    ModalPlayer user;
    const QString given = file.isEmpty() ? QString() : path(file);
    const QString reply = call(bridge, method.constData(), kind.isEmpty() ? QStringList{given} : QStringList{kind, given});

    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    const QUrl address = QUrl::fromLocalFile(given);
    QCOMPARE(reply, expectedReply.contains("%3") ? expectedReply.arg(given, address.toString(QUrl::FullyEncoded))
                    : expectedReply.contains("%2") ? expectedReply.arg(given) : expectedReply);
    // Granted once, to the file named; the engine asks with the address as it encodes it.
    const bool granted = reply.contains("\"url\"");
    QCOMPARE(bridge.fileLinks()->take(QUrl::fromLocalFile(path("labels/notes.txt"))), false);
    QCOMPARE(bridge.fileLinks()->take(QUrl(address.toString(QUrl::FullyEncoded))), granted);
    QCOMPARE(bridge.fileLinks()->take(address), false);
    QCOMPARE(setting(projectKey), path(projectDirAfter));
    QCOMPARE(setting(sheetKey), absent);
}

QUILLMARK_TEST_MAIN(OpenSaveTest)
#include "tst_opensave.moc"
