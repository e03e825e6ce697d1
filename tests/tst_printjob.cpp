// The image format below is compiled into this test and registered as a static plug-in.
#define QT_STATICPLUGIN

#include "DesktopBridge.h"
#include "LabelDecoder.h"
#include "PrintServer.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDataStream>
#include <QImageIOPlugin>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>

// An image format that, like some image plug-ins, tells its size only by decoding.
class SizelessFormat : public QImageIOPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "sizeless-format.json")

public:
    Capabilities capabilities(QIODevice *device, const QByteArray &format) const override
    {
        return format == "sizeless" || (device && device->peek(8) == "SIZELESS") ? CanRead : Capabilities();
    }
    QImageIOHandler *create(QIODevice *device, const QByteArray &format) const override
    {
        auto *handler = new Handler;
        handler->setDevice(device);
        handler->setFormat(format);
        return handler;
    }

private:
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
};
Q_IMPORT_PLUGIN(SizelessFormat)

namespace {

const QString labelQueue = QStringLiteral("label");
const QString labelQueueDescription = QStringLiteral("Label printer");
const QString sheetQueue = QStringLiteral("sheet");
const QString closedQueue = QStringLiteral("closed");
// CUPS' own label drivers, printing to files in the server's folder.
const QString zplQueue = QStringLiteral("zpl");
const QString zpl300Queue = QStringLiteral("zpl300");
const QString eplQueue = QStringLiteral("epl2");
const QString landscapeQueue = QStringLiteral("zpl-landscape");
const QString noDriverQueue = QStringLiteral("plain");
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

// A grey-scale PNG made by hand, as encoders other than Qt's write one; rows start with their
// filter byte.
QString greyPngBase64(quint32 width, quint32 height, quint8 bitDepth, const QByteArray &rows)
{
    QByteArray header;
    QDataStream stream(&header, QIODevice::WriteOnly);
    stream << width << height << bitDepth << quint8(0) << quint8(0) << quint8(0) << quint8(0);
    const QByteArray zlibStream = qCompress(rows).mid(4); // qCompress puts the length first
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", zlibStream)
        + pngChunk("IEND", QByteArray());
    return QString::fromLatin1(png.toBase64());
}

// A complete black PNG of any size, without ever holding the image: its rows of zeros compress
// to a few bytes each.
QString blankPngBase64(quint32 width, quint32 height)
{
    return greyPngBase64(width, height, 8, QByteArray(int(height * (width + 1)), '\0'));
}

bool isDot(const QImage &image, int x, int y)
{
    return qGray(image.pixel(x, y)) < 128;
}

// A label as the front end renders one for a thermal printer, at its resolution: a frame on the
// outermost dots, a block in the top left corner that shows any turn or mirror, and bars one, two
// and three dots wide.
QImage thermalLabel(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, width - 1, height - 1);
    painter.fillRect(0, 0, width / 4, height / 4, Qt::black);
    for (int x = width / 2, bar = 1; bar <= 3; x += 2 * bar + 3, ++bar)
        painter.fillRect(x, height / 3, bar, height / 3, Qt::black);
    painter.end();
    return image.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
}

// The printed dots against the page sent, over the area both cover but their last row and
// column: rounding the page to whole points may duplicate or drop one there.
QString dotsDiffering(const QImage &printed, const QImage &sent)
{
    if (qAbs(printed.width() - sent.width()) > 1 || qAbs(printed.height() - sent.height()) > 1)
        return QStringLiteral("printed %1 x %2 dots for %3 x %4")
            .arg(printed.width()).arg(printed.height()).arg(sent.width()).arg(sent.height());
    const int width = qMin(printed.width(), sent.width()) - 1;
    const int height = qMin(printed.height(), sent.height()) - 1;
    int differing = 0;
    QPoint first;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (isDot(printed, x, y) != isDot(sent, x, y) && differing++ == 0)
                first = QPoint(x, y);
        }
    }
    return differing == 0 ? QString()
                          : QStringLiteral("%1 dots differ, the first at %2, %3").arg(differing).arg(first.x()).arg(first.y());
}

QString dataUrl(const QImage &image)
{
    return QStringLiteral("data:image/png;base64,") + pngBase64(image);
}

QString jsonText(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonObject labelJob(const QJsonArray &pages, double widthMm = 50, double heightMm = 30,
                     const QString &queue = labelQueue)
{
    return {{QStringLiteral("printerName"), queue},
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

// The colours in the four corners, in quadrant order: the outermost pixels, but one at the right
// and bottom, where Qt's whole-point page may run past the label by under a point.
QList<QColor> cornerColours(const QImage &page)
{
    const int right = page.width() - 2;
    const int bottom = page.height() - 2;
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
    void labelDots_matchThePageDotForDot_data();
    void labelDots_matchThePageDotForDot();
    void pageImages_reachThePdfLossless_data();
    void pageImages_reachThePdfLossless();
    void success_repliesPrinterNameAndDisplayName();
    void pageWithAndWithoutDataUrlHeader_printTheSameImage();
    void copies_areRecordedAsCupsReceivedThem_data();
    void copies_areRecordedAsCupsReceivedThem();
    void jobName_isRecordedAsCupsReceivedIt_data();
    void jobName_isRecordedAsCupsReceivedIt();
    void jobRefusedByPrintingSystem_isReportedAsRefused_data();
    void jobRefusedByPrintingSystem_isReportedAsRefused();
    void printerOptions_listWhatTheDriverOffers_data();
    void printerOptions_listWhatTheDriverOffers();
    void printerOptions_ofNoPrinterOrAnUnknownOne_areRefused();
    void printerSettings_reachThePrinterLanguage_data();
    void printerSettings_reachThePrinterLanguage();
    void noDriver_printsTheJobAsItCame();

private:
    // Submits the payload and returns the reply; the job CUPS made of it, if any, goes to *job.
    QString submit(const QJsonObject &payload, QJsonObject *job = nullptr);
    // Submits the payload, waits for the driver and reads its output back into labels.
    DecodedLabels printLabels(const QJsonObject &payload);
    int jobCount();

    DesktopBridge bridge{nullptr, nullptr};
    PrintServer server;
};

void PrintJobTest::initTestCase()
{
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    using Driver = PrintServer::Driver;
    const QString option = QStringLiteral("-o");
    const bool ready = server.addQueue(labelQueue)
        && server.configureQueue(labelQueue, {QStringLiteral("-D"), labelQueueDescription})
        && server.addQueue(sheetQueue, Driver::A4Only) && server.addQueue(closedQueue)
        && server.setAcceptingJobs(closedQueue, false) && server.addQueue(zplQueue, Driver::Zpl)
        && server.addQueue(zpl300Queue, Driver::Zpl)
        && server.configureQueue(zpl300Queue, {option, QStringLiteral("Resolution=300dpi")})
        && server.addQueue(landscapeQueue, Driver::Zpl)
        && server.configureQueue(landscapeQueue, {option, QStringLiteral("orientation-requested-default=4")})
        && server.addQueue(eplQueue, Driver::Epl2) && server.addQueue(noDriverQueue, Driver::None);
    QVERIFY2(ready, qPrintable(server.errorString()));
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
    const QString queue = payload.value(QStringLiteral("printerName")).toString();
    const int jobsBefore = server.jobIds(queue).size();
    const QString reply = bridge.submitPrintJob(jsonText(payload));
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
    else if (!server.waitUntilCompleted(job.value(QStringLiteral("job-id")).toInt()))
        labels.error = server.errorString();
    else
        labels = decodeLabels(readAll(server.outputPath(payload.value(QStringLiteral("printerName")).toString())));
    return labels;
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
    QTest::addRow("width over 10 m") << jsonText(with(good, width, 10000.01)) << badSize;
    QTest::addRow("height past every integer") << jsonText(with(good, height, 1e300)) << badSize;
    QTest::addRow("height missing, printer unknown: size first")
        << jsonText(with(without(good, height), name, QStringLiteral("nowhere"))) << badSize;
    QTest::addRow("unknown printer") << jsonText(with(good, name, QStringLiteral("nowhere"))) << notFound;
    QTest::addRow("printer name in other letter case") << jsonText(with(good, name, QStringLiteral("Label"))) << notFound;
    QTest::addRow("unknown printer and a bad page: printer first")
        << jsonText(with(with(good, name, QStringLiteral("nowhere")), pages, QJsonArray{3})) << notFound;
    QTest::addRow("label size on an A4-only printer") << jsonText(with(good, name, sheetQueue)) << sizeNotSupported;
    const QJsonObject onZpl = with(good, name, zplQueue);
    const QString options = QStringLiteral("options");
    const QString notOffered = QStringLiteral("打印机不支持所选设置：");
    QTest::addRow("darkness the driver does not offer")
        << jsonText(with(onZpl, options, QJsonObject{{QStringLiteral("zePrintRate"), QStringLiteral("4")},
                                                     {QStringLiteral("Darkness"), QStringLiteral("99")}}))
        << notOffered + QStringLiteral("Darkness=99");
    QTest::addRow("option the driver does not have")
        << jsonText(with(onZpl, options, QJsonObject{{QStringLiteral("Toner"), QStringLiteral("Save")}}))
        << notOffered + QStringLiteral("Toner=Save");
    QTest::addRow("page size, which the host sets")
        << jsonText(with(onZpl, options, QJsonObject{{QStringLiteral("PageSize"), QStringLiteral("w144h90")}}))
        << notOffered + QStringLiteral("PageSize=w144h90");
    QTest::addRow("choice as a number") << jsonText(with(onZpl, options, QJsonObject{{QStringLiteral("Darkness"), 20}}))
                                        << notOffered + QStringLiteral("Darkness=20");
    QTest::addRow("resolution the driver does not offer")
        << jsonText(with(onZpl, QStringLiteral("resolution"), 1200)) << notOffered + QStringLiteral("Resolution=1200");
    QTest::addRow("any option on a printer without a driver")
        << jsonText(with(with(good, name, noDriverQueue), options, QJsonObject{{QStringLiteral("Darkness"), QStringLiteral("1")}}))
        << notOffered + QStringLiteral("Darkness=1");
    QTest::addRow("page a number") << jsonText(with(good, pages, QJsonArray{42})) << badImage;
    QTest::addRow("page not an image") << jsonText(with(good, pages, QJsonArray{QStringLiteral("data:,bm90IGFuIGltYWdl")}))
                                       << badImage;
    QTest::addRow("second of three pages not an image")
        << jsonText(with(good, pages, QJsonArray{page, QStringLiteral("%%%"), page})) << badImage;
    QTest::addRow("last page cut short")
        << jsonText(with(good, pages, QJsonArray{page, page.left(page.size() / 2)})) << badImage;
    QTest::addRow("page in a format that tells no size before decoding")
        << jsonText(with(good, pages, QJsonArray{QString::fromLatin1(QByteArray("SIZELESS").toBase64())})) << badImage;
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
    QTest::addRow("104 x 148 stays itself, not A6") << 104.0 << 148.0;
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
    QTest::addRow("zpl 50 x 80, within 0.1 mm of the listed 80x50mm") << zplQueue << 50.0 << 80.0 << 203;
    QTest::addRow("zpl at 300 dpi 50 x 30") << zpl300Queue << 50.0 << 30.0 << 300;
    QTest::addRow("zpl at 300 dpi 100 x 150") << zpl300Queue << 100.0 << 150.0 << 300;
    QTest::addRow("queue whose default is landscape") << landscapeQueue << 50.0 << 30.0 << 203;
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
    QTest::addRow("colour picture") << pngBase64(picture) << QStringLiteral("rgb 3 8 image");
    QTest::addRow("1-bit page from Qt's encoder") << pngBase64(thermalLabel(400, 240)) << QStringLiteral("gray 1 1 image");
    // 16 x 2 dots, black on the left half: 0 bits are black in a grey-scale PNG.
    const QByteArray rows = QByteArray::fromHex("0000ff0000ff");
    QTest::addRow("1-bit grey-scale PNG") << greyPngBase64(16, 2, 1, rows) << QStringLiteral("gray 1 1 image");
}

void PrintJobTest::pageImages_reachThePdfLossless()
{
    QFETCH(QString, page);
    QFETCH(QString, pdfImage);
    const QImage sent = QImage::fromData(QByteArray::fromBase64(page.toLatin1()));

    QJsonObject job;
    QVERIFY(replyOk(submit(labelJob({page}, 60, 40), &job)));
    const QString pdf = server.keptDocumentPath(job.value(QStringLiteral("job-id")).toInt());
    const QStringList listed = QString::fromUtf8(runTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}))
                                   .split(QLatin1Char('\n'))
                                   .value(2)
                                   .simplified()
                                   .split(QLatin1Char(' '));
    QCOMPARE(listed.mid(5, 4).join(QLatin1Char(' ')), pdfImage);

    // Every pixel comes back as it went: no JPEG artefacts, and 1-bit pages not inverted.
    QTemporaryDir folder;
    runTool(QStringLiteral("pdfimages"), {QStringLiteral("-png"), pdf, folder.filePath(QStringLiteral("page"))});
    const QImage extracted(folder.filePath(QStringLiteral("page-000.png")));
    QCOMPARE(extracted.size(), sent.size());
    for (int y = 0; y < sent.height(); ++y) {
        for (int x = 0; x < sent.width(); ++x) {
            if (extracted.pixel(x, y) != sent.pixel(x, y))
                QFAIL(qPrintable(QStringLiteral("pixel %1, %2 differs").arg(x).arg(y)));
        }
    }
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
    QTest::addRow("2.5") << QJsonValue(2.5) << 1;
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

// "name/label default of choice,choice" for one option of a printerOptions reply.
QString optionSummary(const QJsonObject &option)
{
    QStringList choices;
    for (const QJsonValue &choice : option.value(QStringLiteral("choices")).toArray())
        choices.append(choice.toObject().value(QStringLiteral("name")).toString());
    return option.value(QStringLiteral("name")).toString() + QLatin1Char('/') + option.value(QStringLiteral("label")).toString()
        + QLatin1Char(' ') + option.value(QStringLiteral("defaultChoice")).toString() + QStringLiteral(" of ")
        + choices.join(QLatin1Char(','));
}

void PrintJobTest::printerOptions_listWhatTheDriverOffers_data()
{
    QTest::addColumn<QString>("printerName");
    QTest::addColumn<QStringList>("names");   // every option, in the driver's order
    QTest::addColumn<QStringList>("options"); // some of them in full
    QTest::addColumn<QString>("resolutions");

    const QStringList zplNames{QStringLiteral("zeMediaTracking"), QStringLiteral("MediaType"),  QStringLiteral("Darkness"),
                               QStringLiteral("zePrintRate"),     QStringLiteral("zeLabelTop"), QStringLiteral("zePrintMode"),
                               QStringLiteral("zeTearOffPosition"), QStringLiteral("zeErrorReprint")};
    QStringList darkness;
    for (int level = 1; level <= 30; ++level)
        darkness.append(QString::number(level));
    const QStringList zplOptions{
        QStringLiteral("zeMediaTracking/Media Tracking Web of Continuous,Web,Mark"),
        QStringLiteral("Darkness/Darkness -1 of -1,") + darkness.join(QLatin1Char(',')),
        QStringLiteral("zePrintRate/Print Rate Default of Default,1,2,3,4,5,6,7,8,9,10,11,12")};
    QTest::addRow("ZPL driver") << zplQueue << zplNames << zplOptions << QStringLiteral("[203,300,600] 203");
    QTest::addRow("ZPL driver set to 300 dpi") << zpl300Queue << zplNames << zplOptions << QStringLiteral("[203,300,600] 300");
    QTest::addRow("EPL2 driver") << eplQueue
                                 << QStringList{QStringLiteral("MediaType"), QStringLiteral("Darkness"), QStringLiteral("zePrintRate")}
                                 << QStringList{QStringLiteral("MediaType/Media Type Saved of Saved,Thermal,Direct"),
                                                QStringLiteral("zePrintRate/Print Rate Default of Default,1,1.5,2,2.5,3,4,5,6")}
                                 << QStringLiteral("[203,300,600] 203");
    QTest::addRow("no driver") << noDriverQueue << QStringList() << QStringList() << QStringLiteral("[] 0");
}

void PrintJobTest::printerOptions_listWhatTheDriverOffers()
{
    QFETCH(QString, printerName);
    QFETCH(QStringList, names);
    QFETCH(QStringList, options);
    QFETCH(QString, resolutions);

    const QJsonObject reply = parsedReply(bridge.printerOptions(printerName));
    QCOMPARE(reply.value(QStringLiteral("ok")), QJsonValue(true));
    QCOMPARE(reply.value(QStringLiteral("printerName")).toString(), printerName);
    QStringList listedNames;
    QStringList summaries;
    for (const QJsonValue &option : reply.value(QStringLiteral("options")).toArray()) {
        listedNames.append(option.toObject().value(QStringLiteral("name")).toString());
        summaries.append(optionSummary(option.toObject()));
    }
    QCOMPARE(listedNames, names);
    for (const QString &option : options)
        QVERIFY2(summaries.contains(option), qPrintable(summaries.join(QLatin1Char('\n'))));
    QCOMPARE(QString::fromUtf8(QJsonDocument(reply.value(QStringLiteral("resolutions")).toArray()).toJson(QJsonDocument::Compact))
                 + QLatin1Char(' ') + QString::number(reply.value(QStringLiteral("defaultResolution")).toInt()),
             resolutions);
}

void PrintJobTest::printerOptions_ofNoPrinterOrAnUnknownOne_areRefused()
{
    QCOMPARE(bridge.printerOptions(QString()), errorReply(QStringLiteral("未选择打印机")));
    QCOMPARE(bridge.printerOptions(QStringLiteral("Zpl")), errorReply(QStringLiteral("系统中未找到所选打印机")));
}

void PrintJobTest::printerSettings_reachThePrinterLanguage_data()
{
    QTest::addColumn<QString>("queue");
    QTest::addColumn<QJsonObject>("settings");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("labelHeight");

    QTest::addRow("none: the driver's defaults") << zplQueue << QJsonObject() << QStringList{QStringLiteral("^PW400")} << 240;
    QTest::addRow("darkness and print rate")
        << zplQueue
        << QJsonObject{{QStringLiteral("options"), QJsonObject{{QStringLiteral("Darkness"), QStringLiteral("20")},
                                                               {QStringLiteral("zePrintRate"), QStringLiteral("4")}}}}
        << QStringList{QStringLiteral("~SD20"), QStringLiteral("^PR4,4,4")} << 240;
    QTest::addRow("300 dpi on a 203 dpi queue") << zplQueue << QJsonObject{{QStringLiteral("resolution"), 300}}
                                                << QStringList{QStringLiteral("^PW591")} << 354;
    QTest::addRow("EPL2 darkness and speed")
        << eplQueue
        << QJsonObject{{QStringLiteral("options"), QJsonObject{{QStringLiteral("Darkness"), QStringLiteral("30")},
                                                               {QStringLiteral("zePrintRate"), QStringLiteral("2")}}}}
        << QStringList{QStringLiteral("D15"), QStringLiteral("S2")} << 240;
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
    const QStringList printed = labels.commands.split(QLatin1Char('\n'));
    for (const QString &command : commands)
        QVERIFY2(printed.contains(command), qPrintable(command + QStringLiteral(" missing from:\n") + labels.commands));
    QCOMPARE(labels.pages.size(), 1);
    QCOMPARE(labels.pages.first().height(), labelHeight);
}

void PrintJobTest::noDriver_printsTheJobAsItCame()
{
    QJsonObject job;
    QVERIFY(replyOk(submit(labelJob({pngBase64(thermalLabel(400, 240))}, 50, 30, noDriverQueue), &job)));
    const int id = job.value(QStringLiteral("job-id")).toInt();
    QVERIFY2(server.waitUntilCompleted(id), qPrintable(server.errorString()));
    QCOMPARE(pdfPageSizes(server.keptDocumentPath(id)).size(), 1);
}

QUILLMARK_TEST_MAIN(PrintJobTest)
#include "tst_printjob.moc"
