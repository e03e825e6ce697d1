// Jobs written in a label printer's own language (TSPL, ZPL II, EPL2) and queued raw on a private
// print server, read back from what the printer would receive by the independent label decoder.
#include "DesktopBridge.h"
#include "LabelPages.h"
#include "LabelDecoder.h"
#include "PrintServer.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QRandomGenerator>

namespace {

const QString rawQueue = "shop";          // no driver: CUPS passes the job's bytes on unchanged
const QString driverQueue = "zpl";        // CUPS' ZPL driver, which a raw job must bypass
const QString closedRawQueue = "closed";  // not accepting jobs

// A colour page with transparency: greys and black alphas stepping across the half-way mark, and
// a block of random dots (which ZPL carries as zlib data rather than run lengths).
QImage photoLabel(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QRandomGenerator random(seed);
    for (int y = height / 4; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, random.bounded(2) ? qRgba(200, 40, 90, 255) : qRgba(250, 200, 120, 255));
    }
    for (int step = 0; step < 16 && step * 3 + 2 < width; ++step) {
        for (int y = 0; y < height / 4; ++y) {
            image.setPixel(step * 3, y, qRgba(120 + step, 120 + step, 120 + step, 255));
            image.setPixel(step * 3 + 1, y, qRgba(0, 0, 0, 120 + step));
        }
    }
    return image;
}

int dots(double mm, int dpi)
{
    return qRound(mm * dpi / 25.4);
}

// The dots a page prints as, in a 1-bit image as the decoder makes them: a dot burns (black) where
// the page is dark and opaque, luminance below half and alpha at least half.
QImage dotsOf(const QImage &page)
{
    QImage dots(page.size(), QImage::Format_Mono);
    dots.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const QRgb colour = page.pixel(x, y);
            dots.setPixel(x, y, qAlpha(colour) >= 128 && 0.299 * qRed(colour) + 0.587 * qGreen(colour) + 0.114 * qBlue(colour) < 127.5);
        }
    }
    return dots;
}

// Printed dots against the page's dots: the same rows, the same dots in every column of the page
// and none past it (a graphic is a whole number of bytes wide, so up to 7 columns of padding).
QString dotsDiffering(const QImage &printed, const QImage &expected)
{
    const bool sized = printed.height() == expected.height() && printed.width() >= expected.width() && printed.width() <= expected.width() + 7;
    // Copied past its edge the page gains unburnt dots (index 0); grey images compare every pixel.
    if (sized && printed.convertToFormat(QImage::Format_Grayscale8) == expected.copy(printed.rect()).convertToFormat(QImage::Format_Grayscale8))
        return QString();
    return QStringLiteral("printed %1 x %2 dots for %3 x %4, not the same")
        .arg(printed.width()).arg(printed.height()).arg(expected.width()).arg(expected.height());
}

QJsonObject languageJob(const QString &language, int dpi, const QJsonArray &pages, double widthMm = 50,
                        double heightMm = 30, const QString &queue = rawQueue)
{
    return {{"printerName", queue}, {"pages", pages}, {"pageWidthMm", widthMm}, {"pageHeightMm", heightMm},
            {"printerLanguage", language}, {"resolution", dpi}};
}

} // namespace

class LabelLanguageTest : public QObject
{
    Q_OBJECT

public:
    IsolatedUserState *userState = nullptr;

private slots:
    void initTestCase();
    void cleanupTestCase() { server.stop(); }
    void printerOptions_sayWhetherTheQueueHasADriver();
    void languageJob_printsThePagesDotForDotCollated_data();
    void languageJob_printsThePagesDotForDotCollated();
    void languageSettings_areWrittenAsTheLanguageSpellsThem_data();
    void languageSettings_areWrittenAsTheLanguageSpellsThem();
    void refusedLanguageJob_printsNothing_data();
    void refusedLanguageJob_printsNothing();

private:
    // Submits the payload; the finished job's attributes go to *job and the bytes the printer
    // receives to *received.
    QString submit(const QJsonObject &payload, QJsonObject *job, QByteArray *received);

    DesktopBridge bridge{nullptr, nullptr};
    PrintServer server;
};

void LabelLanguageTest::initTestCase()
{
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    using Driver = PrintServer::Driver;
    const bool ready = server.addQueue(rawQueue, Driver::None) && server.addQueue(driverQueue, Driver::Zpl)
        && server.addQueue(closedRawQueue, Driver::None) && server.setAcceptingJobs(closedRawQueue, false);
    QVERIFY2(ready, qPrintable(server.errorString()));
}

QString LabelLanguageTest::submit(const QJsonObject &payload, QJsonObject *job, QByteArray *received)
{
    const QString queue = payload.value("printerName").toString();
    const int jobsBefore = server.jobIds(queue).size();
    const QString reply = bridge.submitPrintJob(payloadText(payload));
    const QList<int> ids = server.jobIds(queue);
    if (ids.size() != jobsBefore + 1 || !server.waitUntilCompleted(ids.last()))
        return reply + QStringLiteral(" and no finished job: ") + server.errorString();
    *job = server.jobAttributes(ids.last());
    // A raw queue's file device is not written; the server keeps the document as it came.
    *received = readAll(server.keptDocumentPath(ids.last()));
    return reply;
}

void LabelLanguageTest::printerOptions_sayWhetherTheQueueHasADriver()
{
    QCOMPARE(parsed(bridge.printerOptions(rawQueue)).value("driver").toString(), QStringLiteral("raw"));
    QCOMPARE(parsed(bridge.printerOptions(driverQueue)).value("driver").toString(), QStringLiteral("ppd"));
}

void LabelLanguageTest::languageJob_printsThePagesDotForDotCollated_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<double>("widthMm");
    QTest::addColumn<double>("heightMm");
    // Widths that are and are not whole bytes of dots.
    for (const char *language : {"tspl", "zpl", "epl2"}) {
        for (const int dpi : {203, 300}) {
            QTest::addRow("%s %d dpi 50 x 30", language, dpi) << language << dpi << 50.0 << 30.0;
            QTest::addRow("%s %d dpi 70 x 40", language, dpi) << language << dpi << 70.0 << 40.0;
            QTest::addRow("%s %d dpi 100 x 150", language, dpi) << language << dpi << 100.0 << 150.0;
        }
    }
}

void LabelLanguageTest::languageJob_printsThePagesDotForDotCollated()
{
    QFETCH(QString, language);
    QFETCH(int, dpi);
    QFETCH(double, widthMm);
    QFETCH(double, heightMm);
    const QList<QImage> pages{thermalLabel(dots(widthMm, dpi), dots(heightMm, dpi)),
                              photoLabel(dots(widthMm, dpi), dots(heightMm, dpi), quint32(dpi + widthMm))};
    const QList<QImage> expected{dotsOf(pages[0]), dotsOf(pages[1])};

    // Two copies of two pages come out 1, 2, 1, 2, written into a job that asks CUPS for one copy.
    QJsonObject job;
    QByteArray received;
    const QJsonObject payload = languageJob(language, dpi, {pngBase64(pages[0]), pngBase64(pages[1])}, widthMm, heightMm);
    const QString reply = submit(with(payload, "copies", 2), &job, &received);
    QVERIFY2(!job.isEmpty(), qPrintable(reply));
    QCOMPARE(parsed(reply), QJsonObject({{"ok", true}, {"printerName", rawQueue}, {"printerDisplayName", rawQueue}}));
    QCOMPARE(job.value("copies").toInt(1), 1);
    const DecodedLabels labels = decodeLabels(received);
    QVERIFY2(labels.error.isEmpty(), qPrintable(labels.error));
    QCOMPARE(labels.pages.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const QString difference = dotsDiffering(labels.pages[i], expected[i % 2]);
        QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("label %1: ").arg(i + 1) + difference));
    }
}

void LabelLanguageTest::languageSettings_areWrittenAsTheLanguageSpellsThem_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QJsonObject>("settings");
    QTest::addColumn<QString>("queue");
    QTest::addColumn<QStringList>("commands"); // every command of a one-label job, graphic data left out

    const QStringList tsplLabel{"CLS", "BITMAP 0,0,50,240,0,", "PRINT 1,1"};
    QTest::newRow("TSPL, the printer's own settings")
        << "tspl" << QJsonObject() << rawQueue << QStringList{"SIZE 50 mm,30 mm"} + tsplLabel;
    QTest::newRow("TSPL continuous, its gap ignored")
        << "tspl" << QJsonObject{{"media", "continuous"}, {"gapMm", 2}} << rawQueue << QStringList{"SIZE 50 mm,30 mm", "GAP 0,0"} + tsplLabel;
    QTest::newRow("TSPL gap, darkness and speed")
        << "tspl" << QJsonObject{{"media", "gap"}, {"gapMm", 2.5}, {"darkness", 15}, {"speed", 14}} << rawQueue
        << QStringList{"SIZE 50 mm,30 mm", "GAP 2.5 mm,0 mm", "DENSITY 15", "SPEED 14"} + tsplLabel;
    QTest::newRow("TSPL black mark of the common size")
        << "tspl" << QJsonObject{{"media", "mark"}, {"darkness", 0}} << rawQueue
        << QStringList{"SIZE 50 mm,30 mm", "BLINE 3 mm,0 mm", "DENSITY 0"} + tsplLabel;

    const QString zplGraphic = "^GFA,12000,12000,50,";
    QTest::newRow("ZPL, the printer's own settings")
        << "zpl" << QJsonObject() << rawQueue
        << QStringList{"^XA", "^PW400", "^LL240", "^LH0,0", "^FO0,0", zplGraphic, "^FS", "^PQ1", "^XZ"};
    QTest::newRow("ZPL mark, darkness 5 and speed on a queue with a driver")
        << "zpl" << QJsonObject{{"media", "mark"}, {"darkness", 5}, {"speed", 2}} << driverQueue
        << QStringList{"^XA", "^PW400", "^LL240", "^LH0,0", "^MNM", "~SD05", "^PR2", "^FO0,0", zplGraphic, "^FS", "^PQ1", "^XZ"};
    QTest::newRow("ZPL gap given alone, darkness 30")
        << "zpl" << QJsonObject{{"gapMm", 3}, {"darkness", 30}} << rawQueue
        << QStringList{"^XA", "^PW400", "^LL240", "^LH0,0", "^MNY", "~SD30", "^FO0,0", zplGraphic, "^FS", "^PQ1", "^XZ"};

    const QStringList eplLabel{"N", "GW0,0,50,240,", "P1"};
    QTest::newRow("EPL2, the printer's own settings") << "epl2" << QJsonObject() << rawQueue << QStringList{"q400"} + eplLabel;
    QTest::newRow("EPL2 gap, darkness and speed")
        << "epl2" << QJsonObject{{"media", "gap"}, {"gapMm", 3}, {"darkness", 15}, {"speed", 6}} << rawQueue
        << QStringList{"q400", "Q240,24", "D15", "S6"} + eplLabel;
    QTest::newRow("EPL2 black mark 4 mm")
        << "epl2" << QJsonObject{{"media", "mark"}, {"gapMm", 4}, {"speed", 1}} << rawQueue
        << QStringList{"q400", "Q240,B32", "S1"} + eplLabel;
}

void LabelLanguageTest::languageSettings_areWrittenAsTheLanguageSpellsThem()
{
    QFETCH(QString, language);
    QFETCH(QJsonObject, settings);
    QFETCH(QString, queue);
    QFETCH(QStringList, commands);
    QJsonObject job;
    QByteArray received;
    QJsonObject payload = languageJob(language, 203, {pngBase64(thermalLabel(400, 240))}, 50, 30, queue);
    if (!settings.isEmpty())
        payload.insert("languageSettings", settings);
    const QString reply = submit(payload, &job, &received);
    QVERIFY2(!job.isEmpty(), qPrintable(reply));
    // Raw, so that no filter of the queue's driver touches it.
    QCOMPARE(job.value("document-format").toString(), QStringLiteral("application/vnd.cups-raw"));
    // The graphic itself, the same whatever the settings, is the test above's.
    const DecodedLabels labels = decodeLabels(received);
    QVERIFY2(labels.error.isEmpty(), qPrintable(labels.error));
    QCOMPARE(labels.commands.split('\n', Qt::SkipEmptyParts), commands);
}

void LabelLanguageTest::refusedLanguageJob_printsNothing_data()
{
    QTest::addColumn<QJsonObject>("payload");
    QTest::addColumn<QString>("message");
    const QString notOffered = "打印机不支持所选设置：";
    const QJsonObject tspl = languageJob("tspl", 203, {pngBase64(thermalLabel(400, 240))});
    const QJsonObject zpl = with(tspl, "printerLanguage", "zpl");
    const QJsonObject epl = with(tspl, "printerLanguage", "epl2");
    const auto settings = [](const QJsonObject &job, const QString &name, const QJsonValue &value) {
        return with(job, "languageSettings", QJsonObject{{name, value}});
    };

    QTest::newRow("language not offered") << with(tspl, "printerLanguage", "escpos") << notOffered + "printerLanguage=escpos";
    QTest::newRow("language in capitals") << with(tspl, "printerLanguage", "ZPL") << notOffered + "printerLanguage=ZPL";
    QTest::newRow("no resolution") << with(tspl, "resolution", QJsonValue::Undefined) << notOffered + "resolution=";
    QTest::newRow("resolution above 1200") << with(tspl, "resolution", 1201) << notOffered + "resolution=1201";
    QTest::newRow("resolution a fraction") << with(tspl, "resolution", 203.5) << notOffered + "resolution=203.5";
    QTest::newRow("resolution a string") << with(tspl, "resolution", "203") << notOffered + "resolution=203";
    QTest::newRow("a driver's option") << with(tspl, "options", QJsonObject{{"Darkness", "20"}}) << notOffered + "Darkness=20";
    QTest::newRow("setting not named") << settings(tspl, "density", 8) << notOffered + "density=8";
    QTest::newRow("settings not an object") << with(tspl, "languageSettings", "dark") << notOffered + "languageSettings=dark";
    QTest::newRow("TSPL darkness 16") << settings(tspl, "darkness", 16) << notOffered + "darkness=16";
    QTest::newRow("ZPL darkness 31") << settings(zpl, "darkness", 31) << notOffered + "darkness=31";
    QTest::newRow("darkness a string") << settings(tspl, "darkness", "15") << notOffered + "darkness=15";
    QTest::newRow("darkness a fraction") << settings(zpl, "darkness", 7.5) << notOffered + "darkness=7.5";
    QTest::newRow("TSPL speed 15") << settings(tspl, "speed", 15) << notOffered + "speed=15";
    QTest::newRow("EPL2 speed 7") << settings(epl, "speed", 7) << notOffered + "speed=7";
    QTest::newRow("media not one of three") << settings(zpl, "media", "Gap") << notOffered + "media=Gap";
    QTest::newRow("gap past an inch") << settings(epl, "gapMm", 25.5) << notOffered + "gapMm=25.5";
    QTest::newRow("gap a string") << settings(tspl, "gapMm", "3") << notOffered + "gapMm=3";
    QTest::newRow("copies past what CUPS allows") << with(tspl, "copies", 10000) << notOffered + "copies=10000";
    QTest::newRow("page two dots too wide")
        << with(tspl, "pages", QJsonArray{pngBase64(thermalLabel(400, 240)), pngBase64(thermalLabel(402, 240))}) << "打印页图像无效";
    QTest::newRow("page at another resolution") << with(tspl, "resolution", 300) << "打印页图像无效";
    QTest::newRow("page not an image") << with(zpl, "pages", QJsonArray{"data:,bm90IGFuIGltYWdl"}) << "打印页图像无效";
    QTest::newRow("queue not accepting jobs") << with(epl, "printerName", closedRawQueue) << "打印系统拒绝了打印任务";
}

void LabelLanguageTest::refusedLanguageJob_printsNothing()
{
    QFETCH(QJsonObject, payload);
    QFETCH(QString, message);
    const int jobsBefore = server.jobIds().size();

    const QJsonObject reply = parsed(bridge.submitPrintJob(payloadText(payload)));
    const QString error = reply.value("error").toString();
    QCOMPARE(reply.value("ok"), QJsonValue(false));
    QVERIFY2(error == message || error.startsWith(message + "："), qPrintable(error));
    QCOMPARE(server.jobIds().size(), jobsBefore);
}

QUILLMARK_TEST_MAIN(LabelLanguageTest)
#include "tst_labellanguage.moc"
