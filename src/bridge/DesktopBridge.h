// The one object the web front end calls: window control, file transfer,
// font and printer listing and printing, each answered with a JSON reply envelope.
#pragma once

#include <QJsonObject>
#include <QObject>
#include <QSettings>
#include <QString>

class QPrinterInfo;
class QWidget;

// Turns a command's payload text into an object; anything but a JSON object gives {}.
QJsonObject parsePayloadObject(const QString &text);

// The name a person knows the printer by: its description, or its system name when it has none.
QString printerDisplayName(const QPrinterInfo &printer);

class DesktopBridge final : public QObject
{
    Q_OBJECT

public:
    DesktopBridge(QWidget *window, QObject *parent);
    ~DesktopBridge() override;

    void setFrontendDir(const QString &dir);

    // One web channel message holds at most this many UTF-16 characters: past it the
    // channel's binary JSON refuses the document and the page's call never completes.
    static constexpr qint64 channelMessageCeilingChars = 64 * 1024 * 1024;
    // Room kept in a file reply for the envelope, the file's path and its name.
    static constexpr qint64 replyReserveChars = 64 * 1024;
    // Largest file that fits in a file reply: its Base64 text takes 4 characters per 3 bytes.
    static constexpr qint64 maxTransferBytes = (channelMessageCeilingChars - replyReserveChars) / 4 * 3;

    Q_INVOKABLE QString windowMinimize();
    Q_INVOKABLE QString windowMaximize();
    Q_INVOKABLE QString windowClose();
    Q_INVOKABLE QString openProject(const QString &path = QString());
    Q_INVOKABLE QString saveProject(const QString &payloadJson);
    Q_INVOKABLE QString savePrintPdf(const QString &payloadJson);
    Q_INVOKABLE QString pickSpreadsheet();
    Q_INVOKABLE QString readSpreadsheet(const QString &path);
    Q_INVOKABLE QString listLocalFonts();
    Q_INVOKABLE QString listPrinters();
    Q_INVOKABLE QString submitPrintJob(const QString &payloadJson);
    Q_INVOKABLE QString printerOptions(const QString &printerName);

private:
    friend class BridgeTest;
    friend class FileTransferTest;

    QString makeOkReply(const QJsonObject &object) const;
    QString makeErrorReply(const QString &message) const;

    QString readFileBase64(const QString &path) const;
    QString fileReply(const QString &path) const;
    QString writeBase64File(const QString &path, const QString &base64Text) const;
    QString ensureSuffix(const QString &path, const QString &suffix) const;

    QString rememberedFolder(const QString &key) const;
    void rememberFolderOf(const QString &key, const QString &filePath);

    QString askSaveTarget(const QString &caption, const QString &filter, const QString &suffix,
                          const QString &suggestedName);
    QString writeSavedFile(const QString &target, const QString &base64Text);

    QWidget *window;
    QString frontendDir;
    QSettings settings;

    Q_DISABLE_COPY(DesktopBridge)
};
