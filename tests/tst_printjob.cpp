// The image format below is compiled into this test and registered as a static plug-in.
#define QT_STATICPLUGIN

#include "DesktopBridge.h"
#include "LabelPages.h"
#include "LabelDecoder.h"
#include "PrintServer.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QImageIOPlugin>
#include <QJsonArray>
#include <QPainter>
#include <QProcess>

// An image format that, like some image plug-ins, tells its size only by decoding.
class SizelessFormat : public QImageIOPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "sizeless-format.json")

    class Handler : public QImageIOHandler
    {
    public:
        bool canRead() const override { return device()->peek(8) == "SIZELESS"; }
        bool read(QImage *image) override
        {
            device()->readAll();
            *image = QImage(40, 24, QImage::Format_RGB32);
            image->fill(Qt::black);
            return true;
        }
    };

public:
    Capabilities capabilities(QIODevice *device, const QByteArray &format) const override
    {
        return format == "sizeless" || (device && device->isReadable() && device->peek(8) == "SIZELESS") ? CanRead : Capabilities();
    }
    QImageIOHandler *create(QIODevice *device, const QByteArray &format) const override
    {
        auto *handler = new Handler;
        handler->setDevice(device);
        handler->setFormat(format);
        return handler;
    }
};
Q_IMPORT_PLUGIN(SizelessFormat)

namespace {

const QString labelQueue = "label";
const QString sheetQueue = "sheet";
const QString closedQueue = "closed";
// CUPS' own label drivers, printing to files in the server's folder.
const QString zplQueue = "zpl";
const QString zpl300Queue = "zpl300";
const QString eplQueue = "epl2";
const QString landscapeQueue = "zpl-landscape";
const QString noDriverQueue = "plain";

// The four quadrants of a label image, top left, top right, bottom left, bottom right:
// a page turned or mirrored by the printing path shows them in other corners.
const QList<QColor> quadrantColours = {Qt::red, Qt::green, Qt::blue, Qt::yellow};

QImage quadrantImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int i = 0; i < 4; ++i)
        painter.fillRect(i % 2 * (width / 2), i / 2 * (height / 2), width, height, quadrantColours[i]);
    return image;
}

QByteArray imageFile(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

bool isDot(const QImage &image, int x, int y)
{
    return qGray(image.pixel(x, y)) < 128;
}

// The printed dots against the page sent, over the area both cover but their last row and
// column: rounding the page to whole points may duplicate or drop one there.
QString dotsDiffering(const QImage &printed, const QImage &sent)
{
    if (qAbs(printed.width() - sent.width()) > 1 || qAbs(printed.height() - sent.height()) > 1)
        return QStringLiteral("printed %1 x %2 dots for %3 x %4")
            .arg(printed.width()).arg(printed.height()).arg(sent.width()).arg(sent.height());
    int differing = 0;
    QString first;
    for (int y = 0; y + 1 < qMin(printed.height(), sent.height()); ++y) {
        for (int x = 0; x + 1 < qMin(printed.width(), sent.width()); ++x) {
            if (isDot(printed, x, y) != isDot(sent, x, y) && differing++ == 0)
                first = QStringLiteral(", the first at %1, %2").arg(x).arg(y);
        }
    }
    return differing == 0 ? QString() : QString::number(differing) + QStringLiteral(" dots differ") + first;
}

QJsonObject labelJob(const QJsonArray &pages, double widthMm = 50, double heightMm = 30,
                     const QString &queue = labelQueue)
{
    return {{"printerName", queue}, {"pages", pages}, {"pageWidthMm", widthMm}, {"pageHeightMm", heightMm}};
}

bool replyOk(const QString &reply)
{
    return parsed(reply).value("ok") == QJsonValue(true);
}

QByteArray runTool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(20000) || tool.exitCode() != 0)
        return QByteArray();
    return tool.readAllStandardOutput();
}

constexpr double renderedDpi = 100;

QList<QImage> renderedPages(const QString &pdfPath)
{
    QTemporaryDir folder;
    runTool("pdftoppm", {"-r", QString::number(renderedDpi), "-png", pdfPath, folder.filePath("page")});
    QList<QImage> pages;
    for (const QString &name : QDir(folder.path()).entryList(QDir::Files, QDir::Name))
        pages.append(QImage(folder.filePath(name)));
    return pages;
}

// The quadrants in their own corners, out to the outermost pixels but one at the right and
// bottom, where Qt's whole-point page may run past the label by under a point. Compared in
// grey, as a printer without colour receives them; their four greys lie 40 apart.
bool showsQuadrantsEdgeToEdge(const QImage &page)
{
    const int right = page.width() - 2;
    const int bottom = page.height() - 2;
    const QPoint corners[] = {{0, 0}, {right, 0}, {0, bottom}, {right, bottom}};
    for (int i = 0; i < 4; ++i) {
        if (qAbs(qGray(page.pixel(corners[i])) - qGray(quadrantColours[i].rgb())) > 15)
            return false;
    }
    return true;
}

} // namespace

class PrintJobTest : public QObject
{
    Q_OBJECT

public:
    IsolatedUserState *userState = nullptr;

private slots:
    void initTestCase();
    void cleanupTestCase() { server.stop(); }
    void refusedJob_repliesFirstFailedCheckAndPrintsNothing_data();
    void refusedJob_repliesFirstFailedCheckAndPrintsNothing();
    void labelPages_printAtExactSizeUnrotatedEdgeToEdge_data();
    void labelPages_printAtExactSizeUnrotatedEdgeToEdge();
    void labelDots_matchThePageDotForDot_data();
    void labelDots_matchThePageDotForDot();
    void pageImages_reachThePdfLossless_data();
    void pageImages_reachThePdfLossless();
    void jobDetails_areRecordedAsCupsReceivedThem_data();
    void jobDetails_areRecordedAsCupsReceivedThem();
    void jobName_takesOneLineOfThePageLog();
    void printerOptions_listWhatTheDriverOffers_data();
    void printerOptions_listWhatTheDriverOffers();
    void printerOptions_ofNoPrinterOrAnUnknownOne_areRefused();
    void printerSettings_reachThePrinterLanguage_data();
    void printerSettings_reachThePrinterLanguage();

private:
    // Submits the payload and returns the reply; the job CUPS made of it, if any, goes to *job.
    QString submit(const QJsonObject &payload, QJsonObject *job = nullptr);
    // Submits the payload, waits for the driver and reads its output back into labels.
    DecodedLabels printLabels(const QJsonObject &payload);

    DesktopBridge bridge{nullptr, nullptr};
    PrintServer server;
};

void PrintJobTest::initTestCase()
{
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    using Driver = PrintServer::Driver;
    const bool ready = server.addQueue(labelQueue) && server.configureQueue(labelQueue, {"-D", "Label printer"})
        && server.addQueue(sheetQueue, Driver::A4Only) && server.addQueue(closedQueue)
        && server.setAcceptingJobs(closedQueue, false) && server.addQueue(zplQueue, Driver::Zpl)
        && server.addQueue(zpl300Queue, Driver::Zpl) && server.configureQueue(zpl300Queue, {"-o", "Resolution=300dpi"})
        && server.addQueue(landscapeQueue, Driver::Zpl)
        && server.configureQueue(landscapeQueue, {"-o", "orientation-requested-default=4"})
        && server.addQueue(eplQueue, Driver::Epl2) && server.addQueue(noDriverQueue, Driver::None);
    QVERIFY2(ready, qPrintable(server.errorString()));
}

QString PrintJobTest::submit(const QJsonObject &payload, QJsonObject *job)
{
    const QString queue = payload.value("printerName").toString();
    const int jobsBefore = server.jobIds(queue).size();
    const QString reply = bridge.submitPrintJob(payloadText(payload));
    const QList<int> after = server.jobIds(queue);
    if (job)
        *job = after.size() == jobsBefore + 1 ? server.jobAttributes(after.last()) : QJsonObject();
    return reply;
}

DecodedLabels PrintJobTest::printLabels(const QJsonObject &payload)
{
    QJsonObject job;
    const QString reply = submit(payload, &job);
    DecodedLabels labels;
    if (!replyOk(reply) || job.isEmpty())
        labels.error = QStringLiteral("not printed: ") + reply;
    else if (!server.waitUntilCompleted(job.value("job-id").toInt()))
        labels.error = server.errorString();
    else
        labels = decodeLabels(readAll(server.outputPath(payload.value("printerName").toString())));
    return labels;
}

// Checked in this order, before anything reaches the printing system; the printing system's
// own refusals come last, its reason after "：".
void PrintJobTest::refusedJob_repliesFirstFailedCheckAndPrintsNothing_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<QString>("message");
    auto row = [](const char *name, const QJsonObject &payload, const QString &message) {
        QTest::newRow(name) << payloadText(payload) << message;
    };
    const QString noPrinter = "未选择打印机";
    const QString noPages = "没有可打印的页面";
    const QString badSize = "无效的页面尺寸";
    const QString notFound = "系统中未找到所选打印机";
    const QString notOffered = "打印机不支持所选设置：";
    const QString badImage = "打印页图像无效";
    const QString page = pngBase64(quadrantImage(60, 40));
    const QJsonObject good = labelJob({page});
    const QJsonObject onZpl = with(good, "printerName", zplQueue);

    QTest::newRow("empty text") << QString() << noPrinter;
    QTest::newRow("malformed text") << "{\"printerName\":" << noPrinter;
    row("everything wrong: printer first", with(with(good, "printerName", ""), "pages", QJsonArray()), noPrinter);
    row("printer only: pages before size", {{"printerName", labelQueue}}, noPages);
    row("width 0", with(good, "pageWidthMm", 0), badSize);
    row("height negative", with(good, "pageHeightMm", -30), badSize);
    row("height past every integer", with(good, "pageHeightMm", 1e300), badSize);
    row("height missing, printer unknown: size first",
        with(with(good, "pageHeightMm", QJsonValue::Undefined), "printerName", "nowhere"), badSize);
    row("unknown printer", with(good, "printerName", "nowhere"), notFound);
    row("printer name in other letter case", with(good, "printerName", "Label"), notFound);
    row("unknown printer and a bad page: printer first", with(with(good, "printerName", "nowhere"), "pages", QJsonArray{3}),
        notFound);
    row("darkness the driver does not offer", with(onZpl, "options", QJsonObject{{"zePrintRate", "4"}, {"Darkness", "99"}}),
        notOffered + "Darkness=99");
    row("page size, which the host sets", with(onZpl, "options", QJsonObject{{"PageSize", "w144h90"}}),
        notOffered + "PageSize=w144h90");
    row("resolution the driver does not offer", with(onZpl, "resolution", 1200), notOffered + "Resolution=1200");
    row("any option on a printer without a driver",
        with(with(good, "printerName", noDriverQueue), "options", QJsonObject{{"Darkness", "1"}}), notOffered + "Darkness=1");
    row("label size on an A4-only printer", with(good, "printerName", sheetQueue), "打印机不支持此页面尺寸");
    // CUPS' EPL2 driver takes sizes of its own from 12.7 to 101.6 mm wide; the host never turns a label.
    row("label wider than the EPL2 driver takes", labelJob({page}, 150, 100, eplQueue), "打印机不支持此页面尺寸");
    row("resolution as a string", with(onZpl, "resolution", "300"), notOffered + "resolution=300");
    row("resolution not a whole number", with(onZpl, "resolution", 203.5), notOffered + "resolution=203.5");
    row("page a number", with(good, "pages", QJsonArray{42}), badImage);
    row("page not an image", with(good, "pages", QJsonArray{"data:,bm90IGFuIGltYWdl"}), badImage);
    row("second of three pages not an image", with(good, "pages", QJsonArray{page, "%%%", page}), badImage);
    row("last page cut short", with(good, "pages", QJsonArray{page, page.left(page.size() / 2)}), badImage);
    const QByteArray jpeg = imageFile(quadrantImage(60, 40), "JPEG");
    row("JPEG page cut short", with(good, "pages", QJsonArray{QString::fromLatin1(jpeg.left(jpeg.size() - 40).toBase64())}), badImage);
    const QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' width='60' height='40'><rect width='60' height='40'/></svg>";
    row("SVG page", with(good, "pages", QJsonArray{QString::fromLatin1(svg.toBase64())}), badImage);
    row("page in a format that tells no size before decoding",
        with(good, "pages", QJsonArray{QString::fromLatin1(QByteArray("SIZELESS").toBase64())}), badImage);
    const QString refused = "打印系统拒绝了打印任务";
    row("queue not accepting jobs", with(good, "printerName", closedQueue), refused);
    row("copies above the server's maximum", with(good, "copies", 100000), refused);
}

void PrintJobTest::refusedJob_repliesFirstFailedCheckAndPrintsNothing()
{
    QFETCH(QString, payload);
    QFETCH(QString, message);
    const int jobsBefore = server.jobIds().size();

    const QJsonObject reply = parsed(bridge.submitPrintJob(payload));
    const QString error = reply.value("error").toString();
    QCOMPARE(reply.value("ok"), QJsonValue(false));
    QVERIFY2(error == message || error.startsWith(message + "："), qPrintable(error));
    QCOMPARE(server.jobIds().size(), jobsBefore);
}

// On a label printer and on a printer the server describes without a driver.
void PrintJobTest::labelPages_printAtExactSizeUnrotatedEdgeToEdge_data()
{
    QTest::addColumn<QString>("queue");
    QTest::addColumn<double>("widthMm");
    QTest::addColumn<double>("heightMm");

    QTest::newRow("landscape 50 x 30") << labelQueue << 50.0 << 30.0;
    QTest::newRow("square 40 x 40") << labelQueue << 40.0 << 40.0;
    QTest::newRow("portrait 30 x 50") << labelQueue << 30.0 << 50.0;
    QTest::newRow("landscape A4 stays landscape") << labelQueue << 297.0 << 210.0;
    QTest::newRow("104 x 148 stays itself, not A6") << labelQueue << 104.0 << 148.0;
    QTest::newRow("no driver 50 x 30") << noDriverQueue << 50.0 << 30.0;
}

void PrintJobTest::labelPages_printAtExactSizeUnrotatedEdgeToEdge()
{
    QFETCH(QString, queue);
    QFETCH(double, widthMm);
    QFETCH(double, heightMm);
    // The image's proportions match none of the pages: it must be stretched, not fitted. Pages
    // come with and without a data-URL header.
    const QString bare = pngBase64(quadrantImage(90, 120));
    const QString withHeader = QStringLiteral("data:image/png;base64,") + bare;

    QJsonObject job;
    QVERIFY(replyOk(submit(labelJob({withHeader, bare, withHeader}, widthMm, heightMm, queue), &job)));
    const int id = job.value("job-id").toInt();
    QVERIFY2(server.waitUntilCompleted(id), qPrintable(server.errorString()));

    const QList<QImage> pages = renderedPages(server.keptDocumentPath(id));
    QCOMPARE(pages.size(), 3);
    for (int i = 0; i < pages.size(); ++i) {
        // Qt rounds custom sizes to whole points, pdftoppm to whole pixels.
        const QSizeF mm = QSizeF(pages[i].size()) * 25.4 / renderedDpi;
        QVERIFY2(qAbs(mm.width() - widthMm) < 0.5 && qAbs(mm.height() - heightMm) < 0.5,
                 qPrintable(QStringLiteral("page %1 is %2 x %3 mm").arg(i + 1).arg(mm.width()).arg(mm.height())));
        QVERIFY2(showsQuadrantsEdgeToEdge(pages[i]), qPrintable(QStringLiteral("page %1").arg(i + 1)));
    }
}

void PrintJobTest::labelDots_matchThePageDotForDot_data()
{
    QTest::addColumn<QString>("queue");
    QTest::addColumn<double>("widthMm");
    QTest::addColumn<double>("heightMm");
    QTest::addColumn<int>("dpi");

    for (const QString &queue : {zplQueue, eplQueue}) {
        QTest::addRow("%s 50 x 30", qPrintable(queue)) << queue << 50.0 << 30.0 << 203;
        QTest::addRow("%s 60 x 40", qPrintable(queue)) << queue << 60.0 << 40.0 << 203;
        QTest::addRow("%s 100 x 150", qPrintable(queue)) << queue << 100.0 << 150.0 << 203;
        // The drivers list 2 x 1.25 in (50.8 x 31.75 mm): a near label must not be snapped to it.
        QTest::addRow("%s 51 x 31, near a listed size", qPrintable(queue)) << queue << 51.0 << 31.0 << 203;
    }
    QTest::newRow("zpl 50 x 80, within 0.1 mm of the listed 80x50mm") << zplQueue << 50.0 << 80.0 << 203;
    QTest::newRow("zpl at 300 dpi 50 x 30") << zpl300Queue << 50.0 << 30.0 << 300;
    QTest::newRow("zpl at 300 dpi 100 x 150") << zpl300Queue << 100.0 << 150.0 << 300;
    QTest::newRow("queue whose default is landscape") << landscapeQueue << 50.0 << 30.0 << 203;
}

void PrintJobTest::labelDots_matchThePageDotForDot()
{
    QFETCH(QString, queue);
    QFETCH(double, widthMm);
    QFETCH(double, heightMm);
    QFETCH(int, dpi);
    const QImage page = thermalLabel(qRound(widthMm / 25.4 * dpi), qRound(heightMm / 25.4 * dpi));

    const DecodedLabels labels = printLabels(labelJob({pngBase64(page), pngBase64(page)}, widthMm, heightMm, queue));
    QVERIFY2(labels.error.isEmpty(), qPrintable(labels.error));
    QCOMPARE(labels.pages.size(), 2);
    for (const QImage &printed : labels.pages) {
        const QString difference = dotsDiffering(printed, page);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
}

void PrintJobTest::pageImages_reachThePdfLossless_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("pdfImage"); // pdfimages -list: colour, components, bits, encoding

    // A picture of many colours, which Qt would store as JPEG were it allowed to.
    QImage picture(240, 160, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb((x * 7 + y * 3) % 256, (x * y) % 256, (x * x + y * 5) % 251));
    }
    QTest::newRow("colour picture") << pngBase64(picture) << "rgb 3 8 image";
    QTest::newRow("1-bit page from Qt's encoder") << pngBase64(thermalLabel(400, 240)) << "gray 1 1 image";
}

void PrintJobTest::pageImages_reachThePdfLossless()
{
    QFETCH(QString, page);
    QFETCH(QString, pdfImage);
    const QImage sent = QImage::fromData(QByteArray::fromBase64(page.toLatin1()));

    QJsonObject job;
    QVERIFY(replyOk(submit(labelJob({page}, 60, 40), &job)));
    const QString pdf = server.keptDocumentPath(job.value("job-id").toInt());
    const QStringList listed = QString::fromUtf8(runTool("pdfimages", {"-list", pdf})).split('\n').value(2).simplified().split(' ');
    QCOMPARE(listed.mid(5, 4).join(' '), pdfImage);

    // Every pixel comes back as it went: no JPEG artefacts, and 1-bit pages not inverted.
    QTemporaryDir folder;
    runTool("pdfimages", {"-png", pdf, folder.filePath("page")});
    const QImage extracted(folder.filePath("page-000.png"));
    QCOMPARE(extracted.convertToFormat(QImage::Format_RGB32), sent.convertToFormat(QImage::Format_RGB32));
}

// What the printing system recorded of the job, and the reply that names the printer.
void PrintJobTest::jobDetails_areRecordedAsCupsReceivedThem_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QJsonValue>("recorded");
    const QJsonValue missing(QJsonValue::Undefined);
    const QString fallback = "标签打印";

    QTest::newRow("copies missing") << "copies" << missing << QJsonValue(1);
    QTest::newRow("copies 0") << "copies" << QJsonValue(0) << QJsonValue(1);
    QTest::newRow("3 copies") << "copies" << QJsonValue(3) << QJsonValue(3);
    QTest::newRow("job name missing") << "jobName" << missing << QJsonValue(fallback);
    QTest::newRow("job name given") << "jobName" << QJsonValue("货架标签 A-3") << QJsonValue("货架标签 A-3");
    QTest::newRow("empty job name stays empty") << "jobName" << QJsonValue("") << QJsonValue("");
    // A line break in the name would start a line of its own in CUPS' page log.
    QTest::newRow("control characters become spaces") << "jobName" << QJsonValue("货架\nE 2026-12-07\r\t\u001b[1m")
                                                      << QJsonValue("货架 E 2026-12-07   [1m");
    // 255 bytes of UTF-8 at most, as IPP's names hold: 85 characters of three bytes each.
    QTest::newRow("name cut to 255 bytes between characters") << "jobName" << QJsonValue(QString(100, QChar(0x6807)))
                                                              << QJsonValue(QString(85, QChar(0x6807)));
}

void PrintJobTest::jobDetails_areRecordedAsCupsReceivedThem()
{
    QFETCH(QString, key);
    QFETCH(QJsonValue, value);
    QFETCH(QJsonValue, recorded);

    QJsonObject job;
    QCOMPARE(submit(with(labelJob({pngBase64(quadrantImage(60, 40))}), key, value), &job),
             QStringLiteral("{\"ok\":true,\"printerDisplayName\":\"Label printer\",\"printerName\":\"label\"}"));
    QVERIFY2(!job.isEmpty(), "no job reached the printing system");
    const QJsonValue seen = job.value(key == "copies" ? "copies" : "job-name");
    // Qt leaves "copies" out for a single copy, which IPP reads as one.
    QCOMPARE(seen.isUndefined() && key == "copies" ? QJsonValue(1) : seen, recorded);
}

// CUPS' page log has a line for each page a driver printed, naming the job: a name with a line
// break would add a line of the page's own making.
void PrintJobTest::jobName_takesOneLineOfThePageLog()
{
    const QString forged = "zpl root 999 [07/Dec/2026:00:00:00 +0000] 1 1 - localhost forged";
    QJsonObject payload = labelJob({pngBase64(thermalLabel(400, 240))}, 50, 30, zplQueue);
    payload.insert("jobName", "货架\n" + forged);
    const DecodedLabels labels = printLabels(payload);
    QVERIFY2(labels.error.isEmpty(), qPrintable(labels.error));

    const QStringList lines = QString::fromUtf8(readAll(server.pageLogPath())).split('\n', Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    for (const QString &line : lines)
        QVERIFY2(!line.startsWith("zpl root 999 "), qPrintable(line));
    QVERIFY2(lines.last().contains("货架 " + forged), qPrintable(lines.last()));
}

// "name/label default of choice,choice" for one option of a printerOptions reply.
QString optionSummary(const QJsonObject &option)
{
    QStringList choices;
    for (const QJsonValue &choice : option.value("choices").toArray())
        choices.append(choice.toObject().value("name").toString());
    return option.value("name").toString() + '/' + option.value("label").toString() + ' '
        + option.value("defaultChoice").toString() + " of " + choices.join(',');
}

void PrintJobTest::printerOptions_listWhatTheDriverOffers_data()
{
    QTest::addColumn<QString>("printerName");
    QTest::addColumn<QStringList>("names");   // every option, in the driver's order
    QTest::addColumn<QStringList>("options"); // some of them in full
    QTest::addColumn<QString>("resolutions");

    const QStringList zplNames{"zeMediaTracking", "MediaType",  "Darkness", "zePrintRate",
                               "zeLabelTop", "zePrintMode", "zeTearOffPosition", "zeErrorReprint"};
    QStringList darkness;
    for (int level = 1; level <= 30; ++level)
        darkness.append(QString::number(level));
    const QStringList zplOptions{"zeMediaTracking/Media Tracking Web of Continuous,Web,Mark",
                                 "Darkness/Darkness -1 of -1," + darkness.join(','),
                                 "zePrintRate/Print Rate Default of Default,1,2,3,4,5,6,7,8,9,10,11,12"};
    QTest::newRow("ZPL driver") << zplQueue << zplNames << zplOptions << "[203,300,600] 203";
    QTest::newRow("ZPL driver set to 300 dpi") << zpl300Queue << zplNames << zplOptions << "[203,300,600] 300";
    QTest::newRow("EPL2 driver") << eplQueue << QStringList{"MediaType", "Darkness", "zePrintRate"}
                                 << QStringList{"MediaType/Media Type Saved of Saved,Thermal,Direct",
                                                "zePrintRate/Print Rate Default of Default,1,1.5,2,2.5,3,4,5,6"}
                                 << "[203,300,600] 203";
    QTest::newRow("no driver") << noDriverQueue << QStringList() << QStringList() << "[] 0";
}

void PrintJobTest::printerOptions_listWhatTheDriverOffers()
{
    QFETCH(QString, printerName);
    QFETCH(QStringList, names);
    QFETCH(QStringList, options);
    QFETCH(QString, resolutions);

    const QJsonObject reply = parsed(bridge.printerOptions(printerName));
    QCOMPARE(reply.value("ok"), QJsonValue(true));
    QCOMPARE(reply.value("printerName").toString(), printerName);
    QStringList listedNames;
    QStringList summaries;
    for (const QJsonValue &option : reply.value("options").toArray()) {
        listedNames.append(option.toObject().value("name").toString());
        summaries.append(optionSummary(option.toObject()));
    }
    QCOMPARE(listedNames, names);
    for (const QString &option : options)
        QVERIFY2(summaries.contains(option), qPrintable(summaries.join('\n')));
    QCOMPARE(QString::fromUtf8(QJsonDocument(reply.value("resolutions").toArray()).toJson(QJsonDocument::Compact)) + ' '
                 + QString::number(reply.value("defaultResolution").toInt()),
             resolutions);
}

void PrintJobTest::printerOptions_ofNoPrinterOrAnUnknownOne_areRefused()
{
    QCOMPARE(bridge.printerOptions(QString()), errorReply("未选择打印机"));
    QCOMPARE(bridge.printerOptions("Zpl"), errorReply("系统中未找到所选打印机"));
}

void PrintJobTest::printerSettings_reachThePrinterLanguage_data()
{
    QTest::addColumn<QString>("queue");
    QTest::addColumn<QJsonObject>("settings");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("labelHeight");

    QTest::newRow("none: the driver's defaults") << zplQueue << QJsonObject() << QStringList{"^PW400"} << 240;
    QTest::newRow("darkness and print rate")
        << zplQueue << QJsonObject{{"options", QJsonObject{{"Darkness", "20"}, {"zePrintRate", "4"}}}}
        << QStringList{"~SD20", "^PR4,4,4"} << 240;
    QTest::newRow("300 dpi on a 203 dpi queue") << zplQueue << QJsonObject{{"resolution", 300}} << QStringList{"^PW591"} << 354;
    QTest::newRow("EPL2 darkness and speed")
        << eplQueue << QJsonObject{{"options", QJsonObject{{"Darkness", "30"}, {"zePrintRate", "2"}}}}
        << QStringList{"D15", "S2"} << 240;
}

void PrintJobTest::printerSettings_reachThePrinterLanguage()
{
    QFETCH(QString, queue);
    QFETCH(QJsonObject, settings);
    QFETCH(QStringList, commands);
    QFETCH(int, labelHeight);
    QJsonObject payload = labelJob({pngBase64(thermalLabel(400, 240))}, 50, 30, queue);
    for (auto it = settings.constBegin(); it != settings.constEnd(); ++it)
        payload.insert(it.key(), it.value());

    const DecodedLabels labels = printLabels(payload);
    QVERIFY2(labels.error.isEmpty(), qPrintable(labels.error));
    const QStringList printed = labels.commands.split('\n');
    for (const QString &command : commands)
        QVERIFY2(printed.contains(command), qPrintable(command + " missing from:\n" + labels.commands));
    QCOMPARE(labels.pages.size(), 1);
    QCOMPARE(labels.pages.first().height(), labelHeight);
}

QUILLMARK_TEST_MAIN(PrintJobTest)
#include "tst_printjob.moc"
