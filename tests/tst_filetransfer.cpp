#include "DesktopBridge.h"
#include "TestSupport.h"

#include <QJsonDocument>
#include <QSettings>

#include <csignal>
#include <sys/resource.h>

namespace {

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

const QString cannotWrite = QStringLiteral("无法写入目标文件");
const QString invalidEncoding = QStringLiteral("文件内容编码无效");
const QString writeFailed = QStringLiteral("写入文件失败");
const QString cannotRead = QStringLiteral("{\"error\":\"无法读取文件\",\"ok\":false}");

// Caps the size of files this process may write, so that a write fails half-way as it
// does on a full disk; SIGXFSZ is ignored so the write reports the failure instead.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limited = previous;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }

private:
    rlimit previous{};
    void (*previousHandler)(int) = nullptr;
};

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
    QTest::addRow("write fails half-way") << "filesize" << writeFailed;
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
    } else if (failure == QLatin1String("filesize")) {
        FileSizeLimit limit(4096);
        error = bridge.writeBase64File(path, newContent);
    } else {
        error = bridge.writeBase64File(path, newContent);
    }
    QCOMPARE(error, expectedError);
    QCOMPARE(readAll(path), original);
    QCOMPARE(entriesOf(dir.path()), QStringList{"shelf.cwrt"});
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
