#include "DesktopBridge.h"
#include "LabelTemplates.h"
#include "TestSupport.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QRegularExpression>

namespace {

const QString installed = QStringLiteral("/usr/share/libglabels-3.0/templates");

QByteArray templates(const QByteArray &body)
{
    return "<?xml version=\"1.0\"?>\n<Glabels-templates xmlns=\"http://glabels.org/xmlns/3.0/\">\n" + body
        + "\n</Glabels-templates>\n";
}

QByteArray sheet(const QByteArray &part, const QByteArray &width = "50mm")
{
    return "<Template brand=\"Test\" part=\"" + part + "\" size=\"A4\" _description=\"Test labels\">"
           "<Label-rectangle id=\"0\" width=\"" + width + "\" height=\"20mm\" round=\"1mm\">"
           "<Layout nx=\"2\" ny=\"10\" x0=\"5mm\" y0=\"10mm\" dx=\"100mm\" dy=\"25mm\"/></Label-rectangle></Template>";
}

const QByteArray papers = "<Glabels-paper-sizes><Paper-size id=\"A4\" width=\"210mm\" height=\"297mm\"/></Glabels-paper-sizes>";

QJsonObject byPart(const QJsonArray &entries, const QString &brand, const QString &part)
{
    for (const QJsonValue &entry : entries)
        if (entry[QStringLiteral("brand")] == brand && entry[QStringLiteral("part")] == part)
            return entry.toObject();
    return {};
}

QStringList partsOf(const TemplateReadResult &result)
{
    QStringList parts;
    for (const LabelTemplate &entry : result.templates)
        parts.append(entry.part);
    return parts;
}

} // namespace

class TemplatesTest : public QObject
{
    Q_OBJECT

public:
    IsolatedUserState *userState = nullptr;

private slots:
    void installedDatabase_readsEveryEntryWithItsGeometry();
    void brokenFiles_leaveOutOnlyWhatIsBroken_data();
    void brokenFiles_leaveOutOnlyWhatIsBroken();
    void userFolder_comesFirstAndBytesAreCapped();
};

// Every Template element of the installed files is read or counted as left out, and known parts
// come with the figures their makers print.
void TemplatesTest::installedDatabase_readsEveryEntryWithItsGeometry()
{
    QVERIFY2(QFileInfo::exists(installed + QStringLiteral("/paper-sizes.xml")),
             "glabels-data is not installed: scripts/debian-packages.txt lists it for the tests");
    qputenv("XDG_DATA_DIRS", "/usr/share");
    DesktopBridge bridge(nullptr, nullptr);
    const QJsonObject reply = parsed(call(bridge, "listLabelTemplates"));
    QCOMPARE(reply[QStringLiteral("ok")], QJsonValue(true));
    const QJsonArray entries = reply[QStringLiteral("templates")].toArray();

    int written = 0;
    QDirIterator files(installed, {QStringLiteral("*.xml")}, QDir::Files);
    while (files.hasNext())
        written += QString::fromUtf8(readAll(files.next())).count(QRegularExpression(QStringLiteral("<Template\\b")));
    const int skipped = reply[QStringLiteral("skipped")].toInt();
    QCOMPARE(entries.size() + skipped, written);
    QVERIFY2(skipped < 5, qPrintable(QString::number(skipped)));
    // Its file gives it round="in": a corner radius that is no length squares the corners, nothing more.
    QVERIFY(!byPart(entries, QStringLiteral("Online Labels"), QStringLiteral("OL320 (rectangle)")).isEmpty());
    qInfo("%d templates read, %d left out", int(entries.size()), skipped);

    const QJsonObject a4 = byPart(entries, QStringLiteral("Avery"), QStringLiteral("L7160"));
    QCOMPARE(a4[QStringLiteral("equivalentTo")].toString(), QStringLiteral("7160"));
    QCOMPARE(a4[QStringLiteral("paper")].toString(), QStringLiteral("A4"));
    QCOMPARE(a4[QStringLiteral("paperWidthMm")].toDouble(), 210.0);
    QCOMPARE(a4[QStringLiteral("unit")].toString(), QStringLiteral("mm")); // written in points, on A4
    QCOMPARE(qRound(a4[QStringLiteral("heightMm")].toDouble() * 100), 3810); // 108 pt
    const QJsonObject grid = a4[QStringLiteral("layouts")].toArray().at(0).toObject();
    QCOMPARE(grid[QStringLiteral("nx")].toInt() * 10 + grid[QStringLiteral("ny")].toInt(), 37);

    const QJsonObject round = byPart(entries, QStringLiteral("Avery"), QStringLiteral("3112"));
    QCOMPARE(round[QStringLiteral("shape")].toString(), QStringLiteral("round"));
    QCOMPARE(round[QStringLiteral("equivalentTo")].toString(), QStringLiteral("3274.2"));
    QCOMPARE(round[QStringLiteral("widthMm")].toDouble(), 38.1);
    QCOMPARE(round[QStringLiteral("unit")].toString(), QStringLiteral("in"));
    QCOMPARE(round[QStringLiteral("paperHeightMm")].toDouble(), 279.4);

    // Two blocks on one sheet: three CD labels, the third beside the other two.
    const QJsonObject cd = byPart(entries, QStringLiteral("Begalabel"), QStringLiteral("M-600 (medium)"));
    QCOMPARE(cd[QStringLiteral("shape")].toString(), QStringLiteral("cd"));
    const QJsonArray blocks = cd[QStringLiteral("layouts")].toArray();
    QCOMPARE(blocks.size(), 2);
    QCOMPARE(qRound(blocks.at(1)[QStringLiteral("x0Mm")].toDouble() * 1000), 94717);
    QCOMPARE(qRound(cd[QStringLiteral("holeDiameterMm")].toDouble() * 1000), 41351);
}

void TemplatesTest::brokenFiles_leaveOutOnlyWhatIsBroken_data()
{
    QTest::addColumn<QList<QByteArray>>("files");
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<int>("skipped");
    QTest::addRow("truncated in its second entry") << QList<QByteArray>{papers, templates(sheet("A") + sheet("B")).left(templates(sheet("A")).size() + 100)}
                                                   << QStringList{QStringLiteral("A")} << 2;
    QTest::addRow("not XML at all") << QList<QByteArray>{papers, "\x89PNG\r\n", templates(sheet("A"))}
                                    << QStringList{QStringLiteral("A")} << 1;
    QTest::addRow("unknown unit") << QList<QByteArray>{papers, templates(sheet("A", "2furlongs") + sheet("B", "2in"))}
                                  << QStringList{QStringLiteral("B")} << 1;
    const QByteArray loop = "<Template brand=\"Test\" part=\"X\" equiv=\"Y\"/><Template brand=\"Test\" part=\"Y\" equiv=\"Z\"/>"
                            "<Template brand=\"Test\" part=\"Z\" equiv=\"X\"/><Template brand=\"Test\" part=\"Self\" equiv=\"Self\"/>";
    QTest::addRow("equiv loop and chain")
        << QList<QByteArray>{papers, templates(loop + sheet("A") + "<Template brand=\"Test\" part=\"C\" equiv=\"B\"/>"
                                               "<Template brand=\"Test\" part=\"B\" equiv=\"A\"/>")}
        << QStringList{QStringLiteral("A"), QStringLiteral("C"), QStringLiteral("B")} << 4;
    QTest::addRow("equiv of another maker") << QList<QByteArray>{papers, templates(sheet("A") + "<Template brand=\"Other\" part=\"A2\" equiv=\"A\"/>")}
                                            << QStringList{QStringLiteral("A")} << 1;
    QTest::addRow("paper no file describes") << QList<QByteArray>{templates(sheet("A"))} << QStringList() << 1;
    QTest::addRow("label outside its limits") << QList<QByteArray>{papers, templates(sheet("A", "-5mm") + sheet("B", "20km"))}
                                              << QStringList() << 2;
}

void TemplatesTest::brokenFiles_leaveOutOnlyWhatIsBroken()
{
    QFETCH(QList<QByteArray>, files);
    QFETCH(QStringList, parts);
    QFETCH(int, skipped);
    const TemplateReadResult result = readLabelTemplateTexts(files);
    QCOMPARE(partsOf(result), parts);
    QCOMPARE(result.skipped, skipped);
    for (const LabelTemplate &entry : result.templates) {
        QCOMPARE(entry.widthMm, entry.part == QLatin1String("B") && parts.size() == 1 ? 50.8 : 50.0);
        QCOMPARE(entry.equivalentTo, entry.part == QLatin1String("A") || parts.size() == 1 ? QString() : QStringLiteral("A"));
        QCOMPARE(entry.paperHeightMm, 297.0);
    }
}

// The user's own definition of a part stands before the system's, and a folder's bytes past the
// budget are never read.
void TemplatesTest::userFolder_comesFirstAndBytesAreCapped()
{
    QTemporaryDir system;
    QVERIFY(system.isValid());
    const QString systemFolder = system.path() + QStringLiteral("/libglabels-3.0/templates");
    const QString userFolder = QDir::homePath() + QStringLiteral("/.config/libglabels/templates");
    QVERIFY(QDir().mkpath(systemFolder) && QDir().mkpath(userFolder));
    QVERIFY(writeFile(systemFolder + QStringLiteral("/paper-sizes.xml"), papers));
    QVERIFY(writeFile(systemFolder + QStringLiteral("/test-templates.xml"), templates(sheet("A") + sheet("B"))));
    QVERIFY(writeFile(userFolder + QStringLiteral("/mine.template"), templates(sheet("B", "70mm"))));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(system.path()));
    QCOMPARE(labelTemplateFolders(), (QStringList{userFolder, systemFolder}));

    DesktopBridge bridge(nullptr, nullptr);
    const QJsonArray entries = parsed(call(bridge, "listLabelTemplates"))[QStringLiteral("templates")].toArray();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(byPart(entries, QStringLiteral("Test"), QStringLiteral("B"))[QStringLiteral("widthMm")].toDouble(), 70.0);

    const qint64 budget = QFileInfo(userFolder + QStringLiteral("/mine.template")).size() + QFileInfo(systemFolder + QStringLiteral("/paper-sizes.xml")).size();
    const TemplateReadResult capped = readLabelTemplates(labelTemplateFolders(), budget);
    QCOMPARE(partsOf(capped), QStringList{QStringLiteral("B")});
    QVERIFY(QDir(userFolder).removeRecursively());
}

QUILLMARK_TEST_MAIN(TemplatesTest)
#include "tst_templates.moc"
