#include "DesktopBridge.h"
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

const QString projectKey = QStringLiteral("paths/projectDir");
const QString sheetKey = QStringLiteral("paths/sheetDir");
const QString absent = QStringLiteral("<absent>");
const QString cancelledReply = QStringLiteral("{\"error\":\"cancelled\",\"ok\":false}");
const QString cannotReadReply = QStringLiteral("{\"error\":\"无法读取文件\",\"ok\":false}");
const QString savedReply = QStringLiteral("{\"name\":\"%1\",\"ok\":true,\"path\":\"%2\"}");
const QString readReply = QStringLiteral("{\"dataBase64\":\"YWJj\",\"name\":\"%1\",\"ok\":true,\"path\":\"%2\"}");

void setSetting(const QString &key, const QString &value)
{
    QSettings(QStringLiteral("Quillmark"), QStringLiteral("Quillmark")).setValue(key, value);
}

// Calls a command by its published name, the way the web channel does, so that a renamed
// method or a missing Q_INVOKABLE fails here too.
QString call(DesktopBridge &bridge, const char *method, const QStringList &arguments = {})
{
    QString reply = QStringLiteral("<not invoked>");
    if (arguments.isEmpty())
        QMetaObject::invokeMethod(&bridge, method, Qt::DirectConnection, Q_RETURN_ARG(QString, reply));
    else
        QMetaObject::invokeMethod(&bridge, method, Qt::DirectConnection, Q_RETURN_ARG(QString, reply),
                                  Q_ARG(QString, arguments.first()));
    return reply;
}

// What a user would see of a file dialog the moment it appears.
struct FileDialogView
{
    QString caption;
    QStringList nameFilters;
    QString directory;
    QString fileName;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    QWidget *parent = nullptr;
};

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

    // Reads the dialog, then types `typed` into its name field and accepts; an empty
    // `typed` rejects the dialog, as Cancel does.
    void fileDialog(const QString &typed)
    {
        steps.push_back([this, typed](QWidget *widget) {
            auto *dialog = qobject_cast<QFileDialog *>(widget);
            if (!dialog)
                return false;
            auto *nameEdit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            seen.push_back({dialog->windowTitle(), dialog->nameFilters(), dialog->directory().absolutePath(),
                            nameEdit ? nameEdit->text() : QStringLiteral("<no name field>"), dialog->acceptMode(),
                            dialog->parentWidget()});
            QTimer::singleShot(0, dialog, [dialog, nameEdit, typed] {
                if (typed.isEmpty() || !nameEdit)
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
            if (!box)
                return false;
            questions << box->text();
            questionParents << box->parentWidget();
            for (QAbstractButton *button : box->buttons()) {
                if (box->buttonRole(button) == (agree ? QMessageBox::AcceptRole : QMessageBox::RejectRole)) {
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

    std::vector<FileDialogView> seen;
    QStringList questions;
    QList<QWidget *> questionParents;

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
    void dialogSave_completesTheExtension_andAsksBeforeReplacing_data();
    void dialogSave_completesTheExtension_andAsksBeforeReplacing();
    void plainSave_writesCurrentPathWithoutDialog_data();
    void plainSave_writesCurrentPathWithoutDialog();
    void readByPath_data();
    void readByPath();

private:
    QString path(const QString &relative) const { return dir->path() + QLatin1Char('/') + relative; }

    std::unique_ptr<QTemporaryDir> dir;
    QWidget window;
};

void OpenSaveTest::init()
{
    QSettings(QStringLiteral("Quillmark"), QStringLiteral("Quillmark")).clear();
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    for (const char *folder : {"frontend", "labels", "print", "sheets"})
        QVERIFY(QDir(dir->path()).mkpath(QString::fromLatin1(folder)));
    QVERIFY(QDir::setCurrent(dir->path()));
    window.show();
}

void OpenSaveTest::cleanup()
{
    QVERIFY2(!QApplication::activeModalWidget(), "a dialog outlived its test");
}

// Every dialog: its caption, filter, starting folder and pre-filled name, where it starts
// from (remembered folder, front-end folder, odd remembered values), and that cancelling
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
        QTest::addRow("%s", name) << QByteArray(method) << arguments << dirs << withWindow << expectedDirectory << expectedName;
    };
    const QJsonValue none(QJsonValue::Undefined);
    const QString untitled = QStringLiteral("未命名标签.cwrt");
    row("openProject() starts in the front-end folder", "openProject", none, {"frontend", absent, absent}, "frontend");
    row("openProject() starts in the remembered project folder", "openProject", none, {"frontend", "labels", "sheets"}, "labels");
    row("openProject(\"\") shows the dialog too", "openProject", QString(), {"frontend", "labels", absent}, "labels");
    row("openProject() without a window", "openProject", none, {"frontend", "labels", absent}, "labels", QString(), false);
    row("pickSpreadsheet starts in the front-end folder, not the project's", "pickSpreadsheet", none, {"frontend", "labels", absent}, "frontend");
    row("pickSpreadsheet starts in the remembered sheet folder", "pickSpreadsheet", none, {"frontend", "labels", "sheets"}, "sheets");
    row("saveProject, never saved: front-end folder and default name", "saveProject", QJsonObject(), {"frontend", absent, "sheets"}, "frontend", untitled);
    row("saveProject, suggested name in the remembered folder", "saveProject", QJsonObject{{"suggestedName", "货架.cwrt"}},
        {"frontend", "labels", "sheets"}, "labels", "货架.cwrt");
    row("saveProject, saveAs opens the remembered folder, not currentPath's", "saveProject",
        QJsonObject{{"suggestedName", "shelf.cwrt"}, {"currentPath", "print/shelf.cwrt"}, {"saveAs", true}},
        {"frontend", "labels", absent}, "labels", "shelf.cwrt");
    row("saveProject, currentPath empty", "saveProject", QJsonObject{{"currentPath", ""}}, {"frontend", "labels", absent}, "labels", untitled);
    row("saveProject, currentPath null", "saveProject", QJsonObject{{"currentPath", QJsonValue()}}, {"frontend", "labels", absent}, "labels", untitled);
    row("saveProject, currentPath a number", "saveProject", QJsonObject{{"currentPath", 7}}, {"frontend", "labels", absent}, "labels", untitled);
    row("saveProject, suggestedName not a string", "saveProject", QJsonObject{{"suggestedName", 12}}, {"frontend", "labels", absent}, "labels", untitled);
    row("saveProject, suggestedName empty: folder only", "saveProject", QJsonObject{{"suggestedName", ""}}, {"frontend", "labels", absent}, "labels");
    row("saveProject, payload not an object", "saveProject", QStringLiteral("[1,2]"), {"frontend", "labels", absent}, "labels", untitled);
    row("saveProject, remembered folder ending in /", "saveProject", QJsonObject(), {"frontend", "labels/", absent}, "labels", untitled);
    row("saveProject, no remembered folder and no front end: the root", "saveProject", QJsonObject(), {"", absent, absent}, "/", untitled);
    row("saveProject, remembered folder empty: the root, not the front end", "saveProject", QJsonObject(), {"frontend", "", absent}, "/", untitled);
    row("savePrintPdf ignores currentPath and saveAs", "savePrintPdf", QJsonObject{{"currentPath", "print/shelf.cwrt"}, {"saveAs", false}},
        {"frontend", "labels", absent}, "labels", "打印文件.pdf");
    row("savePrintPdf starts in the front-end folder", "savePrintPdf", QJsonObject{{"suggestedName", "货架.pdf"}},
        {"frontend", absent, "sheets"}, "frontend", "货架.pdf");
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
        {"openProject", {QStringLiteral("打开标签工程"), QStringLiteral("Cardwright Project (*.cwrt *.json)")}},
        {"pickSpreadsheet", {QStringLiteral("导入数据源"), QStringLiteral("Spreadsheet (*.xlsx *.xls *.csv)")}},
        {"saveProject", {QStringLiteral("保存标签工程"), QStringLiteral("Cardwright Project (*.cwrt)")}},
        {"savePrintPdf", {QStringLiteral("导出打印 PDF"), QStringLiteral("PDF File (*.pdf)")}}};
    auto inTestFolder = [this](const QString &folder) { return folder.isEmpty() || folder == absent ? folder : path(folder); };
    const QString frontendDir = inTestFolder(frontendProjectSheetDirs.at(0));
    for (const QString &key : {projectKey, sheetKey}) {
        const QString folder = frontendProjectSheetDirs.at(key == projectKey ? 1 : 2);
        if (folder != absent)
            setSetting(key, inTestFolder(folder));
    }
    const QString projectBefore = setting(projectKey);
    const QString sheetBefore = setting(sheetKey);

    DesktopBridge bridge(withWindow ? &window : nullptr, nullptr);
    bridge.setFrontendDir(frontendDir);
    ModalPlayer user;
    user.fileDialog(QString());
    const QString reply = call(bridge, method.constData(), arguments);

    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    QCOMPARE(reply, cancelledReply);
    const FileDialogView &view = user.seen.at(0);
    QCOMPARE(view.caption, captionAndFilter.value(method).at(0));
    QCOMPARE(view.nameFilters, QStringList{captionAndFilter.value(method).at(1)});
    QCOMPARE(view.directory, expectedDirectory == QStringLiteral("/") ? expectedDirectory : path(expectedDirectory));
    QCOMPARE(view.fileName, expectedName);
    QCOMPARE(view.acceptMode, method.startsWith("save") ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    QCOMPARE(view.parent, withWindow ? &window : nullptr);
    QCOMPARE(setting(projectKey), projectBefore);
    QCOMPARE(setting(sheetKey), sheetBefore);
    QCOMPARE(entriesOf(path(QStringLiteral("print"))), QStringList());
}

// One walk through a session: where each dialog opens is decided by what was last opened,
// saved or exported, while picking a spreadsheet moves only the sheet folder; both folders
// end up in the settings file.
void OpenSaveTest::projectFolder_isSharedByOpenSaveAndPdf_sheetFolderIsNot()
{
    QVERIFY(writeFile(path(QStringLiteral("labels/shelf.cwrt")), "abc"));
    QVERIFY(writeFile(path(QStringLiteral("sheets/stock.csv")), "a,b\n"));
    ModalPlayer user;
    {
        DesktopBridge bridge(&window, nullptr);
        bridge.setFrontendDir(path(QStringLiteral("frontend")));
        user.fileDialog(path(QStringLiteral("labels/shelf.cwrt")));
        QCOMPARE(parsed(call(bridge, "openProject")).value("dataBase64").toString(), QStringLiteral("YWJj"));
        user.fileDialog(path(QStringLiteral("print/shelf")));
        QCOMPARE(call(bridge, "savePrintPdf", {payloadText({{"dataBase64", "JVBERg=="}})}),
                 savedReply.arg(QStringLiteral("shelf.pdf"), path(QStringLiteral("print/shelf.pdf"))));
        QCOMPARE(readAll(path(QStringLiteral("print/shelf.pdf"))), QByteArray("%PDF"));
        user.fileDialog(path(QStringLiteral("sheets/stock.csv")));
        QCOMPARE(parsed(call(bridge, "pickSpreadsheet")).value("name").toString(), QStringLiteral("stock.csv"));
        for (const char *method : {"saveProject", "openProject", "pickSpreadsheet"}) {
            user.fileDialog(QString());
            QCOMPARE(call(bridge, method, method[0] == 's' ? QStringList{QStringLiteral("{}")} : QStringList()), cancelledReply);
        }
    }
    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    QStringList folders;
    for (const FileDialogView &view : user.seen)
        folders << QDir(dir->path()).relativeFilePath(view.directory);
    QCOMPARE(folders, (QStringList{"frontend", "labels", "frontend", "print", "print", "sheets"}));
    const QString text = QString::fromUtf8(readAll(userState->settingsFilePath()));
    QVERIFY2(text.contains(QStringLiteral("[paths]\nprojectDir=%1\nsheetDir=%2\n").arg(path("print"), path("sheets"))), qPrintable(text));
}

// The typed name is completed with the extension. When the completed name exists although the
// typed one did not, the dialog could not ask about it, so the command does: only an explicit
// yes replaces the file; no leaves file, folder setting and reply as a cancel would.
void OpenSaveTest::dialogSave_completesTheExtension_andAsksBeforeReplacing_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::addColumn<int>("answer"); // -1 nothing to ask, 0 keep, 1 replace
    QTest::addColumn<bool>("withWindow");
    QTest::addRow("project without extension") << QByteArray("saveProject") << "shelf" << "shelf.cwrt" << -1 << true;
    QTest::addRow("project in upper case kept") << QByteArray("saveProject") << "SHELF.CWRT" << "SHELF.CWRT" << -1 << true;
    QTest::addRow("project named .json") << QByteArray("saveProject") << "shelf.json" << "shelf.json.cwrt" << -1 << true;
    QTest::addRow("pdf without extension") << QByteArray("savePrintPdf") << "shelf" << "shelf.pdf" << -1 << true;
    QTest::addRow("pdf typed as project") << QByteArray("savePrintPdf") << "shelf.cwrt" << "shelf.cwrt.pdf" << -1 << true;
    QTest::addRow("project exists, replace") << QByteArray("saveProject") << "shelf" << "shelf.cwrt" << 1 << true;
    QTest::addRow("project exists, keep") << QByteArray("saveProject") << "shelf" << "shelf.cwrt" << 0 << true;
    QTest::addRow("project exists, keep, no window") << QByteArray("saveProject") << "shelf" << "shelf.cwrt" << 0 << false;
    QTest::addRow("pdf exists, keep") << QByteArray("savePrintPdf") << "shelf" << "shelf.pdf" << 0 << true;
}

void OpenSaveTest::dialogSave_completesTheExtension_andAsksBeforeReplacing()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(int, answer);
    QFETCH(bool, withWindow);
    const QString target = path(QStringLiteral("labels/") + written);
    if (answer >= 0)
        QVERIFY(writeFile(target, "old content"));
    setSetting(projectKey, path(QStringLiteral("print")));
    DesktopBridge bridge(withWindow ? &window : nullptr, nullptr);

    ModalPlayer user;
    user.fileDialog(path(QStringLiteral("labels/") + typed));
    if (answer >= 0)
        user.question(answer == 1);
    const QString reply = call(bridge, method.constData(), {payloadText({{"dataBase64", "YWJj"}})});

    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    if (answer >= 0) {
        QVERIFY2(user.questions.value(0).contains(written), qPrintable(user.questions.value(0)));
        QCOMPARE(user.questionParents.value(0), withWindow ? &window : nullptr);
    }
    const bool saved = answer != 0;
    QCOMPARE(reply, saved ? savedReply.arg(written, target) : cancelledReply);
    QCOMPARE(readAll(target), saved ? QByteArray("abc") : QByteArray("old content"));
    QCOMPARE(setting(projectKey), path(saved ? QStringLiteral("labels") : QStringLiteral("print")));
    QCOMPARE(entriesOf(path(QStringLiteral("labels"))), QStringList{written});
}

// Without a dialog: the path the page sends is written, completed to ".cwrt" when needed, a
// relative one against the working folder; the folder remembered is always absolute. A failed
// write replies with its message, creates nothing and leaves the folder where the last good save was.
void OpenSaveTest::plainSave_writesCurrentPathWithoutDialog_data()
{
    QTest::addColumn<QString>("currentPath");
    QTest::addColumn<QJsonValue>("saveAs");
    QTest::addColumn<QString>("dataBase64");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("error");
    const QString absolute = QStringLiteral("<dir>/labels/shelf.cwrt");
    const QString abc = QStringLiteral("YWJj");
    QTest::addRow("absolute path") << absolute << QJsonValue(false) << abc << "labels/shelf.cwrt" << "";
    QTest::addRow("relative path stays relative") << "labels/shelf.cwrt" << QJsonValue(false) << abc << "labels/shelf.cwrt" << "";
    QTest::addRow("saveAs missing") << absolute << QJsonValue(QJsonValue::Undefined) << abc << "labels/shelf.cwrt" << "";
    QTest::addRow(".json completed, original kept") << "labels/shelf.json" << QJsonValue(false) << abc << "labels/shelf.json.cwrt" << "";
    QTest::addRow("name without extension") << "labels/shelf" << QJsonValue(false) << abc << "labels/shelf.cwrt" << "";
    QTest::addRow("upper-case extension kept") << "labels/SHELF.CWRT" << QJsonValue(false) << abc << "labels/SHELF.CWRT" << "";
    QTest::addRow("saveAs as a string is false") << absolute << QJsonValue("true") << abc << "labels/shelf.cwrt" << "";
    QTest::addRow("saveAs as the number 1 is false") << absolute << QJsonValue(1) << abc << "labels/shelf.cwrt" << "";
    QTest::addRow("missing folder") << "missing/shelf.cwrt" << QJsonValue(false) << abc << "missing/shelf.cwrt" << "无法写入目标文件";
    QTest::addRow("content without Base64 characters") << absolute << QJsonValue(false) << "====" << "labels/shelf.cwrt" << "文件内容编码无效";
}

void OpenSaveTest::plainSave_writesCurrentPathWithoutDialog()
{
    QFETCH(QString, currentPath);
    QFETCH(QJsonValue, saveAs);
    QFETCH(QString, dataBase64);
    QFETCH(QString, written);
    QFETCH(QString, error);
    QVERIFY(writeFile(path(QStringLiteral("labels/shelf.json")), "json"));
    setSetting(projectKey, path(QStringLiteral("print")));
    currentPath.replace(QStringLiteral("<dir>"), dir->path());
    QJsonObject payload{{"currentPath", currentPath}, {"dataBase64", dataBase64}, {"suggestedName", "x.cwrt"}};
    if (!saveAs.isUndefined())
        payload.insert(QStringLiteral("saveAs"), saveAs);
    DesktopBridge bridge(&window, nullptr);

    ModalPlayer user;
    const QString reply = call(bridge, "saveProject", {payloadText(payload)});

    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    QCOMPARE(readAll(path(QStringLiteral("labels/shelf.json"))), QByteArray("json"));
    if (!error.isEmpty()) {
        QCOMPARE(reply, QStringLiteral("{\"error\":\"%1\",\"ok\":false}").arg(error));
        QVERIFY(!QFileInfo::exists(path(written)) && !QFileInfo::exists(path(QStringLiteral("missing"))));
        QCOMPARE(setting(projectKey), path(QStringLiteral("print")));
        return;
    }
    QCOMPARE(reply, savedReply.arg(QFileInfo(written).fileName(), currentPath.startsWith('/') ? path(written) : written));
    QCOMPARE(readAll(path(written)), QByteArray("abc"));
    QCOMPARE(setting(projectKey), path(QStringLiteral("labels")));
}

// Reading by path shows no dialog and never judges the extension. openProject remembers the
// folder even when the read fails; readSpreadsheet touches neither remembered folder.
void OpenSaveTest::readByPath_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expectedReply");
    QTest::addColumn<QString>("projectDirAfter");
    QTest::addRow("project") << QByteArray("openProject") << "labels/a.cwrt" << readReply.arg("a.cwrt") << "labels";
    QTest::addRow("extension outside the filter") << QByteArray("openProject") << "labels/notes.txt" << readReply.arg("notes.txt") << "labels";
    QTest::addRow("project in a missing folder") << QByteArray("openProject") << "missing/a.cwrt" << cannotReadReply << "missing";
    QTest::addRow("empty project") << QByteArray("openProject") << "labels/empty.cwrt" << cannotReadReply << "labels";
    QTest::addRow("spreadsheet") << QByteArray("readSpreadsheet") << "sheets/stock.csv" << readReply.arg("stock.csv") << "print";
    QTest::addRow("empty spreadsheet path") << QByteArray("readSpreadsheet") << QString()
                                            << "{\"error\":\"missing spreadsheet path\",\"ok\":false}" << "print";
    QTest::addRow("empty spreadsheet") << QByteArray("readSpreadsheet") << "sheets/empty.xlsx" << cannotReadReply << "print";
    QTest::addRow("missing spreadsheet") << QByteArray("readSpreadsheet") << "sheets/missing.xlsx" << cannotReadReply << "print";
}

void OpenSaveTest::readByPath()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, file);
    QFETCH(QString, expectedReply);
    QFETCH(QString, projectDirAfter);
    for (const char *name : {"labels/a.cwrt", "labels/notes.txt", "sheets/stock.csv"})
        QVERIFY(writeFile(path(QString::fromLatin1(name)), "abc"));
    for (const char *name : {"labels/empty.cwrt", "sheets/empty.xlsx"})
        QVERIFY(writeFile(path(QString::fromLatin1(name)), QByteArray()));
    setSetting(projectKey, path(QStringLiteral("print")));
    DesktopBridge bridge(&window, nullptr);
    bridge.setFrontendDir(path(QStringLiteral("frontend")));

    ModalPlayer user;
    const QString given = file.isEmpty() ? QString() : path(file);
    const QString reply = call(bridge, method.constData(), {given});

    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    QCOMPARE(reply, expectedReply.contains(QStringLiteral("%2")) ? expectedReply.arg(given) : expectedReply);
    QCOMPARE(setting(projectKey), path(projectDirAfter));
    QCOMPARE(setting(sheetKey), absent);
}

QUILLMARK_TEST_MAIN(OpenSaveTest)
#include "tst_opensave.moc"
