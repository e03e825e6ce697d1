// print_bench [PAGES...] [KIND...]
// Prints jobs of 50 x 30 mm label pages through submitPrintJob to a private print server's label
// queue, each job once with colour pages rendered at 300 dpi (office printers, PDF) and once with
// 1-bit pages at 203 dpi (thermal printers); then 60 x 40 mm 1-bit labels at 203 dpi written in TSPL
// and in ZPL to a raw queue, and the same through the label queue's driver path beside them. It
// reports pages per second, payload and document bytes per page (the PDF, or the job in the
// printer's language) and peak memory. Then it measures how long one call of N pages holds the GUI thread
// and recommends a batch size. Without arguments it prints 100-page and 1000-page jobs of every
// kind; KIND (colour, thermal, tspl, zpl, thermal60x40) limits the run to those kinds.
#include "DesktopBridge.h"
#include "PrintServer.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

// The longest a batch may keep the window from answering, and the share of it a batch should
// take here, leaving room for slower machines and for the page's own work.
constexpr double holdBudgetSeconds = 0.5;
constexpr double holdShareOfBudget = 0.5;

struct PageKind
{
    const char *name;
    int dpi;
    bool oneBit;
    double widthMm;
    double heightMm;
    const char *printerLanguage; // null: through the queue's driver
};

const PageKind colourPages{"colour", 300, false, 50, 30, nullptr};
const PageKind thermalPages{"thermal", 203, true, 50, 30, nullptr};
const PageKind tsplPages{"tspl", 203, true, 60, 40, "tspl"};
const PageKind zplPages{"zpl", 203, true, 60, 40, "zpl"};
const PageKind widerThermalPages{"thermal60x40", 203, true, 60, 40, nullptr};

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

// A label as the front end renders one: a title, a number and a bar pattern that differs per page;
// for a thermal printer in black and white at its resolution, as a 1-bit PNG.
QString renderedLabel(const PageKind &kind, int number)
{
    const double dotsPerMm = kind.dpi / 25.4;
    const double scale = kind.dpi / 300.0;
    QImage image(qRound(kind.widthMm * dotsPerMm), qRound(kind.heightMm * dotsPerMm), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(scale, scale);
    const int width = qRound(image.width() / scale);
    const int height = qRound(image.height() / scale);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 28, QFont::Bold));
    painter.drawText(QRect(20, 10, width - 40, 90), Qt::AlignLeft, QStringLiteral("货架标签 Shelf tag"));
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 22));
    painter.drawText(QRect(20, 100, width - 40, 70), Qt::AlignLeft,
                     QStringLiteral("Item %1").arg(number, 6, 10, QLatin1Char('0')));
    for (int x = 20, bar = number * 7919; x < width - 20; x += 4 + bar % 5, bar = bar * 31 + 17)
        painter.fillRect(x, 190, 1 + bar % 4, height - 210, Qt::black);
    painter.end();
    if (kind.oneBit)
        image = image.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
}

QString printPayload(const QString &queue, const PageKind &kind, int pages)
{
    QJsonArray images;
    for (int i = 0; i < pages; ++i)
        images.append(renderedLabel(kind, i + 1));
    QJsonObject payload{{QStringLiteral("printerName"), queue},
                        {QStringLiteral("pages"), images},
                        {QStringLiteral("pageWidthMm"), kind.widthMm},
                        {QStringLiteral("pageHeightMm"), kind.heightMm},
                        {QStringLiteral("jobName"), QStringLiteral("print_bench")}};
    if (kind.printerLanguage) {
        payload.insert(QStringLiteral("printerLanguage"), QLatin1String(kind.printerLanguage));
        payload.insert(QStringLiteral("resolution"), kind.dpi);
    }
    return QString::fromUtf8(QJsonDocument(payload).toJson(QJsonDocument::Compact));
}

qint64 statusKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Lets VmHWM start again from the current resident size, so it shows the peak of one job.
void resetPeakMemory()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

// Seconds that one submitPrintJob call takes, the time it holds the GUI thread; -1 when it failed.
double timedSubmission(DesktopBridge &bridge, const QString &payload)
{
    QElapsedTimer clock;
    clock.start();
    const QString reply = bridge.submitPrintJob(payload);
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (QJsonDocument::fromJson(reply.toUtf8()).object().value(QStringLiteral("ok")) != QJsonValue(true)) {
        out() << "print job failed: " << reply << Qt::endl;
        return -1;
    }
    return seconds;
}

bool benchmarkJob(DesktopBridge &bridge, PrintServer &server, const QString &queue, const PageKind &kind, int pages)
{
    const QString payload = printPayload(queue, kind, pages);
    const qint64 residentBeforeKiB = statusKiB("VmRSS");
    resetPeakMemory();
    const double seconds = timedSubmission(bridge, payload);
    const qint64 peakKiB = statusKiB("VmHWM");
    if (seconds < 0)
        return false;

    const QList<int> jobs = server.jobIds(queue);
    const qint64 pdfBytes = jobs.isEmpty() ? -1 : QFileInfo(server.keptDocumentPath(jobs.last())).size();
    // The payload crosses the channel as UTF-16.
    const qint64 payloadBytes = payload.size() * 2;
    out() << QStringLiteral("%1 %2 pages at %3 dpi: %4 s, %5 pages/s; payload %6 MiB, %7 bytes/page; "
                            "VmRSS before %8 MiB, VmHWM during %9 MiB; document %10 MiB, %11 bytes/page")
                 .arg(QLatin1String(kind.name))
                 .arg(pages)
                 .arg(kind.dpi)
                 .arg(seconds, 0, 'f', 2)
                 .arg(pages / seconds, 0, 'f', 1)
                 .arg(payloadBytes / 1048576.0, 0, 'f', 1)
                 .arg(payloadBytes / pages)
                 .arg(residentBeforeKiB / 1024.0, 0, 'f', 1)
                 .arg(peakKiB / 1024.0, 0, 'f', 1)
                 .arg(pdfBytes / 1048576.0, 0, 'f', 1)
                 .arg(pdfBytes / pages)
          << Qt::endl;
    return true;
}

// A page that prints in batches keeps the window answering between them. The hold grows with the
// batch, roughly a fixed cost (the job's start and end) plus a cost per page; fitted through the
// batches measured, it gives the largest batch that keeps within its share of the budget.
bool recommendBatchSize(DesktopBridge &bridge, const QString &queue, const PageKind &kind)
{
    const QList<int> batches{10, 50, 200};
    QList<double> holds;
    for (int pages : batches) {
        // The median of three calls: the print server's own work on earlier jobs shares the cores.
        const QString payload = printPayload(queue, kind, pages);
        QList<double> calls;
        for (int run = 0; run < 3; ++run)
            calls.append(timedSubmission(bridge, payload));
        std::sort(calls.begin(), calls.end());
        if (calls.first() < 0)
            return false;
        const double seconds = calls[1];
        holds.append(seconds);
        out() << QStringLiteral("%1 batch of %2 pages holds the GUI thread %3 ms")
                     .arg(QLatin1String(kind.name))
                     .arg(pages)
                     .arg(seconds * 1000, 0, 'f', 0)
              << Qt::endl;
    }
    const double perPage = (holds.last() - holds.first()) / (batches.last() - batches.first());
    const double fixed = qMax(0.0, holds.first() - perPage * batches.first());
    const int recommended = qMax(1, int((holdBudgetSeconds * holdShareOfBudget - fixed) / perPage));
    out() << QStringLiteral("%1 batches: %2 ms per page and %3 ms per call; at most %4 pages per batch "
                            "keeps a call within %5 ms (half of the %6 ms budget)")
                 .arg(QLatin1String(kind.name))
                 .arg(perPage * 1000, 0, 'f', 2)
                 .arg(fixed * 1000, 0, 'f', 0)
                 .arg(recommended)
                 .arg(holdBudgetSeconds * holdShareOfBudget * 1000, 0, 'f', 0)
                 .arg(holdBudgetSeconds * 1000, 0, 'f', 0)
          << Qt::endl;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("PRINTER");
    qunsetenv("LPDEST");
    QApplication app(argc, argv);

    QList<int> jobSizes;
    QStringList kindNames;
    for (const QString &argument : app.arguments().mid(1)) {
        bool isNumber = false;
        const int pages = argument.toInt(&isNumber);
        if (isNumber)
            jobSizes.append(pages);
        else
            kindNames.append(argument);
    }
    if (jobSizes.isEmpty())
        jobSizes = {100, 1000};
    QList<PageKind> kinds;
    for (const PageKind &kind : {colourPages, thermalPages, tsplPages, zplPages, widerThermalPages}) {
        if (kindNames.isEmpty() || kindNames.contains(QLatin1String(kind.name)))
            kinds.append(kind);
    }

    PrintServer server;
    const QString queue = QStringLiteral("bench");
    const QString rawQueue = QStringLiteral("bench-raw");
    if (!server.start() || !server.addQueue(queue) || !server.addQueue(rawQueue, PrintServer::Driver::None)) {
        out() << "print server: " << server.errorString() << Qt::endl;
        return 1;
    }
    DesktopBridge bridge(nullptr, nullptr);
    for (int pages : jobSizes) {
        for (const PageKind &kind : kinds) {
            if (pages <= 0 || !benchmarkJob(bridge, server, kind.printerLanguage ? rawQueue : queue, kind, pages))
                return 1;
        }
    }
    for (const PageKind &kind : {colourPages, thermalPages}) {
        if (!kindNames.isEmpty() && !kindNames.contains(QLatin1String(kind.name)))
            continue;
        if (!recommendBatchSize(bridge, queue, kind))
            return 1;
    }
    return 0;
}
