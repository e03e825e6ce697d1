// Test entry point that keeps every test away from the user's own state: settings,
// caches and printers all live in a temporary home that disappears with the test.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// Whole-file helpers for test fixtures; an unreadable file reads as a marker no test writes.
inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

inline QJsonObject parsed(const QString &reply)
{
    return QJsonDocument::fromJson(reply.toUtf8()).object();
}

inline QString errorReply(const QString &message)
{
    return QStringLiteral("{\"error\":\"") + message + QStringLiteral("\",\"ok\":false}");
}

inline QString payloadText(const QJsonObject &payload)
{
    return QString::fromUtf8(QJsonDocument(payload).toJson(QJsonDocument::Compact));
}

// The object with one key set, or removed by an undefined value.
inline QJsonObject with(QJsonObject object, const QString &key, const QJsonValue &value)
{
    object.insert(key, value);
    return object;
}

// The program's own settings, as the bridge stores them; "<absent>" for a key never set.
inline QString setting(const QString &key)
{
    return QSettings(QStringLiteral("Quillmark"), QStringLiteral("Quillmark")).value(key, QStringLiteral("<absent>")).toString();
}

// Calls a command by its published name, the way the web channel does, so that a renamed
// method or a missing Q_INVOKABLE fails the test too.
inline QString call(QObject &bridge, const char *method, const QStringList &arguments = {})
{
    QString reply = QStringLiteral("<not invoked>");
    if (arguments.isEmpty())
        QMetaObject::invokeMethod(&bridge, method, Qt::DirectConnection, Q_RETURN_ARG(QString, reply));
    else if (arguments.size() == 1)
        QMetaObject::invokeMethod(&bridge, method, Qt::DirectConnection, Q_RETURN_ARG(QString, reply),
                                  Q_ARG(QString, arguments.first()));
    else
        QMetaObject::invokeMethod(&bridge, method, Qt::DirectConnection, Q_RETURN_ARG(QString, reply),
                                  Q_ARG(QString, arguments.at(0)), Q_ARG(QString, arguments.at(1)));
    return reply;
}

class IsolatedUserState
{
public:
    IsolatedUserState()
    {
        const QString root = home.path();
        for (const char *folder : {"config", "data", "cache", "runtime"})
            QDir(root).mkpath(QString::fromLatin1(folder));
        QFile::setPermissions(root + QStringLiteral("/runtime"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        // No print server unless a test starts its own: the user's printers stay out of reach.
        const std::pair<const char *, const char *> variables[] = {
            {"HOME", ""}, {"XDG_CONFIG_HOME", "/config"}, {"XDG_DATA_HOME", "/data"}, {"XDG_CACHE_HOME", "/cache"},
            {"XDG_RUNTIME_DIR", "/runtime"}, {"CUPS_SERVER", "/no-cups.sock"}};
        for (const auto &variable : variables)
            qputenv(variable.first, QFile::encodeName(root + QString::fromLatin1(variable.second)));
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // A desktop theme from the user's session (GTK, portal) would bring native dialogs that
        // a test cannot drive, and GTK ends the process when it finds no display.
        for (const char *variable : {"PRINTER", "LPDEST", "QT_QPA_PLATFORMTHEME"})
            qunsetenv(variable);
    }

    QString path() const { return home.path(); }
    QString settingsFilePath() const { return home.path() + QStringLiteral("/config/Quillmark/Quillmark.conf"); }

private:
    QTemporaryDir home;
};

#define QUILLMARK_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char *argv[])                                                                 \
    {                                                                                                \
        IsolatedUserState userState;                                                                 \
        QApplication app(argc, argv);                                                                \
        QCoreApplication::setOrganizationName(QStringLiteral("Quillmark"));                          \
        QCoreApplication::setApplicationName(QStringLiteral("Quillmark"));                           \
        TestObject test;                                                                             \
        test.userState = &userState;                                                                 \
        return QTest::qExec(&test, argc, argv);                                                      \
    }
