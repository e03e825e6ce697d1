#include "DesktopBridge.h"
#include "FrontendLocator.h"
#include "FrontendPage.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QMainWindow>
#include <QUrl>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts, true);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quillmark"));
    QCoreApplication::setApplicationName(QStringLiteral("Quillmark"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLMARK_VERSION));

    QMainWindow window;
    window.resize(1440, 920);
    window.setWindowTitle(QStringLiteral("Quillmark"));
    window.setWindowIcon(QIcon(QStringLiteral(":/icons/quillmark.svg")));

    auto *view = new QWebEngineView(&window);
    auto *page = new FrontendPage(view);
    view->setPage(page);
    auto *channel = new QWebChannel(view->page());
    auto *bridge = new DesktopBridge(&window, &window);
    channel->registerObject(QStringLiteral("desktopBridge"), bridge);
    view->page()->setWebChannel(channel);

    QWebEngineSettings *webSettings = view->settings();
    webSettings->setAttribute(QWebEngineSettings::LocalStorageEnabled, true);
    webSettings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, true);

    const QString frontendDir = findFrontendDir(QCoreApplication::applicationDirPath());
    bridge->setFrontendDir(frontendDir);
    page->setFrontendDir(frontendDir);
    if (!frontendDir.isEmpty())
        view->load(QUrl::fromLocalFile(QDir(frontendDir).absoluteFilePath(QStringLiteral("index.html"))));

    window.setCentralWidget(view);
    window.show();
    return app.exec();
}
