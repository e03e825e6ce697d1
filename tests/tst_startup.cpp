#include "FrontendLocator.h"
#include "NavigationGuard.h"
#include "TestSupport.h"

// Lays out a tree of folders and entry pages under a temporary root and checks which
// front-end folder an executable at a given place finds.
class StartupTest : public QObject
{
    Q_OBJECT

public:
    IsolatedUserState *userState = nullptr;

private slots:
    void findFrontendDir_data();
    void findFrontendDir();
    void judgeNavigation_data();
    void judgeNavigation();
};

void StartupTest::findFrontendDir_data()
{
    QTest::addColumn<QString>("executableDir");
    QTest::addColumn<QStringList>("entryPages");
    QTest::addColumn<QStringList>("emptyFolders");
    QTest::addColumn<QString>("expected");

    QTest::addRow("installed tree wins over a sibling frontend folder")
        << "prefix/bin" << QStringList{"prefix/share/quillmark/frontend/index.html", "prefix/frontend/index.html"}
        << QStringList() << "prefix/share/quillmark/frontend";
    QTest::addRow("build folder beside the checkout's frontend")
        << "checkout/build" << QStringList{"checkout/frontend/index.html"} << QStringList() << "checkout/frontend";
    QTest::addRow("folder without an entry page is skipped")
        << "checkout/build" << QStringList{"frontend/index.html"} << QStringList{"checkout/frontend"} << "frontend";
    QTest::addRow("two levels down finds the third candidate")
        << "root/build/bin" << QStringList{"root/frontend/index.html"} << QStringList() << "root/frontend";
    QTest::addRow("three levels down finds the root itself")
        << "root/build/out/bin" << QStringList{"root/index.html"} << QStringList() << "root";
    QTest::addRow("no front end anywhere gives an empty folder")
        << "root/build/out/bin" << QStringList() << QStringList{"root/frontend"} << "";
}

void StartupTest::findFrontendDir()
{
    QFETCH(QString, executableDir);
    QFETCH(QStringList, entryPages);
    QFETCH(QStringList, emptyFolders);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QDir root(dir.path());
    QVERIFY(root.mkpath(executableDir));
    for (const QString &folder : emptyFolders)
        QVERIFY(root.mkpath(folder));
    for (const QString &page : entryPages)
        QVERIFY(root.mkpath(QFileInfo(page).path()) && writeFile(root.filePath(page), QByteArray()));

    // Compared with the clean path: no trailing "/" and no "..".
    QCOMPARE(::findFrontendDir(root.filePath(executableDir)), expected.isEmpty() ? QString() : QDir::cleanPath(root.filePath(expected)));
}

Q_DECLARE_METATYPE(NavigationVerdict)

void StartupTest::judgeNavigation_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("frontendDir");
    QTest::addColumn<bool>("isMainFrame");
    QTest::addColumn<bool>("userOpenedWindow");
    QTest::addColumn<NavigationVerdict>("expected");

    const QString front = QStringLiteral("/opt/qm/share/quillmark/frontend");
    // Plain web pages and files beside the front end are navigation.test.mjs's, in the real engine.
    const auto show = NavigationVerdict::Show;
    const auto desktop = NavigationVerdict::HandToDesktop;
    const auto refuse = NavigationVerdict::Refuse;
    QTest::addRow("entry page") << "file:///opt/qm/share/quillmark/frontend/index.html" << front << true << false << show;
    QTest::addRow("page in a sub-folder, with query and fragment")
        << "file:///opt/qm/share/quillmark/frontend/help/a.html?x=1#top" << front << true << false << show;
    QTest::addRow("front end given with a trailing slash") << "file:///opt/qm/share/quillmark/frontend/index.html" << front + "/" << true << false << show;
    QTest::addRow("climbing out with dot-dot") << "file:///opt/qm/share/quillmark/frontend/../../../../etc/passwd" << front << true << false << refuse;
    QTest::addRow("encoded dot-dot") << "file:///opt/qm/share/quillmark/frontend/%2e%2e/secret.html" << front << true << false << refuse;
    QTest::addRow("sibling folder sharing the prefix") << "file:///opt/qm/share/quillmark/frontend-evil/index.html" << front << true << false << refuse;
    QTest::addRow("the folder itself is a listing") << "file:///opt/qm/share/quillmark/frontend/" << front << true << false << refuse;
    QTest::addRow("file on another host") << "file://server/opt/qm/share/quillmark/frontend/index.html" << front << true << false << refuse;
    QTest::addRow("no front end holds nothing") << "file:///index.html" << "" << true << false << refuse;
    QTest::addRow("front end at the root") << "file:///index.html" << "/" << true << false << show;
    QTest::addRow("data URL") << "data:text/html,<script>qt</script>" << front << true << false << refuse;
    QTest::addRow("secure web page the user opened") << "https://example.org/help" << front << true << true << desktop;
    QTest::addRow("source view of the front end") << "view-source:file:///opt/qm/share/quillmark/frontend/index.html" << front << true << false << refuse;
    QTest::addRow("empty frame") << "about:blank" << front << false << false << show;
    QTest::addRow("frame filled from srcdoc") << "about:srcdoc" << front << false << false << show;
    QTest::addRow("main frame emptied") << "about:blank" << front << true << false << refuse;
    QTest::addRow("blob of the page") << "blob:file:///0f1e2d3c" << front << true << false << refuse;
    QTest::addRow("compiled-in resource") << "qrc:/qtwebchannel/qwebchannel.js" << front << true << false << refuse;
}

void StartupTest::judgeNavigation()
{
    QFETCH(QString, url);
    QFETCH(QString, frontendDir);
    QFETCH(bool, isMainFrame);
    QFETCH(bool, userOpenedWindow);
    QFETCH(NavigationVerdict, expected);
    QCOMPARE(::judgeNavigation(QUrl(url), frontendDir, isMainFrame, userOpenedWindow), expected);
}

QUILLMARK_TEST_MAIN(StartupTest)
#include "tst_startup.moc"
