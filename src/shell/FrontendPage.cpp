#include "FrontendPage.h"
#include "NavigationGuard.h"

#include <QDesktopServices>

FrontendPage::FrontendPage(QObject *parent)
    : QWebEnginePage(parent)
{
}

void FrontendPage::setFrontendDir(const QString &dir)
{
    frontendDir = dir;
}

bool FrontendPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    switch (judgeNavigation(url, frontendDir, isMainFrame, type == NavigationTypeLinkClicked)) {
    case NavigationVerdict::Show:
        return true;
    case NavigationVerdict::HandToDesktop:
        QDesktopServices::openUrl(url);
        return false;
    case NavigationVerdict::Refuse:
        return false;
    }
    return false;
}

// A second window would be a second page holding the bridge, outside the guard's view.
QWebEnginePage *FrontendPage::createWindow(WebWindowType)
{
    return nullptr;
}
