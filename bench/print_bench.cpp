// print_bench [PAGES...]
// Prints jobs of 50 x 30 mm label pages rendered at 300 dpi through submitPrintJob to a
// private print server's label queue, and reports pages per second and peak memory.
// Without arguments it prints a 100-page and a 1000-page job.
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

#include <cstdio>

namespace {

constexpr double labelWidthMm = 50;
constexpr double labelHeightMm = 30;
constexpr double dotsPerMm = 300 / 25.4;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

// A label as the front end renders one: a title, a number and a bar pattern that differs per page.
QString renderedLabel(int number)
{
    QImage image(qRound(labelWidthMm * dotsPerMm), qRound(labelHeightMm * dotsPerMm), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 28, QFont::Bold));
    painter.drawText(QRect(20, 10, image.width() - 40, 90), Qt::AlignLeft, QStringLiteral("货架标签 Shelf tag"));
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 22));
    painter.drawText(QRect(20, 100, image.width() - 40, 70), Qt::AlignLeft,
                     QStringLiteral("Item %1").arg(number, 6, 10, QLatin1Char('0')));
    for (int x = 20, bar = number * 7919; x < image.width() - 20; x += 4 + bar % 5, bar = bar * 31 + 17)
        painter.fillRect(x, 190, 1 + bar % 4, image.height() - 210, Qt::black);
    painter.end();

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
}

QString printPayload(const QString &queue, int pages)
{
    QJsonArray images;
    for (int i = 0; i < pages; ++i)
        images.append(renderedLabel(i + 1));
    const QJsonObject payload{{QStringLiteral("printerName"), queue},
                              {QStringLiteral("pages"), images},
                              {QStringLiteral("pageWidthMm"), labelWidthMm},
                              {QStringLiteral("pageHeightMm"), labelHeightMm},
                              {QStringLiteral("jobName"), QStringLiteral("print_bench")}};
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

bool benchmarkJob(DesktopBridge &bridge, PrintServer &server, const QString &queue, int pages)
{
    const QString payload = printPayload(queue, pages);
    const qint64 residentBeforeKiB = statusKiB("VmRSS");
    resetPeakMemory();

    QElapsedTimer clock;
    clock.start();
    const QString reply = bridge.submitPrintJob(payload);
    const double seconds = clock.nsecsElapsed() / 1e9;
    const qint64 peakKiB = statusKiB("VmHWM");

    if (QJsonDocument::fromJson(reply.toUtf8()).object().value(QStringLiteral("ok")) != QJsonValue(true)) {
        out() << "job of " << pages << " pages failed: " << reply << Qt::endl;
        return false;
    }
    const QList<int> jobs = server.jobIds(queue);
    const qint64 pdfBytes = jobs.isEmpty() ? -1 : QFileInfo(server.keptDocumentPath(jobs.last())).size();
    out() << QStringLiteral("%1 pages: %2 s, %3 pages/s; payload %4 MiB; VmRSS before %5 MiB, VmHWM during %6 MiB; PDF %7 MiB")
                 .arg(pages)
                 .arg(seconds, 0, 'f', 2)
                 .arg(pages / seconds, 0, 'f', 1)
                 .arg(payload.size() * 2 / 1048576.0, 0, 'f', 1)
                 .arg(residentBeforeKiB / 1024.0, 0, 'f', 1)
                 .arg(peakKiB / 1024.0, 0, 'f', 1)
                 .arg(pdfBytes / 1048576.0, 0, 'f', 1)
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
    for (const QString &argument : app.arguments().mid(1))
        jobSizes.append(argument.toInt());
    if (jobSizes.isEmpty())
        jobSizes = {100, 1000};

    PrintServer server;
    const QString queue = QStringLiteral("bench");
    if (!server.start() || !server.addQueue(queue)) {
        out() << "print server: " << server.errorString() << Qt::endl;
        return 1;
    }
    DesktopBridge bridge(nullptr, nullptr);
    for (int pages : jobSizes) {
        if (pages <= 0 || !benchmarkJob(bridge, server, queue, pages))
            return 1;
    }
    return 0;
}
