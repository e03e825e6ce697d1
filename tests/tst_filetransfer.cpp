#include "FileRoutines.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QProcess>

#include <csignal>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString cannotWrite = QStringLiteral("无法写入目标文件");
const QString invalidEncoding = QStringLiteral("文件内容编码无效");
const QString cannotRead = QStringLiteral("{\"error\":\"无法读取文件\",\"ok\":false,\"path\":\"%1\"}");
const QFileDevice::Permissions sharedFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                            | QFileDevice::WriteGroup | QFileDevice::ReadOther;

bool makeFifo(const QString &path)
{
    return mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
}

bool runningAsRoot()
{
    return geteuid() == 0;
}

// The folder and the file in it belong to "nobody", who may read the folder but not write it.
bool makeReadOnlyFolderOfNobody(const QString &folder, const QString &file, QFileDevice::Permissions filePermissions)
{
    const passwd *nobody = getpwnam("nobody");
    for (const QString &path : {folder, file})
        if (runningAsRoot() && (!nobody || chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid) != 0))
            return false;
    return QFile::setPermissions(file, filePermissions)
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
        for (const QString &fd : entriesOf(fds)) {
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
    void fileReply_data();
    void fileReply();
    void fileReply_atTransferLimit_isDeliveredAndOneByteMoreIsRefused();
    void fileReply_readsOneBytePastTheLimitWhateverTheSizeReported();
    void writeBase64File_data();
    void writeBase64File();
    void saveInAnotherProcess_data();
    void saveInAnotherProcess();

private:
    std::unique_ptr<QTemporaryDir> dir;
};

// Every test starts in a fresh folder holding one of each kind of thing a path can name.
void FileTransferTest::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    QVERIFY(QDir::setCurrent(dir->path()));
    QVERIFY(writeFile(QStringLiteral("shelf.cwrt"), QByteArray(1000, 'x')));
    QVERIFY(QFile::setPermissions(QStringLiteral("shelf.cwrt"), sharedFile));
    QVERIFY(writeFile(QStringLiteral("readonly.cwrt"), "kept"));
    QVERIFY(QFile::setPermissions(QStringLiteral("readonly.cwrt"), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    QVERIFY(writeFile(QStringLiteral("empty.cwrt"), QByteArray()));
    QVERIFY(QDir().mkpath(QStringLiteral("docs")));
    QVERIFY(writeFile(QStringLiteral("docs/x.cwrt"), "xyz"));
    // A pipe never ends and no one writes it: a read or write that got through would hang or replace it.
    QVERIFY(makeFifo(QStringLiteral("pipe")));
}

void FileTransferTest::fileReply_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expectedReply");
    const QString read = QStringLiteral("{\"dataBase64\":\"eHl6\",\"name\":\"x.cwrt\",\"ok\":true,\"path\":\"%1\"}");
    QTest::addRow("absolute path") << "<dir>/docs/x.cwrt" << read;
    QTest::addRow("relative path keeps its form") << "docs/x.cwrt" << read;
    for (const char *unreadable : {"empty.cwrt", "missing.cwrt", "docs", "pipe"})
        QTest::addRow("%s", unreadable) << unreadable << cannotRead;
    // Cut at the NUL, the name would read docs/x.cwrt.
    QTest::addRow("name with a NUL character") << QString("docs/x.cwrt" + QString(QChar(QChar::Null)) + ".hidden")
                                               << QString(cannotRead).replace(QStringLiteral("%1"), QStringLiteral("docs/x.cwrt\\u0000.hidden"));
}

void FileTransferTest::fileReply()
{
    QFETCH(QString, path);
    QFETCH(QString, expectedReply);
    path.replace(QStringLiteral("<dir>"), dir->path());
    QCOMPARE(::fileReply(path), expectedReply.contains(QStringLiteral("%1")) ? expectedReply.arg(path) : expectedReply);
}

void FileTransferTest::fileReply_atTransferLimit_isDeliveredAndOneByteMoreIsRefused()
{
    QFile file(QStringLiteral("large.cwrt"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(maxTransferBytes));
    const QString reply = ::fileReply(file.fileName());
    QVERIFY(reply.size() <= channelMessageCeilingChars - replyReserveChars + 100);
    QVERIFY(reply.contains(QStringLiteral("\"ok\":true")));
    QVERIFY(file.resize(maxTransferBytes + 1));
    QCOMPARE(::fileReply(file.fileName()), cannotRead.arg(file.fileName()));
}

// This process's own map of its address space is a regular file that reports size 0 and holds
// gigabytes: the read stops one byte past the limit.
void FileTransferTest::fileReply_readsOneBytePastTheLimitWhateverTheSizeReported()
{
    const QString map = QStringLiteral("/proc/self/pagemap");
    QVERIFY(QFileInfo(map).isFile() && QFileInfo(map).size() == 0);
    const auto bytesRead = [] {
        const QByteArray line = readAll(QStringLiteral("/proc/self/io")).split('\n').value(0);
        return line.startsWith("rchar:") ? line.mid(6).trimmed().toLongLong() : -1;
    };
    const qint64 before = bytesRead();
    QCOMPARE(::fileReply(map), cannotRead.arg(map));
    const qint64 read = bytesRead() - before;
    // The kernel reads this file in whole entries of 8 bytes, so the last read may stop short.
    QVERIFY2(before >= 0 && qAbs(read - maxTransferBytes) < 64 * 1024, qPrintable(QString::number(read)));
}

// Written over a longer file of its own permissions: the file ends up with exactly the decoded
// bytes and keeps its permissions; on any failure it stays byte for byte, and nothing else
// is ever left in the folder.
void FileTransferTest::writeBase64File_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expectedError");
    QTest::addColumn<QByteArray>("expectedBytes");
    const QString shelf = QStringLiteral("shelf.cwrt");
    QTest::addRow("plain") << shelf << "YWJj" << "" << QByteArray("abc");
    QTest::addRow("empty text") << shelf << "" << invalidEncoding << QByteArray(1000, 'x');
    QTest::addRow("new file") << "new.cwrt" << "YWJj" << "" << QByteArray("abc");
    QTest::addRow("pad characters only") << shelf << "====" << invalidEncoding << QByteArray(1000, 'x');
    QTest::addRow("read-only file") << "readonly.cwrt" << "YWJj" << cannotWrite << QByteArray("kept");
    QTest::addRow("missing folder") << "missing/a.cwrt" << "YWJj" << cannotWrite << QByteArray("<unreadable>");
    QTest::addRow("folder") << "docs" << "YWJj" << cannotWrite << QByteArray("<unreadable>");
    QTest::addRow("pipe") << "pipe" << "YWJj" << cannotWrite << QByteArray("<unreadable>");
    // Cut at the NUL, the name would be shelf.cwrt.
    QTest::addRow("name with a NUL character") << QString("shelf.cwrt" + QString(QChar(QChar::Null)) + ".new") << "YWJj" << cannotWrite
                                               << QByteArray(1000, 'x');
}

void FileTransferTest::writeBase64File()
{
    QFETCH(QString, target);
    QFETCH(QString, text);
    QFETCH(QString, expectedError);
    QFETCH(QByteArray, expectedBytes);
    const QStringList entriesBefore = entriesOf(dir->path());
    const QFileDevice::Permissions permissionsBefore = QFile::permissions(target);

    QCOMPARE(::writeBase64File(target, text), expectedError);
    if (target != QLatin1String("pipe"))
        QCOMPARE(readAll(target), expectedBytes);
    QCOMPARE(entriesOf(dir->path()).size(), entriesBefore.size() + (target == QLatin1String("new.cwrt") ? 1 : 0));
    if (permissionsBefore)
        QCOMPARE(QFile::permissions(target), permissionsBefore);
    QVERIFY(QFileInfo(QStringLiteral("docs")).isDir());
    QVERIFY(!QFileInfo(QStringLiteral("pipe")).isFile());
}

// Faults a test cannot inject into itself: a disk that fills up, a folder the user may not write,
// a save killed half-way. A save either completes or leaves the project that was there exactly as
// it was, with nothing else left in its folder; a killed save leaves no temporary file either
// (the content is written to an unnamed file that only gets its name once it is complete).
void FileTransferTest::saveInAnotherProcess_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("expectedReply");
    QTest::addColumn<bool>("saved");
    QTest::addRow("write fails half-way") << "file size limit" << "shelf.cwrt" << errorReply(QStringLiteral("写入文件失败")) << false;
    QTest::addRow("killed during a large save") << "kill" << "shelf.cwrt" << QString() << false;
    // No temporary file can be made there, so a file the user may write is written in place.
    QTest::addRow("read-only folder, writable file") << "read-only folder" << "shelf.cwrt"
                                                     << "{\"name\":\"shelf.cwrt\",\"ok\":true,\"path\":\"%1\"}" << true;
    // The file could be written in place: the content is what is wrong.
    QTest::addRow("read-only folder, content that does not decode") << "read-only folder, bad content" << "shelf.cwrt"
                                                                    << errorReply(invalidEncoding) << false;
    QTest::addRow("read-only folder, read-only file") << "read-only folder and file" << "shelf.cwrt" << errorReply(cannotWrite) << false;
    QTest::addRow("read-only folder, new file") << "read-only folder" << "new.cwrt" << errorReply(cannotWrite) << false;
    QTest::addRow("read-only folder, writable file, disk full") << "read-only folder, file size limit" << "shelf.cwrt"
                                                               << errorReply(QStringLiteral("写入文件失败")) << false;
}

void FileTransferTest::saveInAnotherProcess()
{
    QFETCH(QString, fault);
    QFETCH(QString, target);
    QFETCH(QString, expectedReply);
    QFETCH(bool, saved);
    const QString folder = dir->filePath(QStringLiteral("labels"));
    const QString targetPath = folder + QLatin1Char('/') + target;
    const QString contentFile = dir->filePath(QStringLiteral("content.b64"));
    QVERIFY(QDir().mkpath(folder));
    const QByteArray original(4096, 'o');
    QVERIFY(writeFile(folder + QStringLiteral("/shelf.cwrt"), original));
    const QByteArray content(fault == QLatin1String("kill") ? 32 * 1024 * 1024 : 1024 * 1024, 'n');
    QVERIFY(writeFile(contentFile, fault.endsWith(QLatin1String("bad content")) ? QByteArray("====") : content.toBase64()));
    // The unprivileged child must reach the folder through the temporary one.
    QVERIFY(QFile::setPermissions(dir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                   | QFileDevice::ExeOther));
    QVERIFY(QFile::setPermissions(contentFile, QFileDevice::ReadOwner | QFileDevice::ReadOther));

    const bool readOnlyFolder = fault.startsWith(QLatin1String("read-only folder"));
    if (readOnlyFolder)
        QVERIFY(makeReadOnlyFolderOfNobody(folder, folder + QStringLiteral("/shelf.cwrt"),
                                           fault.endsWith(QLatin1String("file")) ? QFileDevice::ReadOwner | QFileDevice::ReadOther
                                                                                 : QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QStringList arguments{targetPath, contentFile};
    if (fault.endsWith(QLatin1String("file size limit")))
        arguments << QStringLiteral("65536");
    // Folder permissions do not bind root: then the save runs as the unprivileged user "nobody".
    QStringList command = QStringList{QString::fromUtf8(SAVE_CHILD)} + arguments;
    if (readOnlyFolder && runningAsRoot())
        command = QStringList{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"} + command;
    QProcess child;
    child.start(command.first(), command.mid(1));
    QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
    if (fault == QLatin1String("kill")) {
        // A loaded machine may take half a minute to decode the payload before the save opens its file.
        QVERIFY(waitForFileOpenIn(child.processId(), folder, 90000));
        QCOMPARE(child.state(), QProcess::Running);
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    } else {
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()), expectedReply.arg(targetPath));
    }

    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::setPermissions(folder + QStringLiteral("/shelf.cwrt"), QFileDevice::ReadOwner);
    QCOMPARE(readAll(folder + QStringLiteral("/shelf.cwrt")), saved ? content : original);
    QCOMPARE(entriesOf(folder), QStringList{"shelf.cwrt"});
}

QUILLMARK_TEST_MAIN(FileTransferTest)
#include "tst_filetransfer.moc"
