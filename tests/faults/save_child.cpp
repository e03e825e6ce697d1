// save-child TARGET CONTENT_FILE [FILE_SIZE_LIMIT]
// Saves the Base64 text in CONTENT_FILE to TARGET through saveProject, as the page would, and
// prints the reply. Run as its own process so that a test can limit, restrict or kill it.
#include "DesktopBridge.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <csignal>
#include <sys/resource.h>

namespace {

// Files this process writes may not grow past the limit, as on a full disk; SIGXFSZ is
// ignored so that the write reports the failure instead of ending the process.
bool limitFileSize(rlim_t bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    QFile content(arguments.value(1));
    if (arguments.size() < 2 || !content.open(QIODevice::ReadOnly))
        return 2;
    const QJsonObject payload{{QStringLiteral("currentPath"), arguments.at(0)},
                              {QStringLiteral("dataBase64"), QString::fromLatin1(content.readAll())}};
    content.close();
    if (arguments.size() > 2 && !limitFileSize(arguments.at(2).toULongLong()))
        return 3;

    DesktopBridge bridge(nullptr, nullptr);
    QTextStream(stdout) << bridge.saveProject(QString::fromUtf8(QJsonDocument(payload).toJson(QJsonDocument::Compact)));
    return 0;
}
