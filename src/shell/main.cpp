#include "CommandLine.h"
#include "DesktopBridge.h"
#include "FrontendLocator.h"
#include "FrontendPage.h"
#include "HeadlessPrint.h"
#include "SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QMainWindow>
#include <QUrl>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <cstdio>
#include <unistd.h>

namespace {

void writeTo(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    if (!bytes.endsWith('\n'))
        std::fputc('\n', stream);
}

// Publishes the bridge on the view's page and loads the front end; returns the front end's
// folder, empty when none was found (the view then stays empty).
QString showFrontend(QWebEngineView *view, DesktopBridge *bridge, QObject *extra = nullptr)
{
    auto *page = new FrontendPage(view);
    view->setPage(page);
    auto *channel = new QWebChannel(view->page());
    channel->registerObject(QStringLiteral("desktopBridge"), bridge);
    if (extra)
        channel->registerObject(extra->objectName(), extra);
    view->page()->setWebChannel(channel);

    QWebEngineSettings *webSettings = view->settings();
    webSettings->setAttribute(QWebEngineSettings::LocalStorageEnabled, true);
    webSettings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, true);

    const QString frontendDir = findFrontendDir(QCoreApplication::applicationDirPath());
    bridge->setFrontendDir(frontendDir);
    page->setFrontendDir(frontendDir, bridge->fileLinks());
    if (!frontendDir.isEmpty())
        view->load(QUrl::fromLocalFile(QDir(frontendDir).absoluteFilePath(QStringLiteral("index.html"))));
    return frontendDir;
}

// Chromium refuses to start its sandbox for root, and would fail later with a message of its
// own that names none of the ways out; the user is told before anything starts.
bool sandboxRefusesRoot()
{
    if (geteuid() != 0 || qgetenv("QTWEBENGINE_DISABLE_SANDBOX") == "1")
        return false;
    return !QString::fromLocal8Bit(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS")).contains(QLatin1String("--no-sandbox"));
}

// The designer's page, run without a window: it reads the job from "headlessPrint", prints or
// saves it through the same pipeline as the Print dialog and says when it is done.
int printWithoutWindow(QApplication &app, const PrintOrder &order)
{
    if (sandboxRefusesRoot()) {
        writeTo(stderr, say(
            "quillmark：以 root 身份运行时，网页引擎无法启用它的沙箱，因此不会启动。\n"
            "请以普通用户运行（例如打印服务的专用用户）；如确需以 root 运行，请自行承担风险，加上 --no-sandbox，\n"
            "或设置环境变量 QTWEBENGINE_DISABLE_SANDBOX=1。",
            "quillmark: as root the web engine cannot use its sandbox, so it does not start.\n"
            "Run Quillmark as an ordinary user (for example a user of its own for the print service); if it must run\n"
            "as root, accept running without the sandbox with --no-sandbox or QTWEBENGINE_DISABLE_SANDBOX=1."));
        return 1;
    }
    // Never shown on a screen: printing runs on Qt's offscreen platform.
    QWebEngineView view;
    auto *bridge = new DesktopBridge(nullptr, &view);
    auto *headless = new HeadlessPrint(order, &view);
    headless->setObjectName(QStringLiteral("headlessPrint"));
    if (showFrontend(&view, bridge, headless).isEmpty()) {
        writeTo(stderr, say("quillmark：找不到程序的界面文件（index.html）。", "quillmark: the program's interface files (index.html) are missing."));
        return 1;
    }
    QObject::connect(view.page(), &QWebEnginePage::renderProcessTerminated, &view, [] {
        HeadlessPrint::fail(say("quillmark：网页引擎意外退出，没有打印任何标签。", "quillmark: the web engine stopped unexpectedly; nothing was printed."));
    });
    QObject::connect(view.page(), &QWebEnginePage::loadFinished, &view, [](bool ok) {
        if (!ok)
            HeadlessPrint::fail(say("quillmark：无法载入程序的界面。", "quillmark: the program's interface did not load."));
    });
    // A shown view keeps the page's timers and frames running at full speed.
    view.resize(1024, 768);
    view.show();
    return app.exec();
}

// The request guard sees every request of the page but none of WebRTC's, whose address gathering
// would reach any STUN or TURN server a script names. This policy leaves WebRTC no UDP and sends
// its TCP through the proxy only, and the proxy is a closed port (for the loopback too), so it
// reaches nothing. The page itself makes no request the guard would let through to a network.
void keepWebRtcOffTheNetwork()
{
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags += " --force-webrtc-ip-handling-policy=disable_non_proxied_udp"
             " --proxy-server=http://127.0.0.1:9 --proxy-bypass-list=<-loopback>";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
}

} // namespace

int main(int argc, char *argv[])
{
    keepWebRtcOffTheNetwork();
    if (needsNoDisplay(argc, argv)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // The offscreen platform has no OpenGL: the web engine draws in software.
        if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
            qputenv("QT_QUICK_BACKEND", "software");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts, true);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quillmark"));
    QCoreApplication::setApplicationName(QStringLiteral("Quillmark"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLMARK_VERSION));

    const Launch launch = readCommandLine(QCoreApplication::arguments());
    switch (launch.mode) {
    case Launch::Mode::Help:
        writeTo(stdout, launch.text);
        return 0;
    case Launch::Mode::Version:
        writeTo(stdout, QStringLiteral("quillmark " QUILLMARK_VERSION));
        return 0;
    case Launch::Mode::UsageError:
        writeTo(stderr, launch.text);
        return 2;
    case Launch::Mode::Print:
    case Launch::Mode::Designer:
        break;
    }
    if (launch.noSandbox)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (launch.mode == Launch::Mode::Print)
        return printWithoutWindow(app, launch.print);

    SingleInstance instance;
    switch (instance.claim(launch.project)) {
    case SingleInstance::Role::HandedOver:
        return 0;
    case SingleInstance::Role::Failed:
        writeTo(stderr, say("quillmark：Quillmark 已在运行，但没有应答。", "quillmark: Quillmark is already running but does not answer."));
        return 1;
    case SingleInstance::Role::First:
        break;
    }

    QMainWindow window;
    window.resize(1440, 920);
    window.setWindowTitle(QStringLiteral("Quillmark"));
    window.setWindowIcon(QIcon(QStringLiteral(":/icons/quillmark.svg")));

    auto *view = new QWebEngineView(&window);
    auto *bridge = new DesktopBridge(&window, &window);
    if (!launch.project.isEmpty())
        bridge->addLaunchFile(launch.project);
    QObject::connect(&instance, &SingleInstance::fileHanded, &window, [&window, bridge](const QString &path) {
        if (!path.isEmpty())
            bridge->addLaunchFile(path);
        if (window.isMinimized())
            window.showNormal();
        window.raise();
        window.activateWindow();
    });
    showFrontend(view, bridge);

    window.setCentralWidget(view);
    window.show();
    return app.exec();
}
