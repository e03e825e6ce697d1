// The web page that shows the front end and keeps it the only thing shown (see NavigationGuard).
#pragma once

#include <QString>
#include <QWebEnginePage>

class FrontendPage final : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit FrontendPage(QObject *parent);

    void setFrontendDir(const QString &dir);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;

private:
    QString frontendDir;
};
