// Files the page may read once, by their file: address, after the host has checked them and
// named them to it. The web channel moves a file at more than a hundred milliseconds a megabyte,
// holding the window meanwhile; the engine's own XMLHttpRequest reads it in a few milliseconds.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QUrl>

class FileLinks final : public QObject
{
    Q_OBJECT

public:
    explicit FileLinks(QObject *parent = nullptr);

    // The file's address, which one request may load within linkLifetimeMs from now.
    QUrl grant(const QString &absolutePath);
    // True once for an address granted within its lifetime: the request that asks for it.
    bool take(const QUrl &url);

    static constexpr qint64 linkLifetimeMs = 60000;

private:
    // The request guard asks from the engine's thread as the bridge grants from the page's calls.
    QMutex mutex;
    QHash<QString, QElapsedTimer> granted;
};
