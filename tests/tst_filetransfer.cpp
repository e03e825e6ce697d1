#include "DesktopBridge.h"
#include "TestSupport.h"

#include <QJsonDocument>
#include <QSettings>

#include <QElapsedTimer>
#include <QProcess>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace {

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

const QString cannotWrite = QStringLiteral("无法写入目标文件");
const QString invalidEncoding = QStringLiteral("文件内容编码无效");
const QString writeFailed = QStringLiteral("写入文件失败");
const QString cannotRead = QStringLiteral("{\"error\":\"无法读取文件\",\"ok\":false}");

// Runs a save in a process of its own, optionally as the unprivileged user "nobody", whom
// folder permissions bind (the tests may run as root, whom they do not).
QStringList saveChildCommand(const QString &target, const QString &contentFile, const QStringList &extra, bool unprivileged)
{
    const QStringList childArguments = QStringList{QString::fromUtf8(SAVE_CHILD), target, contentFile} + extra;
    if (!unprivileged)
        return childArguments;
    return QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                       QStringLiteral("--clear-groups")}
        + childArguments;
}

bool runningAsRoot()
{
    return geteuid() == 0;
}

// The folder and the file in it belong to "nobody", who may read but not write the folder.
bool makeReadOnlyFolderOfNobody(const QString &folder, const QString &file)
{
    const passwd *nobody = getpwnam("nobody");
    if (runningAsRoot()
        && (!nobody || chown(QFile::encodeName(folder).constData(), nobody->pw_uid, nobody->pw_gid) != 0
            || chown(QFile::encodeName(file).constData(), nobody->pw_uid, nobody->pw_gid) != 0))
        return false;
    return QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther)
        && QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                             | QFileDevice::ExeOther);
}

// True once the process holds a file open inside folder: it is in the middle of a save there.
bool waitForFileOpenIn(qint64 pid, const QString &folder, int timeoutMs)
{
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    const QByteArray prefix = QFile::encodeName(folder + QLatin1Char('/'));
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        for (const QString &fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            char target[4096];
            const ssize_t length = readlink(QFile::encodeName(fds + QLatin1Char('/') + fd).constData(), target, sizeof target);
            if (length > 0 && QByteArray(target, int(length)).startsWith(prefix))
                return true;
        }
    }
    return false;
}

} // namespace

class FileTransferTest : public QObject
{
    Q_OBJECT

public:
    IsolatedUserState *userState = nullptr;

private slots:
    void init();
    void fileReply_threeBytes_isTheExactReplyText();
    void fileReply_unreadable_data();
    void fileReply_unreadable();
    void fileReply_relativePath_keepsItsForm();
    void fileReply_atTransferLimit_isDeliveredAndOneByteMoreIsRefused();
    void writeBase64File_decodesLeniently_data();
    void writeBase64File_decodesLeniently();
    void writeBase64File_overLongerFile_leavesOnlyNewBytes();
    void writeBase64File_missingFolder_createsNothing();
    void writeBase64File_failure_keepsExistingFileByteIdentical_data();
    void writeBase64File_failure_keepsExistingFileByteIdentical();
    void saveProject_faultInAnotherProcess_keepsExistingFile_data();
    void saveProject_faultInAnotherProcess_keepsExistingFile();
    void writeBase64File_intoFolderOrDevice_isRefused();
    void writeBase64File_keepsTheFilePermissions();
    void ensureSuffix_data();
    void ensureSuffix();
    void rememberedFolder_defaultsToFrontendDir();
    void rememberFolderOf_storesTheAbsoluteFolder_data();
    void rememberFolderOf_storesTheAbsoluteFolder();
    void rememberedFolders_landInTheSettingsFile();

private:
    QTemporaryDir dir;
};

void FileTransferTest::init()
{
    QSettings(QStringLiteral("Quillmark"), QStringLiteral("Quillmark")).clear();
    QVERIFY(dir.isValid());
    for (const QString &entry : entriesOf(dir.path())) {
        QFile::setPermissions(dir.filePath(entry), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QVERIFY(QFileInfo(dir.filePath(entry)).isDir() ? QDir(dir.filePath(entry)).removeRecursively()
                                                       : QFile::remove(dir.filePath(entry)));
    }
}

void FileTransferTest::fileReply_threeBytes_isTheExactReplyText()
{
    const QString path = dir.filePath(QStringLiteral("a.cwrt"));
    QVERIFY(writeFile(path, "abc"));
    DesktopBridge bridge(nullptr, nullptr);
    QCOMPARE(bridge.fileReply(path),
             QStringLiteral("{\"dataBase64\":\"YWJj\",\"name\":\"a.cwrt\",\"ok\":true,\"path\":\"%1\"}").arg(path));
}

void FileTransferTest::fileReply_unreadable_data()
{
    QTest::addColumn<QString>("path");
    QTest::addRow("empty file") << "empty.cwrt";
    QTest::addRow("missing file") << "missing.cwrt";
    QTest::addRow("directory") << "folder";
    QTest::addRow("endless device") << "/dev/zero";
}

void FileTransferTest::fileReply_unreadable()
{
    QFETCH(QString, path);
    QVERIFY(writeFile(dir.filePath(QStringLiteral("empty.cwrt")), QByteArray()));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    DesktopBridge bridge(nullptr, nullptr);
    QCOMPARE(bridge.fileReply(QDir(dir.path()).absoluteFilePath(path)), cannotRead);
}

void FileTransferTest::fileReply_relativePath_keepsItsForm()
{
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("docs")));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("docs/x.cwrt")), "xyz"));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    DesktopBridge bridge(nullptr, nullptr);
    const QJsonObject reply = QJsonDocument::fromJson(bridge.fileReply(QStringLiteral("docs/x.cwrt")).toUtf8()).object();
    QDir::setCurrent(previous);
    QCOMPARE(reply.value("path").toString(), QStringLiteral("docs/x.cwrt"));
    QCOMPARE(reply.value("name").toString(), QStringLiteral("x.cwrt"));
    QCOMPARE(reply.value("dataBase64").toString(), QStringLiteral("eHl6"));
}

void FileTransferTest::fileReply_atTransferLimit_isDeliveredAndOneByteMoreIsRefused()
{
    const QString path = dir.filePath(QStringLiteral("large.cwrt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(DesktopBridge::maxTransferBytes));
    file.close();
    DesktopBridge bridge(nullptr, nullptr);
    const QString reply = bridge.fileReply(path);
    QVERIFY(reply.size() <= DesktopBridge::channelMessageCeilingChars - DesktopBridge::replyReserveChars + 100);
    QVERIFY(reply.contains(QStringLiteral("\"ok\":true")));

    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
    QVERIFY(file.resize(DesktopBridge::maxTransferBytes + 1));
    file.close();
    QCOMPARE(bridge.fileReply(path), cannotRead);
}

void FileTransferTest::writeBase64File_decodesLeniently_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expectedError");
    QTest::addColumn<QByteArray>("expectedBytes");
    QTest::addRow("plain") << "YWJj" << "" << QByteArray("abc");
    QTest::addRow("extra pad characters") << "YWJj====" << "" << QByteArray("abc");
    QTest::addRow("space inside") << "YW Jj" << "" << QByteArray("abc");
    QTest::addRow("split over two lines") << "YW\nJj" << "" << QByteArray("abc");
    QTest::addRow("empty text gives empty file") << "" << "" << QByteArray();
    QTest::addRow("two characters give one byte") << "QQ" << "" << QByteArray("A");
    QTest::addRow("pad characters only") << "====" << invalidEncoding << QByteArray();
    QTest::addRow("single alphabet character") << "Q" << invalidEncoding << QByteArray();
    QTest::addRow("nothing from the alphabet") << "中文!" << invalidEncoding << QByteArray();
}

void FileTransferTest::writeBase64File_decodesLeniently()
{
    QFETCH(QString, text);
    QFETCH(QString, expectedError);
    QFETCH(QByteArray, expectedBytes);
    const QString path = dir.filePath(QStringLiteral("out.cwrt"));
    DesktopBridge bridge(nullptr, nullptr);
    QCOMPARE(bridge.writeBase64File(path, text), expectedError);
    if (expectedError.isEmpty())
        QCOMPARE(readAll(path), expectedBytes);
    else
        QVERIFY(!QFile::exists(path));
    QCOMPARE(entriesOf(dir.path()).size(), expectedError.isEmpty() ? 1 : 0);
}

void FileTransferTest::writeBase64File_overLongerFile_leavesOnlyNewBytes()
{
    const QString path = dir.filePath(QStringLiteral("shelf.cwrt"));
    QVERIFY(writeFile(path, QByteArray(1000, 'x')));
    DesktopBridge bridge(nullptr, nullptr);
    QCOMPARE(bridge.writeBase64File(path, QStringLiteral("YWJj")), QString());
    QCOMPARE(readAll(path), QByteArray("abc"));
    QCOMPARE(entriesOf(dir.path()), QStringList{"shelf.cwrt"});
}

void FileTransferTest::writeBase64File_missingFolder_createsNothing()
{
    DesktopBridge bridge(nullptr, nullptr);
    QCOMPARE(bridge.writeBase64File(dir.filePath(QStringLiteral("missing/a.cwrt")), QStringLiteral("YWJj")), cannotWrite);
    QVERIFY(entriesOf(dir.path()).isEmpty());
}

void FileTransferTest::writeBase64File_failure_keepsExistingFileByteIdentical_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("expectedError");
    QTest::addRow("invalid encoding") << "encoding" << invalidEncoding;
    QTest::addRow("read-only file") << "readonly" << cannotWrite;
}

void FileTransferTest::writeBase64File_failure_keepsExistingFileByteIdentical()
{
    QFETCH(QString, failure);
    QFETCH(QString, expectedError);
    const QString path = dir.filePath(QStringLiteral("shelf.cwrt"));
    const QByteArray original = "{\"format\":\"existing project\"}";
    QVERIFY(writeFile(path, original));
    if (failure == QLatin1String("readonly"))
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));

    DesktopBridge bridge(nullptr, nullptr);
    const QString newContent = QString::fromLatin1(QByteArray(64 * 1024, 'n').toBase64());
    QString error;
    if (failure == QLatin1String("encoding")) {
        error = bridge.writeBase64File(path, QStringLiteral("===="));
    } else {
        error = bridge.writeBase64File(path, newContent);
    }
    QCOMPARE(error, expectedError);
    QCOMPARE(readAll(path), original);
    QCOMPARE(entriesOf(dir.path()), QStringList{"shelf.cwrt"});
}

void FileTransferTest::saveProject_faultInAnotherProcess_keepsExistingFile_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("expectedReply");
    QTest::addRow("write fails half-way") << "file size limit" << QStringLiteral("{\"error\":\"%1\",\"ok\":false}").arg(writeFailed);
    QTest::addRow("read-only folder") << "read-only folder" << QStringLiteral("{\"error\":\"%1\",\"ok\":false}").arg(cannotWrite);
    QTest::addRow("killed during a large save") << "kill" << QString();
}

// Whatever stops a save, the project that was there stays exactly as it was and nothing else
// is left in its folder. A killed save leaves no temporary file either: the content is written
// to an unnamed file (O_TMPFILE) that only gets its name once it is complete.
void FileTransferTest::saveProject_faultInAnotherProcess_keepsExistingFile()
{
    QFETCH(QString, fault);
    QFETCH(QString, expectedReply);
    const QString folder = dir.filePath(QStringLiteral("labels"));
    const QString target = folder + QStringLiteral("/shelf.cwrt");
    const QString contentFile = dir.filePath(QStringLiteral("content.b64"));
    QVERIFY(QDir().mkpath(folder));
    QByteArray original(4096, '\0');
    for (int i = 0; i < original.size(); ++i)
        original[i] = char(i * 7);
    QVERIFY(writeFile(target, original));
    const int newSize = fault == QLatin1String("kill") ? 32 * 1024 * 1024 : 1024 * 1024;
    QVERIFY(writeFile(contentFile, QByteArray(newSize, 'n').toBase64()));
    // The unprivileged child must reach the folder through the temporary one.
    QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                   | QFileDevice::ExeOther));
    QVERIFY(QFile::setPermissions(contentFile, QFileDevice::ReadOwner | QFileDevice::ReadOther));

    const bool unprivileged = fault == QLatin1String("read-only folder");
    if (unprivileged)
        QVERIFY(makeReadOnlyFolderOfNobody(folder, target));
    const QStringList extra = fault == QLatin1String("file size limit") ? QStringList{QStringLiteral("65536")} : QStringList();
    const QStringList command = saveChildCommand(target, contentFile, extra, unprivileged && runningAsRoot());
    QProcess child;
    child.start(command.first(), command.mid(1));
    QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
    if (fault == QLatin1String("kill")) {
        QVERIFY(waitForFileOpenIn(child.processId(), folder, 20000));
        QCOMPARE(child.state(), QProcess::Running);
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    } else {
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()), expectedReply);
    }

    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(readAll(target), original);
    QCOMPARE(entriesOf(folder), QStringList{"shelf.cwrt"});
}

void FileTransferTest::writeBase64File_intoFolderOrDevice_isRefused()
{
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    DesktopBridge bridge(nullptr, nullptr);
    QCOMPARE(bridge.writeBase64File(dir.filePath(QStringLiteral("folder")), QStringLiteral("YWJj")), cannotWrite);
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("folder"))).isDir());
    QCOMPARE(bridge.writeBase64File(QStringLiteral("/dev/null"), QStringLiteral("YWJj")), cannotWrite);
    QVERIFY(!QFileInfo(QStringLiteral("/dev/null")).isFile());
}

void FileTransferTest::writeBase64File_keepsTheFilePermissions()
{
    const QString path = dir.filePath(QStringLiteral("shared.cwrt"));
    QVERIFY(writeFile(path, "old"));
    const QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                                 | QFileDevice::WriteGroup | QFileDevice::ReadOther;
    QVERIFY(QFile::setPermissions(path, permissions));
    DesktopBridge bridge(nullptr, nullptr);
    QCOMPARE(bridge.writeBase64File(path, QStringLiteral("YWJj")), QString());
    QCOMPARE(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser), permissions);
}

void FileTransferTest::ensureSuffix_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("expected");
    QTest::addRow("appended") << "label" << ".cwrt" << "label.cwrt";
    QTest::addRow("upper case kept") << "label.CWRT" << ".cwrt" << "label.CWRT";
    QTest::addRow("pdf upper case kept") << "print.PDF" << ".pdf" << "print.PDF";
    QTest::addRow("other extension kept") << "plan.json" << ".cwrt" << "plan.json.cwrt";
    QTest::addRow("only the end counts") << "label.cwrt.bak" << ".cwrt" << "label.cwrt.bak.cwrt";
    QTest::addRow("empty suffix") << "label" << "" << "label";
}

void FileTransferTest::ensureSuffix()
{
    QFETCH(QString, path);
    QFETCH(QString, suffix);
    QFETCH(QString, expected);
    DesktopBridge bridge(nullptr, nullptr);
    QCOMPARE(bridge.ensureSuffix(path, suffix), expected);
}

void FileTransferTest::rememberedFolder_defaultsToFrontendDir()
{
    DesktopBridge bridge(nullptr, nullptr);
    QCOMPARE(bridge.rememberedFolder(QStringLiteral("paths/projectDir")), QString());
    bridge.setFrontendDir(QStringLiteral("/opt/quillmark/frontend"));
    QCOMPARE(bridge.rememberedFolder(QStringLiteral("paths/projectDir")), QStringLiteral("/opt/quillmark/frontend"));
    QCOMPARE(bridge.rememberedFolder(QStringLiteral("paths/sheetDir")), QStringLiteral("/opt/quillmark/frontend"));
}

void FileTransferTest::rememberFolderOf_storesTheAbsoluteFolder_data()
{
    QTest::addColumn<QString>("filePath");
    QTest::addColumn<QString>("expected");
    QTest::addRow("absolute path") << "/a/b/c.pdf" << "/a/b";
    QTest::addRow("relative path") << "x/y.cwrt" << QDir::current().absoluteFilePath(QStringLiteral("x"));
    QTest::addRow("dot-dot cleaned") << "/a/b/../c/d.cwrt" << "/a/c";
    QTest::addRow("root folder") << "/shelf.cwrt" << "/";
}

void FileTransferTest::rememberFolderOf_storesTheAbsoluteFolder()
{
    QFETCH(QString, filePath);
    QFETCH(QString, expected);
    DesktopBridge bridge(nullptr, nullptr);
    bridge.rememberFolderOf(QStringLiteral("paths/projectDir"), filePath);
    QCOMPARE(bridge.rememberedFolder(QStringLiteral("paths/projectDir")), expected);
    QCOMPARE(bridge.rememberedFolder(QStringLiteral("paths/sheetDir")), QString());
}

void FileTransferTest::rememberedFolders_landInTheSettingsFile()
{
    {
        DesktopBridge bridge(nullptr, nullptr);
        bridge.rememberFolderOf(QStringLiteral("paths/projectDir"), QStringLiteral("/data/labels/shelf.cwrt"));
        bridge.rememberFolderOf(QStringLiteral("paths/sheetDir"), QStringLiteral("/data/sheets/stock.xlsx"));
    }
    const QString text = QString::fromUtf8(readAll(userState->settingsFilePath()));
    QVERIFY2(text.contains(QStringLiteral("[paths]\nprojectDir=/data/labels\nsheetDir=/data/sheets\n")), qPrintable(text));
}

QUILLMARK_TEST_MAIN(FileTransferTest)
#include "tst_filetransfer.moc"
