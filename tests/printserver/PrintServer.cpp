#include "PrintServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QThread>
#include <QUrl>

#include <cups/cups.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

static void initPrintServerResources()
{
    Q_INIT_RESOURCE(printserver);
}

namespace {

constexpr int startTimeoutMs = 10000;
constexpr int toolTimeoutMs = 20000;

// cupsd dies with the process that started it, so a crashed test leaves no server behind,
// and it starts with no signals blocked whatever its starter blocks for itself.
class ChildProcess final : public QProcess
{
protected:
    void setupChildProcess() override
    {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
    }
};

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool acceptsConnections(const QString &socketPath)
{
    http_t *connection = httpConnect2(QFile::encodeName(socketPath).constData(), 0, nullptr, AF_LOCAL,
                                      HTTP_ENCRYPTION_NEVER, 1, 100, nullptr);
    httpClose(connection);
    return connection != nullptr;
}

// As root, cupsd runs its filters as lp, as in a normal installation; as anyone else it can
// only run them as that user.
QByteArray accountLines()
{
    if (geteuid() == 0)
        return "User lp\nGroup lp\nSystemGroup root\n";
    const passwd *user = getpwuid(geteuid());
    const group *primaryGroup = getgrgid(getegid());
    const QByteArray userName = user ? QByteArray(user->pw_name) : QByteArray::number(geteuid());
    const QByteArray groupName = primaryGroup ? QByteArray(primaryGroup->gr_name) : QByteArray::number(getegid());
    return "User " + userName + "\nGroup " + groupName + "\nSystemGroup " + groupName + "\n";
}

} // namespace

PrintServer::PrintServer(const QString &folder)
{
    initPrintServerResources();
    if (!folder.isEmpty()) {
        root = QDir(folder).absolutePath();
        return;
    }
    // Under /tmp rather than TMPDIR: the lp user must reach the folder, and the socket path
    // must stay within the 107 bytes a Unix socket address holds.
    temporaryRoot = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/quillmark-cups-XXXXXX"));
    if (temporaryRoot->isValid())
        root = temporaryRoot->path();
}

PrintServer::~PrintServer()
{
    stop();
}

QString PrintServer::socketPath() const
{
    return root + QStringLiteral("/cups.sock");
}

QString PrintServer::pageLogPath() const
{
    return root + QStringLiteral("/log/page_log");
}

QString PrintServer::dataFile(const QString &name) const
{
    return root + QStringLiteral("/data/") + name;
}

bool PrintServer::start()
{
    if (cupsd)
        return true;
    if (root.isEmpty()) {
        error = QStringLiteral("no folder for the print server");
        return false;
    }
    if (!writeConfiguration())
        return false;

    cupsd = std::make_unique<ChildProcess>();
    cupsd->setProcessChannelMode(QProcess::MergedChannels);
    cupsd->start(QStringLiteral("cupsd"), {QStringLiteral("-f"), QStringLiteral("-c"), root + QStringLiteral("/cupsd.conf"),
                                            QStringLiteral("-s"), root + QStringLiteral("/cups-files.conf")});
    if (!cupsd->waitForStarted(startTimeoutMs)) {
        error = QStringLiteral("cupsd did not start: ") + cupsd->errorString();
        cupsd.reset();
        return false;
    }
    if (!waitUntilAnswering()) {
        stop();
        return false;
    }

    hadCupsServer = qEnvironmentVariableIsSet("CUPS_SERVER");
    previousCupsServer = qgetenv("CUPS_SERVER");
    qputenv("CUPS_SERVER", QFile::encodeName(socketPath()));
    // libcups reads CUPS_SERVER once and keeps it; tell it about the new server directly.
    cupsSetServer(QFile::encodeName(socketPath()).constData());
    return true;
}

bool PrintServer::writeConfiguration()
{
    // Everyone may pass through; the filters run as lp when the server runs as root, and
    // Ghostscript among them needs to write its temporary files, so that folder is sticky, like /tmp.
    for (const char *sub : {"", "/spool", "/cache", "/state", "/ssl", "/log", "/data", "/output", "/tmp"}) {
        const QString path = root + QLatin1String(sub);
        if (!QDir().mkpath(path) || chmod(QFile::encodeName(path).constData(), qstrcmp(sub, "/tmp") == 0 ? 01777 : 0755) != 0) {
            error = QStringLiteral("cannot prepare ") + path;
            return false;
        }
    }
    const QByteArray dir = QFile::encodeName(root);
    const QByteArray files = "ServerRoot " + dir + "\nRequestRoot " + dir + "/spool\nTempDir " + dir
        + "/tmp\nCacheDir " + dir + "/cache\nStateDir " + dir + "/state\nServerKeychain " + dir
        + "/ssl\nAccessLog " + dir + "/log/access_log\nErrorLog " + dir + "/log/error_log\nPageLog " + dir
        + "/log/page_log\nPrintcap " + dir + "/printcap\nFileDevice Yes\n" + accountLines();
    const QByteArray server = "Listen " + QFile::encodeName(socketPath())
        + "\nBrowsing No\nWebInterface No\nDefaultAuthType None\nPreserveJobHistory Yes\n"
          "PreserveJobFiles Yes\nLogLevel warn\n"
          "<Policy default>\n  JobPrivateAccess all\n  JobPrivateValues none\n"
          "  SubscriptionPrivateAccess all\n  SubscriptionPrivateValues none\n"
          "  <Limit All>\n    Order allow,deny\n    Allow all\n  </Limit>\n</Policy>\n";
    bool written = writeFile(root + QStringLiteral("/cups-files.conf"), files)
        && writeFile(root + QStringLiteral("/cupsd.conf"), server);
    for (const char *name : {"label-printer.ppd", "sheet-printer.ppd", "job-ids.test", "job-attributes.test"}) {
        QFile resource(QStringLiteral(":/printserver/") + QLatin1String(name));
        written = written && resource.open(QIODevice::ReadOnly) && writeFile(dataFile(QLatin1String(name)), resource.readAll());
    }
    if (!written)
        error = QStringLiteral("cannot write the print server's configuration in ") + root;
    return written;
}

bool PrintServer::waitUntilAnswering()
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < startTimeoutMs) {
        if (acceptsConnections(socketPath()))
            return true;
        if (cupsd->waitForFinished(10)) {
            QFile log(root + QStringLiteral("/log/error_log"));
            log.open(QIODevice::ReadOnly);
            error = QStringLiteral("cupsd exited: ") + QString::fromLocal8Bit(cupsd->readAll() + log.readAll());
            return false;
        }
    }
    error = QStringLiteral("cupsd did not answer on ") + socketPath();
    return false;
}

void PrintServer::stop()
{
    if (!cupsd)
        return;
    cupsd->terminate();
    if (!cupsd->waitForFinished(5000)) {
        cupsd->kill();
        cupsd->waitForFinished(5000);
    }
    cupsd.reset();
    if (hadCupsServer)
        qputenv("CUPS_SERVER", previousCupsServer);
    else
        qunsetenv("CUPS_SERVER");
    cupsSetServer(nullptr);
}

bool PrintServer::runTool(const QString &program, const QStringList &arguments, QByteArray *output)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CUPS_SERVER"), socketPath());
    tool.setProcessEnvironment(environment);
    tool.start(program, arguments);
    const bool finished = tool.waitForFinished(toolTimeoutMs);
    if (output)
        *output = tool.readAllStandardOutput();
    if (finished && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0)
        return true;
    error = program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')) + QStringLiteral(" failed: ")
        + (finished ? QString::fromLocal8Bit(tool.readAllStandardError()) : tool.errorString());
    return false;
}

// CUPS' sample label drivers, compiled from the driver information file that ships with CUPS.
QString PrintServer::driverFile(Driver driver)
{
    switch (driver) {
    case Driver::AnyPageSize:
        return dataFile(QStringLiteral("label-printer.ppd"));
    case Driver::A4Only:
        return dataFile(QStringLiteral("sheet-printer.ppd"));
    case Driver::None:
        return QString();
    case Driver::Zpl:
    case Driver::Epl2:
        break;
    }
    const QString drivers = dataFile(QStringLiteral("drivers"));
    if (!QFile::exists(drivers + QStringLiteral("/zebra.ppd"))
        && !runTool(QStringLiteral("ppdc"), {QStringLiteral("-d"), drivers, QStringLiteral("/usr/share/cups/drv/sample.drv")}))
        return QString();
    return drivers + (driver == Driver::Zpl ? QStringLiteral("/zebra.ppd") : QStringLiteral("/zebraep2.ppd"));
}

QString PrintServer::outputPath(const QString &queue) const
{
    return root + QStringLiteral("/output/") + queue;
}

bool PrintServer::addQueue(const QString &name, Driver driver)
{
    QStringList arguments{QStringLiteral("-E"), QStringLiteral("-v"), QUrl::fromLocalFile(outputPath(name)).toString()};
    if (driver != Driver::None) {
        const QString ppd = driverFile(driver);
        if (ppd.isEmpty())
            return false;
        arguments << QStringLiteral("-P") << ppd;
    }
    return configureQueue(name, arguments);
}

bool PrintServer::configureQueue(const QString &name, const QStringList &lpadminOptions)
{
    return runTool(QStringLiteral("lpadmin"), QStringList{QStringLiteral("-p"), name} + lpadminOptions);
}

bool PrintServer::setDefaultQueue(const QString &name)
{
    return runTool(QStringLiteral("lpadmin"), {QStringLiteral("-d"), name});
}

bool PrintServer::setAcceptingJobs(const QString &name, bool accepting)
{
    return runTool(accepting ? QStringLiteral("cupsaccept") : QStringLiteral("cupsreject"), {name});
}

bool PrintServer::setPrinting(const QString &name, bool printing)
{
    return runTool(printing ? QStringLiteral("cupsenable") : QStringLiteral("cupsdisable"), {name});
}

QString PrintServer::ippUri(const QString &path) const
{
    return QStringLiteral("ipp://") + QString::fromLatin1(QUrl::toPercentEncoding(socketPath())) + path;
}

QList<int> PrintServer::jobIds(const QString &queue)
{
    QByteArray output;
    runTool(QStringLiteral("ipptool"), {QStringLiteral("-c"), ippUri(queue.isEmpty() ? QStringLiteral("/") : QStringLiteral("/printers/") + queue),
                                        dataFile(QStringLiteral("job-ids.test"))},
            &output);
    QList<int> ids;
    for (const QByteArray &line : output.split('\n')) {
        bool isNumber = false;
        const int id = line.trimmed().toInt(&isNumber);
        if (isNumber)
            ids.append(id);
    }
    return ids;
}

QJsonObject PrintServer::jobAttributes(int jobId)
{
    QByteArray output;
    runTool(QStringLiteral("ipptool"), {QStringLiteral("-j"), ippUri(QStringLiteral("/jobs/") + QString::number(jobId)),
                                        dataFile(QStringLiteral("job-attributes.test"))},
            &output);
    for (const QJsonValue &group : QJsonDocument::fromJson(output).array()) {
        if (group.toObject().value(QStringLiteral("group-tag")).toString() == QLatin1String("job-attributes-tag"))
            return group.toObject();
    }
    return QJsonObject();
}

bool PrintServer::waitUntilCompleted(int jobId, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    do {
        const int state = jobAttributes(jobId).value(QStringLiteral("job-state")).toInt();
        if (state >= IPP_JSTATE_CANCELED)
            return state == IPP_JSTATE_COMPLETED;
        QThread::msleep(50);
    } while (clock.elapsed() < timeoutMs);
    error = QStringLiteral("job %1 did not finish").arg(jobId);
    return false;
}

QString PrintServer::keptDocumentPath(int jobId) const
{
    return root + QStringLiteral("/spool/d%1-001").arg(jobId, 5, 10, QLatin1Char('0'));
}
