#include "LanguagePrintJob.h"
#include "JobName.h"
#include "PageImage.h"
#include "PrintRequest.h"
#include "printerlanguage/LanguageRequest.h"

#include <cups/cups.h>

namespace {

QString invalidPageImage() { return QStringLiteral("打印页图像无效"); }
QString jobRefused() { return QStringLiteral("打印系统拒绝了打印任务"); }

// One raw document streamed to a queue through libcups, in writes of a few tens of kilobytes
// rather than one per label, and withdrawn whole when any step fails.
class RawQueueJob
{
public:
    explicit RawQueueJob(const QString &printerName) : printer(printerName.toUtf8()) {}
    ~RawQueueJob()
    {
        if (jobId > 0 && !finished)
            cupsCancelJob2(CUPS_HTTP_DEFAULT, printer.constData(), jobId, 0);
    }

    bool start(const QString &title)
    {
        const QByteArray name = title.toUtf8();
        jobId = cupsCreateJob(CUPS_HTTP_DEFAULT, printer.constData(), name.constData(), 0, nullptr);
        return jobId > 0 && keepReason(cupsStartDocument(CUPS_HTTP_DEFAULT, printer.constData(), jobId, name.constData(),
                                                        CUPS_FORMAT_RAW, 1) == HTTP_STATUS_CONTINUE);
    }

    bool write(const QByteArray &bytes)
    {
        constexpr int flushBytes = 64 * 1024;
        pending += bytes;
        return pending.size() < flushBytes || flush();
    }

    bool finish()
    {
        finished = flush() && keepReason(cupsFinishDocument(CUPS_HTTP_DEFAULT, printer.constData()) < IPP_STATUS_REDIRECTION_OTHER_SITE);
        return finished;
    }

    // Why the printing system refused, taken before a cancellation overwrites libcups' last error.
    QString refusal() const
    {
        const QString detail = reason.isEmpty() ? QString::fromUtf8(cupsLastErrorString()).trimmed() : reason;
        return detail.isEmpty() ? jobRefused() : jobRefused() + QStringLiteral("：") + detail;
    }

private:
    bool flush()
    {
        const bool written = pending.isEmpty()
            || cupsWriteRequestData(CUPS_HTTP_DEFAULT, pending.constData(), size_t(pending.size())) == HTTP_STATUS_CONTINUE;
        pending.clear();
        return keepReason(written);
    }

    bool keepReason(bool succeeded)
    {
        if (!succeeded && reason.isEmpty())
            reason = QString::fromUtf8(cupsLastErrorString()).trimmed();
        return succeeded;
    }

    QByteArray printer;
    QByteArray pending;
    QString reason;
    int jobId = 0;
    bool finished = false;
};

// Each page decoded once here and again when written: holding every page's dots would take
// tens of megabytes for a long run of labels.
bool everyPageFitsLabel(const PrintRequest &request, const LabelFormat &format)
{
    for (const QJsonValue &page : request.pages) {
        const QImage image = decodePageImage(page);
        if (image.isNull() || !pageFitsLabel(image.size(), format))
            return false;
    }
    return true;
}

} // namespace

QString printInLabelLanguage(const PrintRequest &request)
{
    QString refusal;
    const LabelFormat format = readLabelFormat(request, &refusal);
    if (!refusal.isEmpty())
        return refusal;
    if (!everyPageFitsLabel(request, format))
        return invalidPageImage();
    RawQueueJob job(request.printerName);
    if (!job.start(cupsJobName(request.jobName)) || !job.write(jobStart(format)))
        return job.refusal();
    // Collated: the whole run of pages once per copy, so a stack of labels comes out in order.
    for (int copy = 0; copy < qMax(request.copies, 1); ++copy) {
        for (const QJsonValue &page : request.pages) {
            if (!job.write(labelCommands(format, readLabelDots(decodePageImage(page)))))
                return job.refusal();
        }
    }
    return job.finish() ? QString() : job.refusal();
}
