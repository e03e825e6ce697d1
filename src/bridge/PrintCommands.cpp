#include "DesktopBridge.h"
#include "FileRoutines.h"
#include "PageImage.h"

#include <QJsonArray>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <cups/cups.h>

namespace {

QString noPrinterSelected() { return QStringLiteral("未选择打印机"); }
QString noPagesToPrint() { return QStringLiteral("没有可打印的页面"); }
QString invalidPageSize() { return QStringLiteral("无效的页面尺寸"); }
QString printerNotFound() { return QStringLiteral("系统中未找到所选打印机"); }
QString pageSizeNotSupported() { return QStringLiteral("打印机不支持此页面尺寸"); }
QString cannotStartJob() { return QStringLiteral("无法启动打印任务"); }
QString cannotCreatePage() { return QStringLiteral("创建打印页失败"); }
QString invalidPageImage() { return QStringLiteral("打印页图像无效"); }
QString jobRefused() { return QStringLiteral("打印系统拒绝了打印任务"); }

struct PrintRequest
{
    QString printerName;
    QJsonArray pages;
    double widthMm = 0;
    double heightMm = 0;
    QString jobName;
    int copies = 1;
};

PrintRequest readPrintRequest(const QString &payloadJson)
{
    const QJsonObject payload = parsePayloadObject(payloadJson);
    PrintRequest request;
    request.printerName = payload.value(QStringLiteral("printerName")).toString();
    request.pages = payload.value(QStringLiteral("pages")).toArray();
    request.widthMm = payload.value(QStringLiteral("pageWidthMm")).toDouble();
    request.heightMm = payload.value(QStringLiteral("pageHeightMm")).toDouble();
    request.jobName = payload.value(QStringLiteral("jobName")).toString(QStringLiteral("标签打印"));
    request.copies = payload.value(QStringLiteral("copies")).toInt(1);
    return request;
}

QString firstPayloadError(const PrintRequest &request)
{
    if (request.printerName.isEmpty())
        return noPrinterSelected();
    if (request.pages.isEmpty())
        return noPagesToPrint();
    if (!(request.widthMm > 0) || !(request.heightMm > 0))
        return invalidPageSize();
    return QString();
}

QPrinterInfo findPrinter(const QString &systemName)
{
    const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
    for (const QPrinterInfo &printer : printers) {
        if (printer.printerName() == systemName)
            return printer;
    }
    return QPrinterInfo();
}

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
    printer.setDocName(request.jobName);
    printer.setFullPage(true);
    printer.setCopyCount(qMax(request.copies, 1));
}

// The page keeps the label's sides exactly as given and stays Portrait: Qt swaps the sides
// of a Landscape layout, which would turn a wide label into a tall page with the image rotated.
bool applyLabelPageLayout(QPrinter &printer, const PrintRequest &request)
{
    const QPageSize labelSize(QSizeF(request.widthMm, request.heightMm), QPageSize::Millimeter,
                              QStringLiteral("quillmark-custom"), QPageSize::FuzzyMatch);
    QPageLayout layout = printer.pageLayout();
    layout.setPageSize(labelSize, QMarginsF(0, 0, 0, 0));
    layout.setOrientation(QPageLayout::Portrait);
    layout.setMode(QPageLayout::FullPageMode);
    layout.setMargins(QMarginsF(0, 0, 0, 0));
    return printer.setPageLayout(layout);
}

void drawStretchedOverPage(QPainter &painter, const QPrinter &printer, const QImage &image)
{
    const QRectF target(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());
    painter.drawImage(target, image, QRectF(image.rect()));
}

// Qt's CUPS engine reports a finished job even when the server turned it down; the
// server's answer to the submission is left in libcups' per-thread status.
QString refusalOfLastJob()
{
    if (cupsLastError() <= IPP_STATUS_OK_CONFLICTING)
        return QString();
    const QString detail = QString::fromUtf8(cupsLastErrorString()).trimmed();
    return detail.isEmpty() ? jobRefused() : jobRefused() + QStringLiteral("：") + detail;
}

} // namespace

QString DesktopBridge::submitPrintJob(const QString &payloadJson)
{
    const PrintRequest request = readPrintRequest(payloadJson);
    const QString payloadError = firstPayloadError(request);
    if (!payloadError.isEmpty())
        return makeErrorReply(payloadError);
    const QPrinterInfo printerInfo = findPrinter(request.printerName);
    if (printerInfo.isNull())
        return makeErrorReply(printerNotFound());

    QPrinter printer(printerInfo, QPrinter::HighResolution);
    applyJobSettings(printer, request);
    if (!applyLabelPageLayout(printer, request))
        return makeErrorReply(pageSizeNotSupported());
    if (!everyPageHasAnImage(request.pages))
        return makeErrorReply(invalidPageImage());

    QPainter painter;
    if (!painter.begin(&printer))
        return makeErrorReply(cannotStartJob());
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
        drawStretchedOverPage(painter, printer, image);
    }
    if (!painter.end())
        return makeErrorReply(jobRefused());
    const QString refusal = refusalOfLastJob();
    if (!refusal.isEmpty())
        return makeErrorReply(refusal);
    return makeOkReply({{QStringLiteral("printerName"), request.printerName},
                        {QStringLiteral("printerDisplayName"), printerDisplayName(printerInfo)}});
}
