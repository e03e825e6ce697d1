#include "DesktopBridge.h"
#include "PrintServer.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDataStream>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>

namespace {

const QString labelQueue = QStringLiteral("label");
const QString labelQueueDescription = QStringLiteral("Label printer");
const QString sheetQueue = QStringLiteral("sheet");
const QString closedQueue = QStringLiteral("closed");
const QString jobRefused = QStringLiteral("打印系统拒绝了打印任务");

// The four quadrants of a label image, top left, top right, bottom left, bottom right:
// a page turned or mirrored by the printing path shows them in other corners.
const QList<QColor> quadrantColours = {Qt::red, Qt::green, Qt::blue, Qt::yellow};

QImage quadrantImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    const int halfWidth = width / 2;
    const int halfHeight = height / 2;
    painter.fillRect(0, 0, halfWidth, halfHeight, quadrantColours[0]);
    painter.fillRect(halfWidth, 0, width - halfWidth, halfHeight, quadrantColours[1]);
    painter.fillRect(0, halfHeight, halfWidth, height - halfHeight, quadrantColours[2]);
    painter.fillRect(halfWidth, halfHeight, width - halfWidth, height - halfHeight, quadrantColours[3]);
    return image;
}

QString pngBase64(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QString::fromLatin1(bytes.toBase64());
}

quint32 pngCrc(const QByteArray &bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    QByteArray chunk;
    QDataStream stream(&chunk, QIODevice::WriteOnly);
    stream << quint32(data.size());
    stream.writeRawData(type.constData(), type.size());
    stream.writeRawData(data.constData(), data.size());
    stream << pngCrc(type + data);
    return chunk;
}

// A complete black grey-scale PNG of any size, without ever holding the image: its rows of
// zeros compress to a few bytes each.
QString blankPngBase64(quint32 width, quint32 height)
{
    QByteArray header;
    QDataStream stream(&header, QIODevice::WriteOnly);
    stream << width << height << quint8(8) << quint8(0) << quint8(0) << quint8(0) << quint8(0);
    const QByteArray rows(int(height * (width + 1)), '\0');
    const QByteArray zlibStream = qCompress(rows).mid(4); // qCompress puts the length first
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", zlibStream)
        + pngChunk("IEND", QByteArray());
    return QString::fromLatin1(png.toBase64());
}

QString dataUrl(const QImage &image)
{
    return QStringLiteral("data:image/png;base64,") + pngBase64(image);
}

QString jsonText(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonObject labelJob(const QJsonArray &pages, double widthMm = 50, double heightMm = 30)
{
    return {{QStringLiteral("printerName"), labelQueue},
            {QStringLiteral("pages"), pages},
            {QStringLiteral("pageWidthMm"), widthMm},
            {QStringLiteral("pageHeightMm"), heightMm}};
}

QJsonObject with(QJsonObject object, const QString &key, const QJsonValue &value)
{
    object.insert(key, value);
    return object;
}

QJsonObject without(QJsonObject object, const QString &key)
{
    object.remove(key);
    return object;
}

QJsonObject parsedReply(const QString &reply)
{
    return QJsonDocument::fromJson(reply.toUtf8()).object();
}

bool replyOk(const QString &reply)
{
    return parsedReply(reply).value(QStringLiteral("ok")) == QJsonValue(true);
}

QString errorReply(const QString &message)
{
    return QStringLiteral("{\"error\":\"") + message + QStringLiteral("\",\"ok\":false}");
}

QByteArray runTool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(20000) || tool.exitCode() != 0)
        return QByteArray();
    return tool.readAllStandardOutput();
}

// Page sizes in millimetres as the PDF's media boxes give them.
QList<QSizeF> pdfPageSizes(const QString &pdfPath)
{
    const QString output = QString::fromUtf8(
        runTool(QStringLiteral("pdfinfo"), {QStringLiteral("-box"), QStringLiteral("-f"), QStringLiteral("1"),
                                            QStringLiteral("-l"), QStringLiteral("100000"), pdfPath}));
    static const QRegularExpression mediaBox(
        QStringLiteral("^Page\\s+\\d+ MediaBox:\\s+(\\S+)\\s+(\\S+)\\s+(\\S+)\\s+(\\S+)"),
        QRegularExpression::MultilineOption);
    const double mmPerPoint = 25.4 / 72;
    QList<QSizeF> sizes;
    for (auto match = mediaBox.globalMatch(output); match.hasNext();) {
        const QRegularExpressionMatch box = match.next();
        sizes.append(QSizeF((box.captured(3).toDouble() - box.captured(1).toDouble()) * mmPerPoint,
                            (box.captured(4).toDouble() - box.captured(2).toDouble()) * mmPerPoint));
    }
    return sizes;
}

QImage renderedPage(const QString &pdfPath, int page)
{
    const QString number = QString::number(page);
    return QImage::fromData(runTool(QStringLiteral("pdftoppm"),
                                    {QStringLiteral("-r"), QStringLiteral("100"), QStringLiteral("-f"), number,
                                     QStringLiteral("-l"), number, QStringLiteral("-png"), pdfPath}));
}

bool sameColour(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 && qAbs(a.blue() - b.blue()) < 40;
}

// The colours in the four outermost corner pixels, in quadrant order.
QList<QColor> cornerColours(const QImage &page)
{
    const int right = page.width() - 1;
    const int bottom = page.height() - 1;
    return {page.pixelColor(0, 0), page.pixelColor(right, 0), page.pixelColor(0, bottom), page.pixelColor(right, bottom)};
}

bool showsQuadrantsEdgeToEdge(const QImage &page)
{
    const QList<QColor> corners = cornerColours(page);
    for (int i = 0; i < corners.size(); ++i) {
        if (!sameColour(corners[i], quadrantColours[i]))
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
    void cleanupTestCase();
    void refusedPayload_repliesFirstFailedCheckAndPrintsNothing_data();
    void refusedPayload_repliesFirstFailedCheckAndPrintsNothing();
    void labelPages_printAtExactSizeUnrotatedEdgeToEdge_data();
    void labelPages_printAtExactSizeUnrotatedEdgeToEdge();
    void media_isCustomUnlessWithinToleranceOfStandardPaper_data();
    void media_isCustomUnlessWithinToleranceOfStandardPaper();
    void success_repliesPrinterNameAndDisplayName();
    void pageWithAndWithoutDataUrlHeader_printTheSameImage();
    void copies_areRecordedAsCupsReceivedThem_data();
    void copies_areRecordedAsCupsReceivedThem();
    void jobName_isRecordedAsCupsReceivedIt_data();
    void jobName_isRecordedAsCupsReceivedIt();
    void jobRefusedByPrintingSystem_isReportedAsRefused_data();
    void jobRefusedByPrintingSystem_isReportedAsRefused();

private:
    // Submits the payload and returns the reply; the job CUPS made of it, if any, goes to *job.
    QString submit(const QJsonObject &payload, QJsonObject *job = nullptr);
    int jobCount();

    DesktopBridge bridge{nullptr, nullptr};
    PrintServer server;
};

void PrintJobTest::initTestCase()
{
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY2(server.addQueue(labelQueue), qPrintable(server.errorString()));
    QVERIFY2(server.configureQueue(labelQueue, {QStringLiteral("-D"), labelQueueDescription}), qPrintable(server.errorString()));
    QVERIFY2(server.addQueue(sheetQueue, PrintServer::Driver::A4Only), qPrintable(server.errorString()));
    QVERIFY2(server.addQueue(closedQueue), qPrintable(server.errorString()));
    QVERIFY2(server.setAcceptingJobs(closedQueue, false), qPrintable(server.errorString()));
}

void PrintJobTest::cleanupTestCase()
{
    server.stop();
}

int PrintJobTest::jobCount()
{
    return server.jobIds().size();
}

QString PrintJobTest::submit(const QJsonObject &payload, QJsonObject *job)
{
    const int jobsBefore = server.jobIds(labelQueue).size();
    const QString reply = bridge.submitPrintJob(jsonText(payload));
    const QList<int> after = server.jobIds(labelQueue);
    if (job)
        *job = after.size() == jobsBefore + 1 ? server.jobAttributes(after.last()) : QJsonObject();
    return reply;
}

void PrintJobTest::refusedPayload_repliesFirstFailedCheckAndPrintsNothing_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<QString>("message");

    const QString noPrinter = QStringLiteral("未选择打印机");
    const QString noPages = QStringLiteral("没有可打印的页面");
    const QString badSize = QStringLiteral("无效的页面尺寸");
    const QString notFound = QStringLiteral("系统中未找到所选打印机");
    const QString sizeNotSupported = QStringLiteral("打印机不支持此页面尺寸");
    const QString badImage = QStringLiteral("打印页图像无效");
    const QString page = pngBase64(quadrantImage(60, 40));
    const QJsonObject good = labelJob({page});
    const QString name = QStringLiteral("printerName");
    const QString pages = QStringLiteral("pages");
    const QString width = QStringLiteral("pageWidthMm");
    const QString height = QStringLiteral("pageHeightMm");

    QTest::addRow("empty text") << QString() << noPrinter;
    QTest::addRow("malformed text") << QStringLiteral("{\"printerName\":") << noPrinter;
    QTest::addRow("JSON array") << QStringLiteral("[\"label\"]") << noPrinter;
    QTest::addRow("printer name a number") << jsonText(with(good, name, 7)) << noPrinter;
    QTest::addRow("everything wrong: printer first") << jsonText(with(with(good, name, QString()), pages, QJsonArray()))
                                                      << noPrinter;
    QTest::addRow("printer only: pages before size") << jsonText({{name, labelQueue}}) << noPages;
    QTest::addRow("pages not an array") << jsonText(with(good, pages, page)) << noPages;
    QTest::addRow("width 0") << jsonText(with(good, width, 0)) << badSize;
    QTest::addRow("height negative") << jsonText(with(good, height, -30)) << badSize;
    QTest::addRow("width as a string") << jsonText(with(good, width, QStringLiteral("50"))) << badSize;
    QTest::addRow("height missing, printer unknown: size first")
        << jsonText(with(without(good, height), name, QStringLiteral("nowhere"))) << badSize;
    QTest::addRow("unknown printer") << jsonText(with(good, name, QStringLiteral("nowhere"))) << notFound;
    QTest::addRow("printer name in other letter case") << jsonText(with(good, name, QStringLiteral("Label"))) << notFound;
    QTest::addRow("unknown printer and a bad page: printer first")
        << jsonText(with(with(good, name, QStringLiteral("nowhere")), pages, QJsonArray{3})) << notFound;
    QTest::addRow("label size on an A4-only printer") << jsonText(with(good, name, sheetQueue)) << sizeNotSupported;
    QTest::addRow("page a number") << jsonText(with(good, pages, QJsonArray{42})) << badImage;
    QTest::addRow("page not an image") << jsonText(with(good, pages, QJsonArray{QStringLiteral("data:,bm90IGFuIGltYWdl")}))
                                       << badImage;
    QTest::addRow("second of three pages not an image")
        << jsonText(with(good, pages, QJsonArray{page, QStringLiteral("%%%"), page})) << badImage;
    QTest::addRow("last page cut short")
        << jsonText(with(good, pages, QJsonArray{page, page.left(page.size() / 2)})) << badImage;
    // A valid image of a hundred million pixels and one row more, in 150 KB of Base64.
    QTest::addRow("page image larger than any sheet")
        << jsonText(with(good, pages, QJsonArray{page, blankPngBase64(10000, 10001)})) << badImage;
}

void PrintJobTest::refusedPayload_repliesFirstFailedCheckAndPrintsNothing()
{
    QFETCH(QString, payload);
    QFETCH(QString, message);
    const int jobsBefore = jobCount();

    QCOMPARE(bridge.submitPrintJob(payload), errorReply(message));
    QCOMPARE(jobCount(), jobsBefore);
}

void PrintJobTest::labelPages_printAtExactSizeUnrotatedEdgeToEdge_data()
{
    QTest::addColumn<double>("widthMm");
    QTest::addColumn<double>("heightMm");

    QTest::addRow("landscape 50 x 30") << 50.0 << 30.0;
    QTest::addRow("square 40 x 40") << 40.0 << 40.0;
    QTest::addRow("portrait 30 x 50") << 30.0 << 50.0;
    QTest::addRow("landscape A4 stays landscape") << 297.0 << 210.0;
}

void PrintJobTest::labelPages_printAtExactSizeUnrotatedEdgeToEdge()
{
    QFETCH(double, widthMm);
    QFETCH(double, heightMm);
    // The image's proportions match none of the pages: it must be stretched, not fitted.
    const QString page = dataUrl(quadrantImage(90, 120));

    QJsonObject job;
    QVERIFY(replyOk(submit(labelJob({page, page, page}, widthMm, heightMm), &job)));
    QVERIFY2(!job.isEmpty(), "no job reached the printing system");

    const QString pdf = server.keptDocumentPath(job.value(QStringLiteral("job-id")).toInt());
    const QList<QSizeF> sizes = pdfPageSizes(pdf);
    QCOMPARE(sizes.size(), 3);
    for (const QSizeF &size : sizes) {
        // Qt rounds custom sizes to whole points.
        QVERIFY2(qAbs(size.width() - widthMm) < 0.5 && qAbs(size.height() - heightMm) < 0.5,
                 qPrintable(QStringLiteral("page is %1 x %2 mm").arg(size.width()).arg(size.height())));
    }
    for (int number = 1; number <= sizes.size(); ++number) {
        const QImage rendered = renderedPage(pdf, number);
        QVERIFY2(!rendered.isNull(), "pdftoppm rendered nothing");
        QVERIFY2(showsQuadrantsEdgeToEdge(rendered), qPrintable(QStringLiteral("page %1").arg(number)));
    }
}

void PrintJobTest::media_isCustomUnlessWithinToleranceOfStandardPaper_data()
{
    QTest::addColumn<double>("widthMm");
    QTest::addColumn<double>("heightMm");
    QTest::addColumn<QString>("media");

    QTest::addRow("label") << 50.0 << 30.0 << QStringLiteral("Custom.50x30mm");
    QTest::addRow("A6 exactly") << 105.0 << 148.0 << QStringLiteral("A6");
    QTest::addRow("nearly A6") << 104.8 << 148.3 << QStringLiteral("A6");
    QTest::addRow("A6 turned stays custom") << 148.0 << 105.0 << QStringLiteral("Custom.148x105mm");
}

void PrintJobTest::media_isCustomUnlessWithinToleranceOfStandardPaper()
{
    QFETCH(double, widthMm);
    QFETCH(double, heightMm);
    QFETCH(QString, media);

    QJsonObject job;
    QVERIFY(replyOk(submit(labelJob({pngBase64(quadrantImage(60, 40))}, widthMm, heightMm), &job)));
    QCOMPARE(job.value(QStringLiteral("media")).toString(), media);
}

void PrintJobTest::success_repliesPrinterNameAndDisplayName()
{
    const QString reply = submit(labelJob({pngBase64(quadrantImage(60, 40))}));
    QCOMPARE(reply, QStringLiteral("{\"ok\":true,\"printerDisplayName\":\"") + labelQueueDescription
                        + QStringLiteral("\",\"printerName\":\"") + labelQueue + QStringLiteral("\"}"));
}

void PrintJobTest::pageWithAndWithoutDataUrlHeader_printTheSameImage()
{
    const QImage image = quadrantImage(80, 48);
    QJsonObject withHeader;
    QJsonObject bare;
    QVERIFY(replyOk(submit(labelJob({dataUrl(image)}), &withHeader)));
    QVERIFY(replyOk(submit(labelJob({pngBase64(image)}), &bare)));

    const QImage first = renderedPage(server.keptDocumentPath(withHeader.value(QStringLiteral("job-id")).toInt()), 1);
    const QImage second = renderedPage(server.keptDocumentPath(bare.value(QStringLiteral("job-id")).toInt()), 1);
    QVERIFY(!first.isNull());
    QVERIFY(showsQuadrantsEdgeToEdge(first));
    QCOMPARE(second, first);
}

void PrintJobTest::copies_areRecordedAsCupsReceivedThem_data()
{
    QTest::addColumn<QJsonValue>("copies");
    QTest::addColumn<int>("recorded");

    QTest::addRow("missing") << QJsonValue(QJsonValue::Undefined) << 1;
    QTest::addRow("0") << QJsonValue(0) << 1;
    QTest::addRow("-3") << QJsonValue(-3) << 1;
    QTest::addRow("2.5") << QJsonValue(2.5) << 1;
    QTest::addRow("true") << QJsonValue(true) << 1;
    QTest::addRow("string 2") << QJsonValue(QStringLiteral("2")) << 1;
    QTest::addRow("3") << QJsonValue(3) << 3;
}

void PrintJobTest::copies_areRecordedAsCupsReceivedThem()
{
    QFETCH(QJsonValue, copies);
    QFETCH(int, recorded);
    QJsonObject payload = labelJob({pngBase64(quadrantImage(60, 40))});
    if (!copies.isUndefined())
        payload.insert(QStringLiteral("copies"), copies);

    QJsonObject job;
    QVERIFY(replyOk(submit(payload, &job)));
    QVERIFY2(!job.isEmpty(), "no job reached the printing system");
        // Qt leaves "copies" out for a single copy, which IPP reads as one.
    const QJsonValue recordedCopies = job.contains(QStringLiteral("copies")) ? job.value(QStringLiteral("copies")) : QJsonValue(1);
    QCOMPARE(recordedCopies, QJsonValue(recorded));
}

void PrintJobTest::jobName_isRecordedAsCupsReceivedIt_data()
{
    QTest::addColumn<QJsonValue>("jobName");
    QTest::addColumn<QString>("recorded");

    const QString fallback = QStringLiteral("标签打印");
    QTest::addRow("missing") << QJsonValue(QJsonValue::Undefined) << fallback;
    QTest::addRow("a number") << QJsonValue(12) << fallback;
    QTest::addRow("given") << QJsonValue(QStringLiteral("货架标签 A-3")) << QStringLiteral("货架标签 A-3");
    QTest::addRow("empty stays empty") << QJsonValue(QString()) << QString();
}

void PrintJobTest::jobName_isRecordedAsCupsReceivedIt()
{
    QFETCH(QJsonValue, jobName);
    QFETCH(QString, recorded);
    QJsonObject payload = labelJob({pngBase64(quadrantImage(60, 40))});
    if (!jobName.isUndefined())
        payload.insert(QStringLiteral("jobName"), jobName);

    QJsonObject job;
    QVERIFY(replyOk(submit(payload, &job)));
    QVERIFY2(!job.isEmpty(), "no job reached the printing system");
    QCOMPARE(job.value(QStringLiteral("job-name")).toString(), recorded);
}

void PrintJobTest::jobRefusedByPrintingSystem_isReportedAsRefused_data()
{
    QTest::addColumn<QString>("printerName");
    QTest::addColumn<int>("copies");

    QTest::addRow("queue not accepting jobs") << closedQueue << 1;
    QTest::addRow("copies above the server's maximum") << labelQueue << 100000;
}

void PrintJobTest::jobRefusedByPrintingSystem_isReportedAsRefused()
{
    QFETCH(QString, printerName);
    QFETCH(int, copies);
    QJsonObject payload = labelJob({pngBase64(quadrantImage(60, 40))});
    payload.insert(QStringLiteral("printerName"), printerName);
    payload.insert(QStringLiteral("copies"), copies);
    const int jobsBefore = jobCount();

    const QJsonObject reply = parsedReply(bridge.submitPrintJob(jsonText(payload)));
    QCOMPARE(reply.value(QStringLiteral("ok")), QJsonValue(false));
    QVERIFY2(reply.value(QStringLiteral("error")).toString().startsWith(jobRefused),
             qPrintable(reply.value(QStringLiteral("error")).toString()));
    QCOMPARE(jobCount(), jobsBefore);
}

QUILLMARK_TEST_MAIN(PrintJobTest)
#include "tst_printjob.moc"
