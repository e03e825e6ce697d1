// The web page that shows the front end and keeps it the only thing shown and loaded (see
// NavigationGuard), and brings the designer back when its renderer dies.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QWebEnginePage>

class FileLinks;

class FrontendPage final : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit FrontendPage(QObject *parent);
    ~FrontendPage() override;

    // Also what the page may load from now on, besides the files links grants it; call once,
    // before loading.
    void setFrontendDir(const QString &dir, FileLinks *links = nullptr);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;

private:
    void recoverFromCrash(RenderProcessTerminationStatus status);
    void loadFrontend();

    QString frontendDir;
    QElapsedTimer sinceCrashReload;
};
