// print-server FOLDER [QUEUE...]
// Starts a private print server in FOLDER with label-printer queues, prints its socket path
// (the value for CUPS_SERVER) on one line, and runs until it receives SIGTERM or SIGINT.
#include "PrintServer.h"

#include <QCoreApplication>
#include <QTextStream>

#include <signal.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    QTextStream err(stderr);
    if (arguments.isEmpty() || arguments.first().startsWith(QLatin1Char('-'))) {
        err << "usage: print-server FOLDER [QUEUE...]\n";
        return 2;
    }

    // Blocked so that this process can wait for them; cupsd starts with its own signals unblocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    PrintServer server(arguments.first());
    bool ready = server.start();
    for (const QString &queue : arguments.mid(1))
        ready = ready && server.addQueue(queue);
    if (!ready) {
        err << server.errorString() << '\n';
        return 1;
    }
    QTextStream(stdout) << server.socketPath() << Qt::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    server.stop();
    return 0;
}
