#include "SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

// A request is one line of JSON: {"open": PATH}. Anything longer is no request of ours.
constexpr qint64 maxRequestBytes = 64 * 1024;
constexpr int answerWaitMs = 10000;

bool fromThisUser(const QLocalSocket *socket)
{
    struct ucred peer = {};
    socklen_t size = sizeof peer;
    if (getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer)
        return false;
    return peer.uid == geteuid();
}

// Sends the request and waits for the running designer's "ok"; false when it never answers.
bool handTo(const QString &socketPath, const QString &path)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(1000))
        return false;
    const QJsonObject request{{QStringLiteral("open"), path}};
    socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    if (!socket.waitForBytesWritten(answerWaitMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(answerWaitMs))
            return false;
    }
    return socket.readLine().trimmed() == "ok";
}

} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{
    // Qt makes the runtime folder the user's own (mode 0700) when it has to create it.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    socketPath = QDir(runtime).filePath(QStringLiteral("quillmark.socket"));
    lock = std::make_unique<QLockFile>(QDir(runtime).filePath(QStringLiteral("quillmark.lock")));
    lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance()
{
    if (server)
        server->close();
}

SingleInstance::Role SingleInstance::claim(const QString &path)
{
    // The lock decides who is first, so two starts at the same moment never both listen.
    QElapsedTimer waited;
    waited.start();
    while (!lock->tryLock(0)) {
        if (handTo(socketPath, path))
            return Role::HandedOver;
        // The first designer may still be starting; a dead one's lock is taken over above.
        if (waited.elapsed() > answerWaitMs)
            return Role::Failed;
        QThread::msleep(100);
    }
    QLocalServer::removeServer(socketPath);
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    server->setMaxPendingConnections(8);
    connect(server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = server->nextPendingConnection())
            serve(socket);
    });
    // Without the socket this designer still works; later starts then open their own.
    server->listen(socketPath);
    return Role::First;
}

void SingleInstance::serve(QLocalSocket *socket)
{
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (!fromThisUser(socket)) {
        socket->abort();
        return;
    }
    connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > maxRequestBytes)
                socket->abort();
            return;
        }
        const QJsonDocument request = QJsonDocument::fromJson(socket->readLine(maxRequestBytes));
        const QJsonValue path = request.object().value(QStringLiteral("open"));
        if (!request.isObject() || !path.isString()) {
            socket->abort();
            return;
        }
        socket->write("ok\n");
        socket->disconnectFromServer();
        emit fileHanded(path.toString());
    });
}
