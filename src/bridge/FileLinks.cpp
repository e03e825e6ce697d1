#include "FileLinks.h"

#include <QDir>
#include <QMutexLocker>

namespace {

QString keyOf(const QUrl &url)
{
    return url.isLocalFile() ? QDir::cleanPath(url.toLocalFile()) : QString();
}

} // namespace

FileLinks::FileLinks(QObject *parent)
    : QObject(parent)
{
}

QUrl FileLinks::grant(const QString &absolutePath)
{
    const QUrl url = QUrl::fromLocalFile(QDir::cleanPath(absolutePath));
    QMutexLocker lock(&mutex);
    for (auto it = granted.begin(); it != granted.end();)
        it = it->elapsed() > linkLifetimeMs ? granted.erase(it) : std::next(it);
    granted[keyOf(url)].start();
    return url;
}

bool FileLinks::take(const QUrl &url)
{
    const QString key = keyOf(url);
    QMutexLocker lock(&mutex);
    const auto found = granted.constFind(key);
    if (key.isEmpty() || found == granted.constEnd())
        return false;
    const bool fresh = found->elapsed() <= linkLifetimeMs;
    granted.erase(found);
    return fresh;
}
