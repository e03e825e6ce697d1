#include "DesktopBridge.h"
#include "TestSupport.h"

#include <QFileDialog>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

namespace {

const QString projectKey = QStringLiteral("paths/projectDir");
const QString sheetKey = QStringLiteral("paths/sheetDir");
const QString cancelledReply = QStringLiteral("{\"error\":\"cancelled\",\"ok\":false}");
const QString cannotReadReply = QStringLiteral("{\"error\":\"无法读取文件\",\"ok\":false}");
const QString projectCaption = QStringLiteral("打开标签工程");
const QString projectOpenFilter = QStringLiteral("Cardwright Project (*.cwrt *.json)");
const QString sheetCaption = QStringLiteral("导入数据源");
const QString sheetFilter = QStringLiteral("Spreadsheet (*.xlsx *.xls *.csv)");
const QString saveCaption = QStringLiteral("保存标签工程");
const QString saveFilter = QStringLiteral("Cardwright Project (*.cwrt)");
const QString pdfCaption = QStringLiteral("导出打印 PDF");
const QString pdfFilter = QStringLiteral("PDF File (*.pdf)");

QString setting(const QString &key)
{
    return QSettings(QStringLiteral("Quillmark"), QStringLiteral("Quillmark")).value(key, QStringLiteral("<absent>")).toString();
}

void setSetting(const QString &key, const QString &value)
{
    QSettings(QStringLiteral("Quillmark"), QStringLiteral("Quillmark")).setValue(key, value);
}

QJsonObject parsed(const QString &reply)
{
    return QJsonDocument::fromJson(reply.toUtf8()).object();
}

QString payloadText(const QJsonObject &payload)
{
    return QString::fromUtf8(QJsonDocument(payload).toJson(QJsonDocument::Compact));
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
// window nobody expected is rejected and counted, so a surprise dialog fails the test
// instead of hanging it.
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
            if (!dialog) {
                failures << QStringLiteral("expected a file dialog, got %1").arg(QString::fromLatin1(widget->metaObject()->className()));
                QMetaObject::invokeMethod(widget, "reject", Qt::QueuedConnection);
                return;
            }
            auto *nameEdit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            FileDialogView view;
            view.caption = dialog->windowTitle();
            view.nameFilters = dialog->nameFilters();
            view.directory = dialog->directory().absolutePath();
            view.fileName = nameEdit ? nameEdit->text() : QStringLiteral("<no name field>");
            view.acceptMode = dialog->acceptMode();
            view.parent = dialog->parentWidget();
            seen.push_back(view);
            QTimer::singleShot(0, dialog, [dialog, nameEdit, typed] {
                if (typed.isEmpty() || !nameEdit) {
                    dialog->reject();
                    return;
                }
                nameEdit->clear();
                QTest::keyClicks(nameEdit, typed);
                static_cast<QDialog *>(dialog)->accept(); // Open or Save, as the button does
            });
        });
    }

    // Answers a question box by the role of the button pressed.
    void question(bool agree)
    {
        steps.push_back([this, agree](QWidget *widget) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            if (!box) {
                failures << QStringLiteral("expected a question, got %1").arg(QString::fromLatin1(widget->metaObject()->className()));
                QMetaObject::invokeMethod(widget, "reject", Qt::QueuedConnection);
                return;
            }
            questions << box->text();
            questionParents << box->parentWidget();
            QAbstractButton *answer = nullptr;
            for (QAbstractButton *button : box->buttons()) {
                const QMessageBox::ButtonRole role = box->buttonRole(button);
                if ((agree && role == QMessageBox::AcceptRole) || (!agree && role == QMessageBox::RejectRole))
                    answer = button;
            }
            if (!answer) {
                failures << QStringLiteral("question without the button to answer it");
                QMetaObject::invokeMethod(box, "reject", Qt::QueuedConnection);
                return;
            }
            QTimer::singleShot(0, answer, [answer] { answer->click(); });
        });
    }

    bool allPlayed() const { return steps.empty() && failures.isEmpty(); }
    QString report() const
    {
        QStringList lines = failures;
        if (!steps.empty())
            lines << QStringLiteral("%1 expected window(s) never appeared").arg(steps.size());
        return lines.join(QLatin1Char('\n'));
    }

    std::vector<FileDialogView> seen;
    QStringList questions;
    QList<QWidget *> questionParents;
    QStringList failures;

private:
    void handleActiveModal()
    {
        QWidget *widget = QApplication::activeModalWidget();
        if (!widget || widget == handled)
            return;
        handled = widget;
        if (steps.empty()) {
            failures << QStringLiteral("unexpected %1 \"%2\"")
                            .arg(QString::fromLatin1(widget->metaObject()->className()), widget->windowTitle());
            QMetaObject::invokeMethod(widget, "reject", Qt::QueuedConnection);
            return;
        }
        const std::function<void(QWidget *)> step = steps.front();
        steps.pop_front();
        step(widget);
    }

    QTimer poll;
    QPointer<QWidget> handled;
    std::deque<std::function<void(QWidget *)>> steps;
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
    void dialogSave_completesTheExtension_data();
    void dialogSave_completesTheExtension();
    void dialogSave_completedNameExists_asksBeforeReplacing_data();
    void dialogSave_completedNameExists_asksBeforeReplacing();
    void plainSave_writesCurrentPathWithoutDialog_data();
    void plainSave_writesCurrentPathWithoutDialog();
    void plainSave_exactReplyText();
    void plainSave_relativePath_isWrittenAgainstWorkingDirectory();
    void save_failure_keepsRememberedFolder_data();
    void save_failure_keepsRememberedFolder();
    void openByPath_data();
    void openByPath();
    void readSpreadsheet_data();
    void readSpreadsheet();

private:
    QString path(const QString &relative) const { return dir->path() + QLatin1Char('/') + relative; }
    void makeFolders(const QStringList &folders);

    std::unique_ptr<QTemporaryDir> dir;
    QWidget window;
};

void OpenSaveTest::init()
{
    QSettings(QStringLiteral("Quillmark"), QStringLiteral("Quillmark")).clear();
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    makeFolders({QStringLiteral("frontend"), QStringLiteral("labels"), QStringLiteral("print"), QStringLiteral("sheets")});
    window.show();
}

void OpenSaveTest::cleanup()
{
    QVERIFY2(!QApplication::activeModalWidget(), "a dialog outlived its test");
}

void OpenSaveTest::makeFolders(const QStringList &folders)
{
    for (const QString &folder : folders)
        QVERIFY(QDir(dir->path()).mkpath(folder));
}

// Every dialog: its caption, filter, starting folder and pre-filled name, where it starts
// from (remembered folder, front-end folder, odd remembered values), and that cancelling
// replies "cancelled" and leaves both folders and the disk alone.
void OpenSaveTest::dialog_startsWhereRemembered_andCancelChangesNothing_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("frontendDir");
    QTest::addColumn<QString>("projectDir");
    QTest::addColumn<QString>("sheetDir");
    QTest::addColumn<bool>("withWindow");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("expectedDirectory");
    QTest::addColumn<QString>("expectedName");

    const QString none = QStringLiteral("<absent>");
    const QString frontend = QStringLiteral("frontend");
    const QString labels = QStringLiteral("labels");
    const QString sheets = QStringLiteral("sheets");
    const QString untitled = QStringLiteral("未命名标签.cwrt");
    const QString printFile = QStringLiteral("打印文件.pdf");
    const QStringList noArguments;
    auto save = [](const QJsonObject &payload) { return QStringList{payloadText(payload)}; };

    QTest::addRow("openProject() starts in the front-end folder")
        << QByteArray("openProject") << noArguments << frontend << none << none << true << projectCaption
        << projectOpenFilter << frontend << QString();
    QTest::addRow("openProject() starts in the remembered project folder")
        << QByteArray("openProject") << noArguments << frontend << labels << sheets << true << projectCaption
        << projectOpenFilter << labels << QString();
    QTest::addRow("openProject(\"\") shows the dialog too")
        << QByteArray("openProject") << QStringList{QString()} << frontend << labels << none << true
        << projectCaption << projectOpenFilter << labels << QString();
    QTest::addRow("openProject() without a window")
        << QByteArray("openProject") << noArguments << frontend << labels << none << false << projectCaption
        << projectOpenFilter << labels << QString();
    QTest::addRow("pickSpreadsheet starts in the front-end folder, not the project's")
        << QByteArray("pickSpreadsheet") << noArguments << frontend << labels << none << true << sheetCaption
        << sheetFilter << frontend << QString();
    QTest::addRow("pickSpreadsheet starts in the remembered sheet folder")
        << QByteArray("pickSpreadsheet") << noArguments << frontend << labels << sheets << true << sheetCaption
        << sheetFilter << sheets << QString();
    QTest::addRow("saveProject, never saved: front-end folder and default name")
        << QByteArray("saveProject") << save({}) << frontend << none << sheets << true << saveCaption << saveFilter
        << frontend << untitled;
    QTest::addRow("saveProject, suggested name in the remembered folder")
        << QByteArray("saveProject") << save({{"suggestedName", "货架.cwrt"}}) << frontend << labels << sheets << true
        << saveCaption << saveFilter << labels << QStringLiteral("货架.cwrt");
    QTest::addRow("saveProject, saveAs opens the remembered folder, not currentPath's")
        << QByteArray("saveProject")
        << save({{"suggestedName", "shelf.cwrt"}, {"currentPath", "/elsewhere/shelf.cwrt"}, {"saveAs", true}})
        << frontend << labels << none << true << saveCaption << saveFilter << labels << QStringLiteral("shelf.cwrt");
    QTest::addRow("saveProject, currentPath empty") << QByteArray("saveProject") << save({{"currentPath", ""}})
                                                    << frontend << labels << none << true << saveCaption << saveFilter
                                                    << labels << untitled;
    QTest::addRow("saveProject, currentPath null") << QByteArray("saveProject") << save({{"currentPath", QJsonValue()}})
                                                   << frontend << labels << none << true << saveCaption << saveFilter
                                                   << labels << untitled;
    QTest::addRow("saveProject, currentPath a number") << QByteArray("saveProject") << save({{"currentPath", 7}})
                                                       << frontend << labels << none << true << saveCaption
                                                       << saveFilter << labels << untitled;
    QTest::addRow("saveProject, suggestedName not a string")
        << QByteArray("saveProject") << save({{"suggestedName", 12}}) << frontend << labels << none << true
        << saveCaption << saveFilter << labels << untitled;
    QTest::addRow("saveProject, suggestedName empty: folder only")
        << QByteArray("saveProject") << save({{"suggestedName", ""}}) << frontend << labels << none << true
        << saveCaption << saveFilter << labels << QString();
    QTest::addRow("saveProject, payload not an object") << QByteArray("saveProject") << QStringList{"[1,2]"}
                                                        << frontend << labels << none << true << saveCaption
                                                        << saveFilter << labels << untitled;
    QTest::addRow("saveProject, remembered folder ending in /")
        << QByteArray("saveProject") << save({}) << frontend << QStringLiteral("labels/") << none << true
        << saveCaption << saveFilter << labels << untitled;
    QTest::addRow("saveProject, no remembered folder and no front end: the root")
        << QByteArray("saveProject") << save({}) << QString() << none << none << true << saveCaption << saveFilter
        << QStringLiteral("/") << untitled;
    QTest::addRow("saveProject, remembered folder empty: the root, not the front end")
        << QByteArray("saveProject") << save({}) << frontend << QString() << none << true << saveCaption << saveFilter
        << QStringLiteral("/") << untitled;
    QTest::addRow("savePrintPdf ignores currentPath and saveAs")
        << QByteArray("savePrintPdf")
        << save({{"currentPath", "/elsewhere/shelf.cwrt"}, {"saveAs", false}})
        << frontend << labels << none << true << pdfCaption << pdfFilter << labels << printFile;
    QTest::addRow("savePrintPdf starts in the front-end folder")
        << QByteArray("savePrintPdf") << save({{"suggestedName", "货架.pdf"}}) << frontend << none << sheets << true
        << pdfCaption << pdfFilter << frontend << QStringLiteral("货架.pdf");
}

void OpenSaveTest::dialog_startsWhereRemembered_andCancelChangesNothing()
{
    QFETCH(QByteArray, method);
    QFETCH(QStringList, arguments);
    QFETCH(QString, frontendDir);
    QFETCH(QString, projectDir);
    QFETCH(QString, sheetDir);
    QFETCH(bool, withWindow);
    QFETCH(QString, caption);
    QFETCH(QString, filter);
    QFETCH(QString, expectedDirectory);
    QFETCH(QString, expectedName);

    // Folder names in the table are below the test's folder; "<absent>" leaves a key unset.
    auto inTestFolder = [this](const QString &folder) { return folder.isEmpty() ? folder : path(folder); };
    const QString absent = QStringLiteral("<absent>");
    if (projectDir != absent)
        setSetting(projectKey, inTestFolder(projectDir));
    if (sheetDir != absent)
        setSetting(sheetKey, inTestFolder(sheetDir));
    const QString projectBefore = setting(projectKey);
    const QString sheetBefore = setting(sheetKey);
    const QStringList filesBefore = QDir(path(QStringLiteral("labels"))).entryList(QDir::Files);

    DesktopBridge bridge(withWindow ? &window : nullptr, nullptr);
    bridge.setFrontendDir(inTestFolder(frontendDir));
    ModalPlayer user;
    user.fileDialog(QString());
    const QString reply = call(bridge, method.constData(), arguments);

    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    QCOMPARE(reply, cancelledReply);
    const FileDialogView &view = user.seen.at(0);
    QCOMPARE(view.caption, caption);
    QCOMPARE(view.nameFilters, QStringList{filter});
    QCOMPARE(view.directory, expectedDirectory == QStringLiteral("/") ? expectedDirectory : path(expectedDirectory));
    QCOMPARE(view.fileName, expectedName);
    QCOMPARE(view.acceptMode, method.startsWith("save") ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    QCOMPARE(view.parent, withWindow ? &window : nullptr);
    QCOMPARE(setting(projectKey), projectBefore);
    QCOMPARE(setting(sheetKey), sheetBefore);
    QCOMPARE(QDir(path(QStringLiteral("labels"))).entryList(QDir::Files), filesBefore);
}

// One walk through a session: where each dialog opens is decided by what was last opened,
// saved or exported, while picking a spreadsheet moves only the sheet folder.
void OpenSaveTest::projectFolder_isSharedByOpenSaveAndPdf_sheetFolderIsNot()
{
    makeFolders({QStringLiteral("projects"), QStringLiteral("data")});
    QVERIFY(writeFile(path(QStringLiteral("projects/shelf.cwrt")), "abc"));
    QVERIFY(writeFile(path(QStringLiteral("data/stock.csv")), "a,b\n"));
    DesktopBridge bridge(&window, nullptr);
    bridge.setFrontendDir(path(QStringLiteral("frontend")));

    ModalPlayer user;
    user.fileDialog(path(QStringLiteral("projects/shelf.cwrt")));
    QCOMPARE(parsed(call(bridge, "openProject")).value("dataBase64").toString(), QStringLiteral("YWJj"));
    QCOMPARE(setting(projectKey), path(QStringLiteral("projects")));

    user.fileDialog(path(QStringLiteral("print/shelf")));
    QCOMPARE(parsed(call(bridge, "savePrintPdf", {payloadText({{"dataBase64", "JVBERg=="}})})).value("path").toString(),
             path(QStringLiteral("print/shelf.pdf")));
    QCOMPARE(readAll(path(QStringLiteral("print/shelf.pdf"))), QByteArray("%PDF"));
    QCOMPARE(setting(projectKey), path(QStringLiteral("print")));

    user.fileDialog(path(QStringLiteral("data/stock.csv")));
    QCOMPARE(parsed(call(bridge, "pickSpreadsheet")).value("name").toString(), QStringLiteral("stock.csv"));
    QCOMPARE(setting(sheetKey), path(QStringLiteral("data")));
    QCOMPARE(setting(projectKey), path(QStringLiteral("print")));

    user.fileDialog(QString());
    QCOMPARE(call(bridge, "saveProject", {QStringLiteral("{}")}), cancelledReply);
    user.fileDialog(QString());
    QCOMPARE(call(bridge, "openProject"), cancelledReply);
    user.fileDialog(QString());
    QCOMPARE(call(bridge, "pickSpreadsheet"), cancelledReply);

    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    QCOMPARE(user.seen.size(), size_t(6));
    const QStringList expectedFolders{path(QStringLiteral("frontend")), path(QStringLiteral("projects")),
                                      path(QStringLiteral("frontend")), path(QStringLiteral("print")),
                                      path(QStringLiteral("print")),    path(QStringLiteral("data"))};
    for (size_t i = 0; i < user.seen.size(); ++i)
        QCOMPARE(user.seen[i].directory, expectedFolders.at(int(i)));
}

void OpenSaveTest::dialogSave_completesTheExtension_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");

    QTest::addRow("project without extension") << QByteArray("saveProject") << "shelf" << "shelf.cwrt";
    QTest::addRow("project in upper case kept") << QByteArray("saveProject") << "SHELF.CWRT" << "SHELF.CWRT";
    QTest::addRow("project named .json") << QByteArray("saveProject") << "shelf.json" << "shelf.json.cwrt";
    QTest::addRow("pdf without extension") << QByteArray("savePrintPdf") << "shelf" << "shelf.pdf";
    QTest::addRow("pdf in upper case kept") << QByteArray("savePrintPdf") << "Shelf.PDF" << "Shelf.PDF";
    QTest::addRow("pdf typed as project") << QByteArray("savePrintPdf") << "shelf.cwrt" << "shelf.cwrt.pdf";
}

void OpenSaveTest::dialogSave_completesTheExtension()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    DesktopBridge bridge(&window, nullptr);
    setSetting(projectKey, path(QStringLiteral("labels")));

    ModalPlayer user;
    user.fileDialog(typed);
    const QString reply = call(bridge, method.constData(), {payloadText({{"dataBase64", "YWJj"}})});

    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    const QString target = path(QStringLiteral("labels/") + written);
    QCOMPARE(reply, QStringLiteral("{\"name\":\"%1\",\"ok\":true,\"path\":\"%2\"}").arg(written, target));
    QCOMPARE(readAll(target), QByteArray("abc"));
    QCOMPARE(QDir(path(QStringLiteral("labels"))).entryList(QDir::Files), QStringList{written});
    QCOMPARE(setting(projectKey), path(QStringLiteral("labels")));
}

// The user typed a name that did not exist, but the completed name does: only an explicit
// yes replaces it; no leaves the file, the folder setting and the reply as a cancel would.
void OpenSaveTest::dialogSave_completedNameExists_asksBeforeReplacing_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("existing");
    QTest::addColumn<bool>("agree");
    QTest::addColumn<bool>("withWindow");

    QTest::addRow("project, replace") << QByteArray("saveProject") << "shelf.cwrt" << true << true;
    QTest::addRow("project, keep") << QByteArray("saveProject") << "shelf.cwrt" << false << true;
    QTest::addRow("project, keep, no window") << QByteArray("saveProject") << "shelf.cwrt" << false << false;
    QTest::addRow("pdf, replace") << QByteArray("savePrintPdf") << "shelf.pdf" << true << true;
    QTest::addRow("pdf, keep") << QByteArray("savePrintPdf") << "shelf.pdf" << false << true;
}

void OpenSaveTest::dialogSave_completedNameExists_asksBeforeReplacing()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, existing);
    QFETCH(bool, agree);
    QFETCH(bool, withWindow);
    const QString target = path(QStringLiteral("labels/") + existing);
    QVERIFY(writeFile(target, "old content"));
    setSetting(projectKey, path(QStringLiteral("print")));
    DesktopBridge bridge(withWindow ? &window : nullptr, nullptr);

    ModalPlayer user;
    user.fileDialog(path(QStringLiteral("labels/shelf")));
    user.question(agree);
    const QString reply = call(bridge, method.constData(), {payloadText({{"dataBase64", "YWJj"}})});

    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    QVERIFY2(user.questions.value(0).contains(existing), qPrintable(user.questions.value(0)));
    QCOMPARE(user.questionParents.value(0), withWindow ? &window : nullptr);
    if (agree) {
        QCOMPARE(parsed(reply).value("path").toString(), target);
        QCOMPARE(readAll(target), QByteArray("abc"));
        QCOMPARE(setting(projectKey), path(QStringLiteral("labels")));
    } else {
        QCOMPARE(reply, cancelledReply);
        QCOMPARE(readAll(target), QByteArray("old content"));
        QCOMPARE(setting(projectKey), path(QStringLiteral("print")));
    }
    QCOMPARE(QDir(path(QStringLiteral("labels"))).entryList(QDir::Files), QStringList{existing});
}

// Without a dialog: the path the page sends is written, completed to ".cwrt" when needed,
// and nothing is asked even when the completed name exists already.
void OpenSaveTest::plainSave_writesCurrentPathWithoutDialog_data()
{
    QTest::addColumn<QString>("currentPath");
    QTest::addColumn<QJsonValue>("saveAs");
    QTest::addColumn<QString>("written");

    QTest::addRow("complete name") << "labels/shelf.cwrt" << QJsonValue(false) << "labels/shelf.cwrt";
    QTest::addRow("saveAs missing") << "labels/shelf.cwrt" << QJsonValue(QJsonValue::Undefined) << "labels/shelf.cwrt";
    QTest::addRow(".json completed, original kept") << "labels/shelf.json" << QJsonValue(false)
                                                     << "labels/shelf.json.cwrt";
    QTest::addRow("upper-case extension kept") << "labels/SHELF.CWRT" << QJsonValue(false) << "labels/SHELF.CWRT";
    QTest::addRow("saveAs as a string is false") << "labels/shelf.cwrt" << QJsonValue("true") << "labels/shelf.cwrt";
    QTest::addRow("saveAs as the number 1 is false") << "labels/shelf.cwrt" << QJsonValue(1) << "labels/shelf.cwrt";
    QTest::addRow("completed name exists: replaced unasked") << "labels/old.json" << QJsonValue(false)
                                                              << "labels/old.json.cwrt";
}

void OpenSaveTest::plainSave_writesCurrentPathWithoutDialog()
{
    QFETCH(QString, currentPath);
    QFETCH(QJsonValue, saveAs);
    QFETCH(QString, written);
    QVERIFY(writeFile(path(QStringLiteral("labels/shelf.json")), "json"));
    QVERIFY(writeFile(path(QStringLiteral("labels/old.json.cwrt")), "previous save"));
    QJsonObject payload{{"currentPath", path(currentPath)}, {"dataBase64", "YWJj"}, {"suggestedName", "x.cwrt"}};
    if (!saveAs.isUndefined())
        payload.insert(QStringLiteral("saveAs"), saveAs);
    DesktopBridge bridge(&window, nullptr);

    ModalPlayer user;
    const QJsonObject reply = parsed(call(bridge, "saveProject", {payloadText(payload)}));

    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    QCOMPARE(reply.value("path").toString(), path(written));
    QCOMPARE(reply.value("name").toString(), QFileInfo(written).fileName());
    QCOMPARE(readAll(path(written)), QByteArray("abc"));
    QCOMPARE(readAll(path(QStringLiteral("labels/shelf.json"))), QByteArray("json"));
    QCOMPARE(setting(projectKey), path(QStringLiteral("labels")));
}

void OpenSaveTest::plainSave_exactReplyText()
{
    makeFolders({QStringLiteral("data/labels")});
    const QString target = path(QStringLiteral("data/labels/shelf.cwrt"));
    DesktopBridge bridge(&window, nullptr);
    const QString reply = call(bridge, "saveProject", {payloadText({{"currentPath", target}, {"saveAs", false}})});
    QCOMPARE(reply, QStringLiteral("{\"name\":\"shelf.cwrt\",\"ok\":true,\"path\":\"%1\"}").arg(target));
    QVERIFY(QFileInfo(target).isFile());
    QCOMPARE(QFileInfo(target).size(), 0);
    QCOMPARE(setting(projectKey), path(QStringLiteral("data/labels")));
}

void OpenSaveTest::plainSave_relativePath_isWrittenAgainstWorkingDirectory()
{
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(path(QStringLiteral("labels"))));
    DesktopBridge bridge(&window, nullptr);
    const QString reply = call(bridge, "saveProject", {payloadText({{"currentPath", "shelf"}, {"dataBase64", "YWJj"}})});
    QDir::setCurrent(previous);
    QCOMPARE(reply, QStringLiteral("{\"name\":\"shelf.cwrt\",\"ok\":true,\"path\":\"shelf.cwrt\"}"));
    QCOMPARE(readAll(path(QStringLiteral("labels/shelf.cwrt"))), QByteArray("abc"));
    QCOMPARE(setting(projectKey), path(QStringLiteral("labels")));
}

// A failed write replies with its message and the next dialog still opens where the last
// good save was.
void OpenSaveTest::save_failure_keepsRememberedFolder_data()
{
    QTest::addColumn<QString>("currentPath");
    QTest::addColumn<QString>("dataBase64");
    QTest::addColumn<QString>("error");

    QTest::addRow("missing folder") << "missing/shelf.cwrt" << "YWJj" << QStringLiteral("无法写入目标文件");
    QTest::addRow("content without Base64 characters") << "labels/shelf.cwrt" << "====" << QStringLiteral("文件内容编码无效");
}

void OpenSaveTest::save_failure_keepsRememberedFolder()
{
    QFETCH(QString, currentPath);
    QFETCH(QString, dataBase64);
    QFETCH(QString, error);
    setSetting(projectKey, path(QStringLiteral("print")));
    DesktopBridge bridge(&window, nullptr);

    const QString reply = call(bridge, "saveProject", {payloadText({{"currentPath", path(currentPath)}, {"dataBase64", dataBase64}})});
    QCOMPARE(reply, QStringLiteral("{\"error\":\"%1\",\"ok\":false}").arg(error));
    QVERIFY(!QFileInfo::exists(path(currentPath)));
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("missing"))));

    ModalPlayer user;
    user.fileDialog(QString());
    QCOMPARE(call(bridge, "saveProject", {QStringLiteral("{}")}), cancelledReply);
    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    QCOMPARE(user.seen.at(0).directory, path(QStringLiteral("print")));
}

// openProject with a path: no dialog, the folder is remembered even when the read fails,
// and the file's extension is never judged.
void OpenSaveTest::openByPath_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expectedReply");
    QTest::addColumn<QString>("rememberedFolder");

    QTest::addRow("project") << "labels/a.cwrt"
                             << "{\"dataBase64\":\"YWJj\",\"name\":\"a.cwrt\",\"ok\":true,\"path\":\"%1\"}"
                             << "labels";
    QTest::addRow("extension outside the filter") << "labels/notes.txt"
                                                  << "{\"dataBase64\":\"YWJj\",\"name\":\"notes.txt\",\"ok\":true,\"path\":\"%1\"}"
                                                  << "labels";
    QTest::addRow("missing folder") << "missing/a.cwrt" << cannotReadReply << "missing";
    QTest::addRow("empty file") << "labels/empty.cwrt" << cannotReadReply << "labels";
}

void OpenSaveTest::openByPath()
{
    QFETCH(QString, file);
    QFETCH(QString, expectedReply);
    QFETCH(QString, rememberedFolder);
    QVERIFY(writeFile(path(QStringLiteral("labels/a.cwrt")), "abc"));
    QVERIFY(writeFile(path(QStringLiteral("labels/notes.txt")), "abc"));
    QVERIFY(writeFile(path(QStringLiteral("labels/empty.cwrt")), QByteArray()));
    setSetting(sheetKey, path(QStringLiteral("sheets")));
    DesktopBridge bridge(&window, nullptr);

    ModalPlayer user;
    const QString reply = call(bridge, "openProject", {path(file)});

    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    QCOMPARE(reply, expectedReply.contains(QStringLiteral("%1")) ? expectedReply.arg(path(file)) : expectedReply);
    QCOMPARE(setting(projectKey), path(rememberedFolder));
    QCOMPARE(setting(sheetKey), path(QStringLiteral("sheets")));
}

// readSpreadsheet reads the path it is given and never touches a remembered folder.
void OpenSaveTest::readSpreadsheet_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expectedReply");

    QTest::addRow("spreadsheet") << "sheets/stock.csv"
                                 << "{\"dataBase64\":\"YSxi\",\"name\":\"stock.csv\",\"ok\":true,\"path\":\"%1\"}";
    QTest::addRow("empty path") << QString() << "{\"error\":\"missing spreadsheet path\",\"ok\":false}";
    QTest::addRow("empty file") << "sheets/empty.xlsx" << cannotReadReply;
    QTest::addRow("missing file") << "sheets/missing.xlsx" << cannotReadReply;
}

void OpenSaveTest::readSpreadsheet()
{
    QFETCH(QString, file);
    QFETCH(QString, expectedReply);
    QVERIFY(writeFile(path(QStringLiteral("sheets/stock.csv")), "a,b"));
    QVERIFY(writeFile(path(QStringLiteral("sheets/empty.xlsx")), QByteArray()));
    setSetting(projectKey, path(QStringLiteral("labels")));
    DesktopBridge bridge(&window, nullptr);
    bridge.setFrontendDir(path(QStringLiteral("frontend")));

    ModalPlayer user;
    const QString given = file.isEmpty() ? QString() : path(file);
    const QString reply = call(bridge, "readSpreadsheet", {given});

    QVERIFY2(user.allPlayed(), qPrintable(user.report()));
    QCOMPARE(reply, expectedReply.contains(QStringLiteral("%1")) ? expectedReply.arg(given) : expectedReply);
    QCOMPARE(setting(sheetKey), QStringLiteral("<absent>"));
    QCOMPARE(setting(projectKey), path(QStringLiteral("labels")));
}

QUILLMARK_TEST_MAIN(OpenSaveTest)
#include "tst_opensave.moc"
