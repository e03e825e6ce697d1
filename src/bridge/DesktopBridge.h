// The one object the web front end calls: window control, file transfer,
// font and printer listing and printing, each answered with a JSON reply envelope.
#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>

class FileLinks;
class QPrinterInfo;
class QWidget;

// The name a person knows the printer by: its description, or its system name when it has none.
QString printerDisplayName(const QPrinterInfo &printer);

class DesktopBridge final : public QObject
{
    Q_OBJECT

public:
    DesktopBridge(QWidget *window, QObject *parent);
    ~DesktopBridge() override;

    void setFrontendDir(const QString &dir);
    // A project the page should open (given on the command line, or handed over by a later
    // start); the page hears launchFileWaiting and takes it with takeLaunchFile.
    void addLaunchFile(const QString &path);
    // The files the page has been given to read by their addresses (see openFileLink).
    FileLinks *fileLinks() const;

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
    // The oldest project waiting to be opened as {"path"}, and forgets it; "" when none waits.
    Q_INVOKABLE QString takeLaunchFile();
    Q_INVOKABLE QString readImageFile(const QString &path);
    Q_INVOKABLE QString listLabelTemplates();
    // A project or spreadsheet (kind "project" or "spreadsheet") by its path, or chosen in the
    // dialog of openProject or pickSpreadsheet when the path is empty, given as an address the
    // page may read once: large files reach the page in milliseconds, not seconds.
    Q_INVOKABLE QString openFileLink(const QString &kind, const QString &path);

signals:
    void launchFileWaiting();

private:
    enum class OpenedFile { Project, Spreadsheet };
    // The file chosen in the kind's dialog, its folder remembered; empty when the user cancels.
    QString chooseToOpen(OpenedFile kind);
    QString rememberedFolder(const QString &key) const;
    void rememberFolderOf(const QString &key, const QString &filePath);

    QString askSaveTarget(const QString &caption, const QString &filter, const QString &suffix,
                          const QString &suggestedName);
    QString writeSavedFile(const QString &target, const QString &base64Text);

    QWidget *window;
    QString frontendDir;
    QSettings settings;
    QStringList launchFiles;
    FileLinks *links;

    Q_DISABLE_COPY(DesktopBridge)
};
