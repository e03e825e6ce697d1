#include "CommandLine.h"
#include "SingleInstance.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <QStandardPaths>

#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

// The command line as the program reads it, and the socket through which a later start hands
// its project to the running designer.
class CommandLineTest : public QObject
{
    Q_OBJECT

public:
    IsolatedUserState *userState = nullptr;

private slots:
    void readCommandLine_data();
    void readCommandLine();
    void runningDesigner_takesRequestsOfItsOwnUserOnly_data();
    void runningDesigner_takesRequestsOfItsOwnUserOnly();
};

void CommandLineTest::readCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("project");
    QTest::addColumn<QString>("printer");
    QTest::addColumn<QList<int>>("recordsAndCopies");

    using Mode = Launch::Mode;
    const QString here = QDir::currentPath();
    const QList<int> whole{0, 0, 1};
    QTest::addRow("no arguments: the designer as always") << QStringList() << int(Mode::Designer) << "" << "" << whole;
    QTest::addRow("a project, made absolute") << QStringList{"shelf.cwrt"} << int(Mode::Designer) << here + "/shelf.cwrt" << "" << whole;
    QTest::addRow("print with records and copies")
        << QStringList{"--print", "/p/a.cwrt", "--printer", "zebra", "--records", "3-10", "--copies", "2"}
        << int(Mode::Print) << "/p/a.cwrt" << "zebra" << QList<int>{3, 10, 2};
    QTest::addRow("one record") << QStringList{"--print", "/p/a.cwrt", "--pdf", "/p/a.pdf", "--records", "7"}
                                << int(Mode::Print) << "/p/a.cwrt" << "" << QList<int>{7, 7, 1};
    QTest::addRow("first record is 1") << QStringList{"--print", "/p/a.cwrt", "--printer", "z", "--records", "1-1"}
                                       << int(Mode::Print) << "/p/a.cwrt" << "z" << QList<int>{1, 1, 1};
    // No target, both a printer and a PDF, record 0: cli.test.mjs.
    const int usage = int(Mode::UsageError);
    QTest::addRow("records backwards") << QStringList{"--print", "a.cwrt", "--printer", "z", "--records", "5-3"} << usage << "" << "" << whole;
    QTest::addRow("copies of a PDF") << QStringList{"--print", "a.cwrt", "--pdf", "a.pdf", "--copies", "2"} << usage << "" << "" << whole;
    QTest::addRow("copies out of range") << QStringList{"--print", "a.cwrt", "--printer", "z", "--copies", "1000"} << usage << "" << "" << whole;
    QTest::addRow("printing options without --print") << QStringList{"a.cwrt", "--printer", "z"} << usage << "" << "" << whole;
    QTest::addRow("two projects") << QStringList{"a.cwrt", "b.cwrt"} << usage << "" << "" << whole;
    QTest::addRow("unknown option") << QStringList{"--colour"} << usage << "" << "" << whole;
}

void CommandLineTest::readCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, mode);
    QFETCH(QString, project);
    QFETCH(QString, printer);
    QFETCH(QList<int>, recordsAndCopies);
    const Launch launch = ::readCommandLine(QStringList{QStringLiteral("quillmark")} + arguments);
    QCOMPARE(int(launch.mode), mode);
    if (launch.mode == Launch::Mode::UsageError) {
        QVERIFY(launch.text.contains(QLatin1String("Usage:")));
        return;
    }
    QCOMPARE(launch.mode == Launch::Mode::Print ? launch.print.project : launch.project, project);
    QCOMPARE(launch.print.printer, printer);
    QCOMPARE((QList<int>{launch.print.firstRecord, launch.print.lastRecord, launch.print.copies}), recordsAndCopies);
}

void CommandLineTest::runningDesigner_takesRequestsOfItsOwnUserOnly_data()
{
    QTest::addColumn<uid_t>("clientUser");
    QTest::addColumn<bool>("taken");
    QTest::addRow("its own user") << geteuid() << true;
    // Needs root to become another user; CI runs as root.
    if (geteuid() == 0)
        QTest::addRow("another user, though the socket were open to all") << uid_t(65534) << false;
}

void CommandLineTest::runningDesigner_takesRequestsOfItsOwnUserOnly()
{
    QFETCH(uid_t, clientUser);
    QFETCH(bool, taken);
    SingleInstance designer;
    QCOMPARE(designer.claim(QString()), SingleInstance::Role::First);
    QSignalSpy handed(&designer, &SingleInstance::fileHanded);
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QByteArray socketPath = QFile::encodeName(runtime + QStringLiteral("/quillmark.socket"));
    // As if a mistake had opened the folder and the socket to everybody: the peer check remains.
    for (const QString &folder : {userState->path(), runtime})
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0711) == 0);
    QVERIFY(::chmod(socketPath.constData(), 0777) == 0);
    const QByteArray request = "{\"open\":\"/projects/shelf.cwrt\"}\n";

    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // Plain system calls only: this is a copy of a Qt process. Exits 0 when answered "ok",
        // 1 when refused (closed before or after the request), 2 or 3 when it never got there.
        if (clientUser != geteuid() && setuid(clientUser) != 0)
            _exit(2);
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
        if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            _exit(3);
        if (send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) != request.size())
            _exit(1);
        pollfd readable = {fd, POLLIN, 0};
        char answer[3] = {};
        if (poll(&readable, 1, 5000) != 1 || read(fd, answer, 3) != 3)
            _exit(1);
        _exit(std::memcmp(answer, "ok\n", 3) == 0 ? 0 : 1);
    }
    int status = -1;
    bool ended = false;
    QTRY_VERIFY_WITH_TIMEOUT(ended || (ended = waitpid(child, &status, WNOHANG) == child), 10000);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), taken ? 0 : 1);
    QTest::qWait(taken ? 0 : 200);
    QCOMPARE(handed.count(), taken ? 1 : 0);
    if (taken)
        QCOMPARE(handed.first().first().toString(), QStringLiteral("/projects/shelf.cwrt"));
    for (const QString &folder : {userState->path(), runtime})
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0700) == 0);
}

QUILLMARK_TEST_MAIN(CommandLineTest)
#include "tst_commandline.moc"
