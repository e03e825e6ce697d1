#include "FrontendPage.h"
#include "FileLinks.h"
#include "NavigationGuard.h"

#include <QDesktopServices>
#include <QDir>
#include <QPointer>
#include <QTimer>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

namespace {

// Every request of the profile passes here, workers' and XMLHttpRequest's included, which
// navigation checks alone never see.
class RequestGuard final : public QWebEngineUrlRequestInterceptor
{
public:
    RequestGuard(const QString &frontendDir, FileLinks *links, QObject *parent)
        : QWebEngineUrlRequestInterceptor(parent)
        , frontendDir(frontendDir)
        , links(links)
    {
    }

    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        if (mayLoad(info.requestUrl(), frontendDir))
            return;
        // A file the bridge has just named to the page, read once by XMLHttpRequest.
        if (info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeXhr && links && links->take(info.requestUrl()))
            return;
        info.block(true);
    }

private:
    const QString frontendDir;
    const QPointer<FileLinks> links;
};

// The window the engine opens for a link the user clicked: it never shows anything, and hands
// its first navigation to the desktop when that is a web page.
class DesktopLinkPage final : public QWebEnginePage
{
public:
    DesktopLinkPage(QWebEngineProfile *profile, QObject *parent)
        : QWebEnginePage(profile, parent)
    {
        // A window opened without an address never navigates; it goes all the same.
        QTimer::singleShot(10000, this, &QObject::deleteLater);
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override
    {
        if (judgeNavigation(url, QString(), isMainFrame, true) == NavigationVerdict::HandToDesktop)
            QDesktopServices::openUrl(url);
        deleteLater();
        return false;
    }

    QWebEnginePage *createWindow(WebWindowType) override { return nullptr; }
};

// A renderer that dies again this soon after being brought back would die in a loop.
constexpr qint64 crashReloadQuietMs = 30000;

} // namespace

FrontendPage::FrontendPage(QObject *parent)
    : QWebEnginePage(parent)
{
    QWebEngineSettings *pageSettings = settings();
    pageSettings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    // Without it a script could open windows at will; with it only a click of the user can.
    pageSettings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    connect(this, &QWebEnginePage::renderProcessTerminated, this,
            [this](RenderProcessTerminationStatus status, int) { recoverFromCrash(status); });
    // The engine commits some addresses (about:blank among them) without asking
    // acceptNavigationRequest; the designer goes straight back, offering its unsaved work.
    connect(this, &QWebEnginePage::urlChanged, this, [this](const QUrl &url) {
        if (!url.isEmpty() && !frontendDir.isEmpty() && !isFrontendFile(url, frontendDir))
            loadFrontend();
    });
}

FrontendPage::~FrontendPage()
{
    profile()->setUrlRequestInterceptor(nullptr);
}

void FrontendPage::setFrontendDir(const QString &dir, FileLinks *links)
{
    frontendDir = dir;
    profile()->setUrlRequestInterceptor(new RequestGuard(dir, links, this));
}

bool FrontendPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame)
{
    return judgeNavigation(url, frontendDir, isMainFrame, false) == NavigationVerdict::Show;
}

// A second window would be a second page holding the bridge, outside the guard's view.
QWebEnginePage *FrontendPage::createWindow(WebWindowType)
{
    return new DesktopLinkPage(profile(), this);
}

// The designer keeps unsaved work in the page's storage as it goes and offers it back when it
// starts, so loading it again is all it takes to recover.
void FrontendPage::recoverFromCrash(RenderProcessTerminationStatus status)
{
    if (status == NormalTerminationStatus || frontendDir.isEmpty())
        return;
    if (sinceCrashReload.isValid() && sinceCrashReload.elapsed() < crashReloadQuietMs)
        return;
    sinceCrashReload.start();
    // Not from inside the engine's own report of the crash, which is not yet done with the page.
    QTimer::singleShot(0, this, &FrontendPage::loadFrontend);
}

void FrontendPage::loadFrontend()
{
    load(QUrl::fromLocalFile(QDir(frontendDir).absoluteFilePath(QStringLiteral("index.html"))));
}
