#include "PrintRequest.h"
#include "FileRoutines.h"
#include "PrinterOptions.h"

#include <QJsonDocument>
#include <QLocale>

#include <cmath>
#include <limits>

namespace {

QString noPrinterSelected() { return QStringLiteral("未选择打印机"); }
QString noPagesToPrint() { return QStringLiteral("没有可打印的页面"); }
QString invalidPageSize() { return QStringLiteral("无效的页面尺寸"); }
QString settingNotOffered() { return QStringLiteral("打印机不支持所选设置"); }

bool isPageSide(double mm)
{
    return std::isfinite(mm) && mm > 0 && mm <= maxPageSideMm;
}

} // namespace

QString settingRefusal(const QString &name, const QJsonValue &choice)
{
    // Numbers as JSON writes them; Qt keeps a whole one past double precision as a 64-bit integer.
    QString value = choice.isString() ? choice.toString()
        : choice.isDouble()           ? QString::number(choice.toDouble(), 'g', QLocale::FloatingPointShortest)
                                      : choice.toVariant().toString();
    // Qt 5 writes a JSON value only inside a document, so other kinds are written in an array.
    if (choice.isArray() || choice.isObject() || choice.isNull())
        value = QString::fromUtf8(QJsonDocument(QJsonArray{choice}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
    return settingNotOffered() + QStringLiteral("：") + name + QLatin1Char('=') + value;
}

namespace {

// Absent, or a whole number of the int range: anything else would silently print at the
// printer's own resolution.
bool isResolutionValue(const QJsonValue &value)
{
    if (value.isUndefined())
        return true;
    const double number = value.toDouble();
    return value.isDouble() && std::trunc(number) == number && number >= std::numeric_limits<int>::min()
        && number <= std::numeric_limits<int>::max();
}

} // namespace

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
    request.options = payload.value(QStringLiteral("options")).toObject();
    request.resolutionGiven = payload.value(QStringLiteral("resolution"));
    request.resolution = request.resolutionGiven.toInt(0);
    request.printerLanguage = payload.value(QStringLiteral("printerLanguage"));
    request.languageSettings = payload.value(QStringLiteral("languageSettings"));
    return request;
}

QString firstPayloadError(const PrintRequest &request)
{
    if (request.printerName.isEmpty())
        return noPrinterSelected();
    if (request.pages.isEmpty())
        return noPagesToPrint();
    if (!isPageSide(request.widthMm) || !isPageSide(request.heightMm))
        return invalidPageSize();
    return QString();
}

// Every setting of the job must be one the printer offers: a driver handed a choice it does not
// know silently prints with its default, which on a label printer means a wrong darkness or speed.
QString firstSettingNotOffered(const PrintRequest &request, const PrinterSettings &printer)
{
    for (auto it = request.options.constBegin(); it != request.options.constEnd(); ++it) {
        const PrinterOption *option = printer.option(it.key());
        if (!option || !it.value().isString() || !option->offers(it.value().toString()))
            return settingRefusal(it.key(), it.value());
    }
    if (!isResolutionValue(request.resolutionGiven))
        return settingRefusal(QStringLiteral("resolution"), request.resolutionGiven);
    if (request.resolution != 0 && !printer.resolutions.contains(request.resolution))
        return settingRefusal(QStringLiteral("Resolution"), request.resolution);
    return QString();
}
