#include "DesktopBridge.h"
#include "FileLinks.h"
#include "FileRoutines.h"
#include "RepeatedKeys.h"

#include <QJsonDocument>
#include <QWidget>

QJsonObject parsePayloadObject(const QString &text)
{
    const QByteArray json = text.toUtf8();
    if (repeatsAKey(json))
        return QJsonObject();
    const QJsonDocument document = QJsonDocument::fromJson(json);
    return document.isObject() ? document.object() : QJsonObject();
}

QString makeOkReply(const QJsonObject &object)
{
    QJsonObject reply = object;
    reply.insert(QStringLiteral("ok"), true);
    return QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact));
}

QString makeErrorReply(const QString &message, const QJsonObject &details)
{
    QJsonObject reply = details;
    reply.insert(QStringLiteral("ok"), false);
    reply.insert(QStringLiteral("error"), message);
    return QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact));
}

DesktopBridge::DesktopBridge(QWidget *window, QObject *parent)
    : QObject(parent)
    , window(window)
    , settings(QStringLiteral("Quillmark"), QStringLiteral("Quillmark"))
    , links(new FileLinks(this))
{
}

FileLinks *DesktopBridge::fileLinks() const
{
    return links;
}

DesktopBridge::~DesktopBridge() = default;

void DesktopBridge::setFrontendDir(const QString &dir)
{
    frontendDir = dir;
}

QString DesktopBridge::windowMinimize()
{
    if (window)
        window->showMinimized();
    return makeOkReply({});
}

QString DesktopBridge::windowMaximize()
{
    if (window) {
        if (window->isMaximized())
            window->showNormal();
        else
            window->showMaximized();
    }
    return makeOkReply({});
}

QString DesktopBridge::windowClose()
{
    if (window)
        window->close();
    return makeOkReply({});
}

void DesktopBridge::addLaunchFile(const QString &path)
{
    launchFiles.append(path);
    emit launchFileWaiting();
}

QString DesktopBridge::takeLaunchFile()
{
    return makeOkReply({{QStringLiteral("path"), launchFiles.isEmpty() ? QString() : launchFiles.takeFirst()}});
}
