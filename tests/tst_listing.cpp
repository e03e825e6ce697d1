#include "DesktopBridge.h"
#include "PrintServer.h"
#include "TestSupport.h"

#include <QJsonArray>

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

QUILLMARK_TEST_MAIN(ListingTest)
#include "tst_listing.moc"
