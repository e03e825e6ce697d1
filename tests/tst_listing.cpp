#include "DesktopBridge.h"
#include "PrintServer.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QLocalServer>

class ListingTest : public QObject
{
    Q_OBJECT

public:
    IsolatedUserState *userState = nullptr;

private slots:
    void init();
    void listPrinters_marksOnlyTheDefaultQueue_data();
    void listPrinters_marksOnlyTheDefaultQueue();
    void listPrinters_reportsDescriptionAndLocation_data();
    void listPrinters_reportsDescriptionAndLocation();
    void listLocalFonts_listsInstalledFamiliesByName();
    void printSystemCalls_answerWhenTheServerDoesNot_data();
    void printSystemCalls_answerWhenTheServerDoesNot();

private:
    DesktopBridge bridge{nullptr, nullptr};
    std::unique_ptr<PrintServer> server;
};

void ListingTest::init()
{
    server = std::make_unique<PrintServer>();
    QVERIFY2(server->start(), qPrintable(server->errorString()));
}

// CUPS treats queue names without regard to case, so names that share a prefix and differ in
// case elsewhere are the closest real neighbours of the default.
void ListingTest::listPrinters_marksOnlyTheDefaultQueue_data()
{
    QTest::addColumn<QStringList>("queues");
    QTest::addColumn<QString>("defaultQueue");
    QTest::addColumn<bool>("serverRunning");
    QTest::addRow("no printers") << QStringList() << QString() << true;
    QTest::addRow("no print server") << QStringList() << QString() << false;
    QTest::addRow("no default") << QStringList{"shelf", "parcel"} << QString() << true;
    QTest::addRow("default among neighbours") << QStringList{"Label", "label_2", "LABEL_3"} << "label_2" << true;
}

void ListingTest::listPrinters_marksOnlyTheDefaultQueue()
{
    QFETCH(QStringList, queues);
    QFETCH(QString, defaultQueue);
    QFETCH(bool, serverRunning);
    for (const QString &name : queues)
        QVERIFY2(server->addQueue(name), qPrintable(server->errorString()));
    if (!defaultQueue.isEmpty())
        QVERIFY2(server->setDefaultQueue(defaultQueue), qPrintable(server->errorString()));
    if (!serverRunning)
        server->stop();

    const QJsonObject reply = parsed(bridge.listPrinters());
    QCOMPARE(reply.keys(), (QStringList{"ok", "printers"}));
    QCOMPARE(reply.value("ok"), QJsonValue(true));
    QStringList listed;
    QStringList markedDefault;
    for (const QJsonValue &printer : reply.value("printers").toArray()) {
        listed << printer.toObject().value("name").toString();
        if (printer.toObject().value("isDefault").toBool())
            markedDefault << listed.last();
    }
    listed.sort();
    queues.sort();
    QCOMPARE(listed, queues);
    QCOMPARE(markedDefault, defaultQueue.isEmpty() ? QStringList() : QStringList{defaultQueue});
}

void ListingTest::listPrinters_reportsDescriptionAndLocation_data()
{
    QTest::addColumn<QStringList>("lpadminOptions");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<QString>("location");
    QTest::addRow("no description given: CUPS uses the name") << QStringList() << "desk" << "desk" << QString();
    QTest::addRow("empty description shows the name") << QStringList{"-D", ""} << QString() << "desk" << QString();
    QTest::addRow("a single blank is shown as it is") << QStringList{"-D", " "} << " " << " " << QString();
    QTest::addRow("description and location") << QStringList{"-D", "前台标签机", "-L", "Room 2"} << "前台标签机"
                                               << "前台标签机" << "Room 2";
}

void ListingTest::listPrinters_reportsDescriptionAndLocation()
{
    QFETCH(QStringList, lpadminOptions);
    QFETCH(QString, description);
    QFETCH(QString, displayName);
    QFETCH(QString, location);
    const QString name = QStringLiteral("desk");
    QVERIFY2(server->addQueue(name), qPrintable(server->errorString()));
    if (!lpadminOptions.isEmpty())
        QVERIFY2(server->configureQueue(name, lpadminOptions), qPrintable(server->errorString()));

    const QJsonArray printers = parsed(bridge.listPrinters()).value("printers").toArray();
    QCOMPARE(printers.size(), 1);
    const QJsonObject expected{{"name", name}, {"displayName", displayName}, {"description", description},
                               {"location", location}, {"isDefault", false}};
    QCOMPARE(printers.at(0).toObject(), expected);
}

void ListingTest::listLocalFonts_listsInstalledFamiliesByName()
{
    const QJsonObject reply = parsed(bridge.listLocalFonts());
    QCOMPARE(reply.value(QStringLiteral("ok")), QJsonValue(true));
    QStringList names;
    for (const QJsonValue &font : reply.value(QStringLiteral("fonts")).toArray()) {
        const QJsonObject entry = font.toObject();
        QCOMPARE(entry.keys(), (QStringList{QStringLiteral("name"), QStringLiteral("value")}));
        QVERIFY(!entry.value(QStringLiteral("name")).toString().isEmpty());
        QCOMPARE(entry.value(QStringLiteral("value")), entry.value(QStringLiteral("name")));
        names << entry.value(QStringLiteral("name")).toString();
    }
    // fonts-dejavu-core is among the test suite's packages.
    QVERIFY(names.contains(QStringLiteral("DejaVu Sans")));
}

void ListingTest::printSystemCalls_answerWhenTheServerDoesNot_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("argument");
    const QString page = QString::fromLatin1(QByteArray::fromHex("89504e470d0a1a0a").toBase64());
    QTest::newRow("listPrinters") << QByteArray("listPrinters") << QString();
    QTest::newRow("printerOptions") << QByteArray("printerOptions") << "desk";
    QTest::newRow("submitPrintJob") << QByteArray("submitPrintJob")
                                    << payloadText({{"printerName", "desk"}, {"pages", QJsonArray{page}},
                                                    {"pageWidthMm", 50}, {"pageHeightMm", 30}});
}

// Each call that reaches the print system comes back, and so lets the window go on, within a few
// seconds of the server's silence, where Qt's own calls would wait for minutes.
void ListingTest::printSystemCalls_answerWhenTheServerDoesNot()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, argument);
    server->stop();
    QTemporaryDir folder(QStringLiteral("/tmp/quillmark-silent-XXXXXX"));
    const QString socketPath = folder.filePath("cups.sock");
    // Connections wait in the socket's queue: nothing here ever takes or reads them.
    QLocalServer silent;
    QVERIFY(silent.listen(socketPath));
    const QByteArray noServer = qgetenv("CUPS_SERVER");
    // libcups reads the variable afresh, since stopping the server made it forget the last one.
    qputenv("CUPS_SERVER", QFile::encodeName(socketPath));

    QElapsedTimer clock;
    clock.start();
    const QString reply = call(bridge, method, argument.isNull() ? QStringList() : QStringList{argument});
    const qint64 waited = clock.elapsed();
    qputenv("CUPS_SERVER", noServer);
    QCOMPARE(reply, errorReply("打印系统没有响应"));
    QVERIFY2(waited < 10000, qPrintable(QString::number(waited)));
}

QUILLMARK_TEST_MAIN(ListingTest)
#include "tst_listing.moc"
