// A private print server for scripts, and a reader of what its label drivers print: see usage below.
#include "LabelDecoder.h"
#include "PrintServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTextStream>

#include <signal.h>

namespace {

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

// Adds NAME[=KIND] to the server unless an earlier step failed (*ready false); false for an
// unknown kind.
bool addQueue(PrintServer &server, const QString &argument, bool *ready)
{
    using Driver = PrintServer::Driver;
    static const QHash<QString, Driver> drivers{{"label", Driver::AnyPageSize}, {"sheet", Driver::A4Only},
                                                {"zpl", Driver::Zpl},           {"zpl300", Driver::Zpl},
                                                {"epl2", Driver::Epl2},         {"none", Driver::None}};
    const QString name = argument.section('=', 0, 0);
    const QString kind = argument.contains('=') ? argument.section('=', 1) : QStringLiteral("label");
    if (name.isEmpty() || !drivers.contains(kind))
        return false;
    *ready = *ready && server.addQueue(name, drivers.value(kind))
        && (kind != "zpl300" || server.configureQueue(name, {"-o", "Resolution=300dpi"}));
    return true;
}

QByteArray readOutput(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        err() << "cannot read " << path << '\n';
    return file.readAll();
}

int decode(const QString &outputPath, const QString &imagePath)
{
    const DecodedLabels labels = decodeLabels(readOutput(outputPath));
    if (!labels.error.isEmpty()) {
        err() << labels.error << '\n';
        return 1;
    }
    const QFileInfo image(imagePath);
    QTextStream out(stdout);
    for (int i = 0; i < labels.pages.size(); ++i) {
        const QString path = i == 0 ? imagePath
                                    : QStringLiteral("%1/%2-%3.%4").arg(image.path(), image.completeBaseName(), QString::number(i + 1), image.suffix());
        if (!labels.pages[i].save(path, "PNG")) {
            err() << "cannot write " << path << '\n';
            return 1;
        }
        out << path << ' ' << labels.pages[i].width() << ' ' << labels.pages[i].height() << '\n';
    }
    return 0;
}

int serve(const QStringList &arguments)
{
    // Blocked so that this process can wait for them; cupsd starts with its own signals unblocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    PrintServer server(arguments.first());
    bool ready = server.start();
    for (const QString &queue : arguments.mid(1)) {
        if (!addQueue(server, queue, &ready)) {
            err() << "unknown queue kind: " << queue << '\n';
            return 2;
        }
    }
    if (!ready) {
        err() << server.errorString() << '\n';
        return 1;
    }
    QTextStream(stdout) << server.socketPath() << Qt::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    server.stop();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() == 3 && arguments.first() == QLatin1String("decode"))
        return decode(arguments[1], arguments[2]);
    if (arguments.size() == 2 && arguments.first() == QLatin1String("commands")) {
        const DecodedLabels labels = decodeLabels(readOutput(arguments[1]));
        QTextStream(stdout) << labels.commands;
        return labels.error.isEmpty() ? 0 : 1;
    }
    if (arguments.isEmpty() || arguments.first().startsWith(QLatin1Char('-'))) {
        err() << R"(usage: print-server FOLDER [QUEUE[=KIND]...]
  Starts a print server in FOLDER, prints its socket (for CUPS_SERVER) and runs until SIGTERM or SIGINT.
  KIND: label (default, any size), sheet (A4 only), zpl, zpl300 (CUPS' ZPL driver at 203/300 dpi), epl2 or
  none (raw). NAME's driver output goes to FOLDER/output/NAME; each job's document stays in FOLDER/spool.
print-server decode OUTPUT IMAGE.png
  Reads ZPL, EPL2 or TSPL back into 1-bit dots (black burns), label 1 to IMAGE.png, 2 to IMAGE-2.png...
print-server commands OUTPUT
  Prints the printer-language commands one a line, graphic data left out.
)";
        return 2;
    }
    return serve(arguments);
}
