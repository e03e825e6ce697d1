#include "DesktopBridge.h"
#include "PrintServer.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QJsonObject parsedReply(const QString &reply)
{
    return QJsonDocument::fromJson(reply.toUtf8()).object();
}

QJsonObject entryNamed(const QJsonArray &entries, const QString &name)
{
    for (const QJsonValue &entry : entries) {
        if (entry.toObject().value(QStringLiteral("name")).toString() == name)
            return entry.toObject();
    }
    return QJsonObject();
}

QStringList namesMarkedDefault(const QJsonArray &printers)
{
    QStringList names;
    for (const QJsonValue &printer : printers) {
        if (printer.toObject().value(QStringLiteral("isDefault")).toBool())
            names.append(printer.toObject().value(QStringLiteral("name")).toString());
    }
    return names;
}

} // namespace

class ListingTest : public QObject
{
    Q_OBJECT

public:
    IsolatedUserState *userState = nullptr;

private slots:
    void init();
    void cleanup();
    void listPrinters_withNoPrinters_repliesEmptyList();
    void listPrinters_withoutDefault_marksNone();
    void listPrinters_marksOnlyTheDefaultQueue();
    void listPrinters_reportsDescriptionAndLocation_data();
    void listPrinters_reportsDescriptionAndLocation();
    void listPrinters_withoutServer_repliesEmptyList();
    void listLocalFonts_listsInstalledFamiliesByName();

private:
    QJsonArray listedPrinters();

    DesktopBridge bridge{nullptr, nullptr};
    std::unique_ptr<PrintServer> server;
};

void ListingTest::init()
{
    server = std::make_unique<PrintServer>();
    QVERIFY2(server->start(), qPrintable(server->errorString()));
}

void ListingTest::cleanup()
{
    server.reset();
}

QJsonArray ListingTest::listedPrinters()
{
    const QJsonObject reply = parsedReply(bridge.listPrinters());
    if (reply.value(QStringLiteral("ok")) != QJsonValue(true))
        return QJsonArray{QStringLiteral("reply not ok")};
    return reply.value(QStringLiteral("printers")).toArray();
}

void ListingTest::listPrinters_withNoPrinters_repliesEmptyList()
{
    QCOMPARE(bridge.listPrinters(), QStringLiteral("{\"ok\":true,\"printers\":[]}"));
}

void ListingTest::listPrinters_withoutDefault_marksNone()
{
    QVERIFY2(server->addQueue(QStringLiteral("shelf")), qPrintable(server->errorString()));
    QVERIFY2(server->addQueue(QStringLiteral("parcel")), qPrintable(server->errorString()));

    const QJsonArray printers = listedPrinters();
    QCOMPARE(printers.size(), 2);
    QCOMPARE(namesMarkedDefault(printers), QStringList());
}

void ListingTest::listPrinters_marksOnlyTheDefaultQueue()
{
    // CUPS treats queue names without regard to case, so names that share a prefix and
    // differ in case elsewhere are the closest real neighbours of the default.
    for (const QString &name : {QStringLiteral("Label"), QStringLiteral("label_2"), QStringLiteral("LABEL_3")})
        QVERIFY2(server->addQueue(name), qPrintable(server->errorString()));
    QVERIFY2(server->setDefaultQueue(QStringLiteral("label_2")), qPrintable(server->errorString()));

    const QJsonArray printers = listedPrinters();
    QCOMPARE(printers.size(), 3);
    QCOMPARE(namesMarkedDefault(printers), QStringList{QStringLiteral("label_2")});
}

void ListingTest::listPrinters_reportsDescriptionAndLocation_data()
{
    QTest::addColumn<QStringList>("lpadminOptions");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<QString>("location");

    const QString dash = QStringLiteral("-D");
    QTest::addRow("no description given: CUPS uses the name")
        << QStringList() << QStringLiteral("desk") << QStringLiteral("desk") << QString();
    QTest::addRow("empty description shows the name")
        << QStringList{dash, QString()} << QString() << QStringLiteral("desk") << QString();
    QTest::addRow("a single blank is shown as it is")
        << QStringList{dash, QStringLiteral(" ")} << QStringLiteral(" ") << QStringLiteral(" ") << QString();
    QTest::addRow("description and location")
        << QStringList{dash, QStringLiteral("前台标签机"), QStringLiteral("-L"), QStringLiteral("Room 2")}
        << QStringLiteral("前台标签机") << QStringLiteral("前台标签机") << QStringLiteral("Room 2");
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

    const QJsonArray printers = listedPrinters();
    QCOMPARE(printers.size(), 1);
    const QJsonObject expected{{QStringLiteral("name"), name},
                               {QStringLiteral("displayName"), displayName},
                               {QStringLiteral("description"), description},
                               {QStringLiteral("location"), location},
                               {QStringLiteral("isDefault"), false}};
    QCOMPARE(entryNamed(printers, name), expected);
}

void ListingTest::listPrinters_withoutServer_repliesEmptyList()
{
    server->stop();
    QCOMPARE(bridge.listPrinters(), QStringLiteral("{\"ok\":true,\"printers\":[]}"));
}

void ListingTest::listLocalFonts_listsInstalledFamiliesByName()
{
    const QJsonObject reply = parsedReply(bridge.listLocalFonts());
    QCOMPARE(reply.value(QStringLiteral("ok")), QJsonValue(true));
    const QJsonArray fonts = reply.value(QStringLiteral("fonts")).toArray();
    // fonts-dejavu-core is among the test suite's packages.
    QCOMPARE(entryNamed(fonts, QStringLiteral("DejaVu Sans")).value(QStringLiteral("value")).toString(),
             QStringLiteral("DejaVu Sans"));
    for (const QJsonValue &font : fonts) {
        const QJsonObject entry = font.toObject();
        QCOMPARE(entry.keys(), (QStringList{QStringLiteral("name"), QStringLiteral("value")}));
        QVERIFY(!entry.value(QStringLiteral("name")).toString().isEmpty());
        QCOMPARE(entry.value(QStringLiteral("value")), entry.value(QStringLiteral("name")));
    }
}

QUILLMARK_TEST_MAIN(ListingTest)
#include "tst_listing.moc"
