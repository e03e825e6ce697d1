#include "HeadlessPrint.h"
#include "FileRoutines.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>

namespace {

void writeLine(const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

// Generous: a loaded machine may take tens of seconds to start the web engine.
constexpr int pageStartLimitMs = 120000;

// After the reply has gone back to the page, so the page's call completes first.
void exitSoon(int status)
{
    QTimer::singleShot(0, qApp, [status] { QCoreApplication::exit(status); });
}

} // namespace

HeadlessPrint::HeadlessPrint(const PrintOrder &order, QObject *parent)
    : QObject(parent)
    , order(order)
{
    pageWatch.setSingleShot(true);
    connect(&pageWatch, &QTimer::timeout, this, [] {
        fail(say("quillmark：程序的界面没有启动打印任务，没有打印任何标签。", "quillmark: the program's interface did not start the job; nothing was printed."));
    });
    pageWatch.start(pageStartLimitMs);
}

QString HeadlessPrint::job()
{
    pageWatch.stop();
    return makeOkReply({
        {QStringLiteral("project"), order.project},
        {QStringLiteral("printer"), order.printer},
        {QStringLiteral("pdf"), order.pdf},
        {QStringLiteral("data"), order.data},
        {QStringLiteral("sheet"), order.sheet},
        {QStringLiteral("firstRecord"), order.firstRecord},
        {QStringLiteral("lastRecord"), order.lastRecord},
        {QStringLiteral("copies"), order.copies},
        {QStringLiteral("skipInvalid"), order.skipInvalid},
        {QStringLiteral("language"), chineseLocale() ? QStringLiteral("zh-CN") : QStringLiteral("en")},
    });
}

QString HeadlessPrint::writePdf(const QString &payloadJson)
{
    const QString base64 = parsePayloadObject(payloadJson).value(QStringLiteral("dataBase64")).toString();
    const QString error = writeBase64File(order.pdf, base64);
    if (!error.isEmpty())
        return makeErrorReply(error);
    return makeOkReply({{QStringLiteral("path"), order.pdf}});
}

QString HeadlessPrint::progress(const QString &line)
{
    writeLine(line);
    return makeOkReply({});
}

QString HeadlessPrint::finish(const QString &payloadJson)
{
    if (finished)
        return makeOkReply({});
    finished = true;
    const QJsonObject outcome = parsePayloadObject(payloadJson);
    for (const QJsonValue &line : outcome.value(QStringLiteral("lines")).toArray())
        writeLine(line.toString());
    // Anything but a clean 0 from the page counts as nothing printed.
    const int status = outcome.value(QStringLiteral("status")).toInt(1);
    exitSoon(status >= 0 && status <= 3 ? status : 1);
    return makeOkReply({});
}

void HeadlessPrint::fail(const QString &message)
{
    writeLine(message);
    exitSoon(1);
}
