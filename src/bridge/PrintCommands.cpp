#include "DesktopBridge.h"
#include "FileRoutines.h"
#include "LanguagePrintJob.h"
#include "JobName.h"
#include "PageImage.h"
#include "PrintRequest.h"
#include "PrintSystemProbe.h"
#include "PrinterOptions.h"
#include "printerlanguage/LanguageRequest.h"

#include <QJsonArray>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrintEngine>
#include <QPrinterInfo>

#include <cups/cups.h>

namespace {

QString printerNotFound() { return QStringLiteral("系统中未找到所选打印机"); }
QString pageSizeNotSupported() { return QStringLiteral("打印机不支持此页面尺寸"); }
QString cannotStartJob() { return QStringLiteral("无法启动打印任务"); }
QString cannotCreatePage() { return QStringLiteral("创建打印页失败"); }
QString invalidPageImage() { return QStringLiteral("打印页图像无效"); }
QString jobRefused() { return QStringLiteral("打印系统拒绝了打印任务"); }

// Every page is decoded once before the job starts: once the painter has begun, Qt hands
// whatever was drawn to the printing system even when the job is abandoned, so a bad page
// found late would leave the printer with part of the labels.
bool everyPageHasAnImage(const QJsonArray &pages)
{
    for (const QJsonValue &page : pages) {
        if (decodePageImage(page).isNull())
            return false;
    }
    return true;
}

void applyJobSettings(QPrinter &printer, const PrintRequest &request)
{
    printer.setDocName(cupsJobName(request.jobName));
    printer.setFullPage(true);
    printer.setCopyCount(qMax(request.copies, 1));
}

// The page keeps the label's sides exactly as given in Qt's own Portrait layout (a Landscape one
// would swap them and turn the image); the queue's default orientation is countered in the job's
// options. A label a little off a standard paper size is still its own size, not that paper's.
bool applyLabelPageLayout(QPrinter &printer, const PrintRequest &request)
{
    const QPageSize labelSize(QSizeF(request.widthMm, request.heightMm), QPageSize::Millimeter,
                              QStringLiteral("quillmark-custom"), QPageSize::ExactMatch);
    QPageLayout layout = printer.pageLayout();
    layout.setPageSize(labelSize, QMarginsF(0, 0, 0, 0));
    layout.setMode(QPageLayout::FullPageMode);
    layout.setMargins(QMarginsF(0, 0, 0, 0));
    return printer.setPageLayout(layout);
}

// Millimetres as CUPS reads them in a custom size: plain decimals, never an exponent.
QString millimetreText(double mm)
{
    QString text = QString::number(mm, 'f', 3);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

QString driverPageSize(const PrinterSettings &printer, double widthMm, double heightMm)
{
    if (const DriverPageSize *named = printer.namedPageSize(widthMm, heightMm))
        return named->name;
    return QStringLiteral("Custom.") + millimetreText(widthMm) + QLatin1Char('x') + millimetreText(heightMm)
        + QStringLiteral("mm");
}

// Qt's CUPS print engine passes this property's name and value pairs on as the job's options
// (its own key, from Qt's private CUPS support).
const auto cupsOptionsProperty = QPrintEngine::PrintEnginePropertyKey(0xfe00);

// Qt names the page to CUPS only by "media", which the scheduler snaps to a near size of the
// driver (a 50 x 30 mm label became 2 x 1.25 in, the image centred on it); the PPD's own
// PageSize option is taken as given.
void applyJobOptions(QPrinter &printer, const PrintRequest &request, const PrinterSettings &settings)
{
    QStringList options{QStringLiteral("PageSize"), driverPageSize(settings, request.widthMm, request.heightMm)};
    // The label is drawn upright on its page: a queue whose default orientation is landscape
    // would otherwise turn every label.
    options << QStringLiteral("orientation-requested") << QString::number(IPP_ORIENT_PORTRAIT);
    // The PDF page goes onto the driver's page unscaled and with the same bottom left corner, so
    // its top is where the driver's whole-point page begins.
    options << QStringLiteral("print-scaling") << QStringLiteral("none") << QStringLiteral("position")
            << QStringLiteral("bottom-left");
    for (auto it = request.options.constBegin(); it != request.options.constEnd(); ++it)
        options << it.key() << it.value().toString();
    if (request.resolution > 0) {
        options << settings.resolutionOptionName << QString::number(request.resolution) + QStringLiteral("dpi");
        printer.setResolution(request.resolution);
    }
    printer.printEngine()->setProperty(cupsOptionsProperty, options);
}

// Qt's PDF page measures whole points, and so does the page a CUPS driver renders (its raster
// header holds the size in points), while the label's edge lies between. The image covers the
// label's exact size from the top left corner, where both pages begin: a page image rendered at
// the printer's resolution lands dot for dot, all but its last row or column when the whole
// points cut it short.
void drawStretchedOverLabel(QPainter &painter, const QPrinter &printer, const PrintRequest &request,
                            const QImage &image)
{
    const double devicePerMm = printer.resolution() / 25.4;
    const QRectF label(0, 0, request.widthMm * devicePerMm, request.heightMm * devicePerMm);
    painter.drawImage(label, image, QRectF(image.rect()));
}

// Qt's CUPS engine reports a finished job even when the server turned it down; the
// server's answer to the submission is left in libcups' per-thread status, where every
// status below 0x0100 is one of IPP's successes.
QString refusalOfLastJob()
{
    constexpr int firstUnsuccessfulStatus = 0x0100;
    if (cupsLastError() < firstUnsuccessfulStatus)
        return QString();
    const QString detail = QString::fromUtf8(cupsLastErrorString()).trimmed();
    return detail.isEmpty() ? jobRefused() : jobRefused() + QStringLiteral("：") + detail;
}

QString printedReply(const PrintRequest &request, const QPrinterInfo &printerInfo)
{
    return makeOkReply({{QStringLiteral("printerName"), request.printerName},
                        {QStringLiteral("printerDisplayName"), printerDisplayName(printerInfo)}});
}

} // namespace

QString DesktopBridge::submitPrintJob(const QString &payloadJson)
{
    const PrintRequest request = readPrintRequest(payloadJson);
    const QString payloadError = firstPayloadError(request);
    if (!payloadError.isEmpty())
        return makeErrorReply(payloadError);
    const QString silence = printSystemSilence();
    if (!silence.isEmpty())
        return makeErrorReply(silence);
    const QPrinterInfo printerInfo = findPrinter(request.printerName);
    if (printerInfo.isNull())
        return makeErrorReply(printerNotFound());
    if (asksForLabelLanguage(request)) {
        const QString refusal = printInLabelLanguage(request);
        return refusal.isEmpty() ? printedReply(request, printerInfo) : makeErrorReply(refusal);
    }

    const PrinterSettings settings = readPrinterSettings(request.printerName);
    const QString notOffered = firstSettingNotOffered(request, settings);
    if (!notOffered.isEmpty())
        return makeErrorReply(notOffered);
    if (!settings.takesPageSize(request.widthMm, request.heightMm))
        return makeErrorReply(pageSizeNotSupported());

    QPrinter printer(printerInfo, QPrinter::HighResolution);
    applyJobSettings(printer, request);
    applyJobOptions(printer, request, settings);
    if (!applyLabelPageLayout(printer, request))
        return makeErrorReply(pageSizeNotSupported());
    if (!everyPageHasAnImage(request.pages))
        return makeErrorReply(invalidPageImage());

    QPainter painter;
    if (!painter.begin(&printer))
        return makeErrorReply(cannotStartJob());
    // Colour pages stay exact: Qt would store them as JPEG whenever that is smaller.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    for (int i = 0; i < request.pages.size(); ++i) {
        if (i > 0 && !printer.newPage()) {
            painter.end();
            return makeErrorReply(cannotCreatePage());
        }
        // Decoded again here rather than kept from the check, so only one page image is held at a time.
        const QImage image = decodePageImage(request.pages.at(i));
        if (image.isNull()) {
            painter.end();
            return makeErrorReply(invalidPageImage());
        }
        drawStretchedOverLabel(painter, printer, request, keptOneBit(image));
    }
    if (!painter.end())
        return makeErrorReply(jobRefused());
    const QString refusal = refusalOfLastJob();
    if (!refusal.isEmpty())
        return makeErrorReply(refusal);
    return printedReply(request, printerInfo);
}
