// One designer per user: the first start listens on a local socket in the user's runtime
// folder; a later start hands its project file (or just a request to be shown) to it and ends.
// The socket is the owner's alone, and a connection from another user is closed unread.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;

class SingleInstance final : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    enum class Role { First, HandedOver, Failed };

    // Becomes the designer that later starts talk to, or hands `path` (empty: nothing to open)
    // to the one that runs. Failed: another designer holds the place but does not answer.
    Role claim(const QString &path);

signals:
    // A later start asked to open this project (empty: only to show the window).
    void fileHanded(const QString &path);

private:
    void serve(QLocalSocket *socket);

    QString socketPath;
    std::unique_ptr<QLockFile> lock;
    QLocalServer *server = nullptr;

    Q_DISABLE_COPY(SingleInstance)
};
