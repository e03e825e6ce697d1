#include "FrontendLocator.h"
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
    for (const QString &page : entryPages) {
        QVERIFY(root.mkpath(QFileInfo(page).path()));
        QFile file(root.filePath(page));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    const QString found = ::findFrontendDir(root.filePath(executableDir));
    const QString expectedPath = expected.isEmpty() ? QString() : QDir::cleanPath(root.filePath(expected));
    QCOMPARE(found, expectedPath);
    QVERIFY(!found.endsWith(QLatin1Char('/')));
    QVERIFY(!found.contains(QStringLiteral("..")));
}

QUILLMARK_TEST_MAIN(StartupTest)
#include "tst_startup.moc"
