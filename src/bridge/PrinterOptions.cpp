#include "DesktopBridge.h"
#include "FileRoutines.h"
#include "PrinterOptions.h"
#include "PrintSystemProbe.h"

#include <QFile>
#include <QJsonArray>
#include <QPrinterInfo>

#include <cups/cups.h>
#include <cups/ppd.h>

#include <memory>

namespace {

QString noPrinterSelected() { return QStringLiteral("未选择打印机"); }
QString printerNotFound() { return QStringLiteral("系统中未找到所选打印机"); }

// The host sets the page itself, from the label's size, and lists resolutions on their own.
bool isSetByHost(const QString &optionName)
{
    for (const char *name : {"PageSize", "PageRegion", "media", "Resolution"}) {
        if (optionName.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// "203dpi", "300x300dpi": the horizontal resolution, or 0 for anything else.
int dotsPerInch(const char *resolutionChoice)
{
    const QByteArray text(resolutionChoice);
    return text.endsWith("dpi") ? text.chopped(3).split('x').first().toInt() : 0;
}

// CUPS marks its PPD functions deprecated, yet they are the only way to a driver's own options:
// the destination API reports just media-type and printer-resolution for a label driver.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

struct PpdCloser
{
    void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};
using PpdFile = std::unique_ptr<ppd_file_t, PpdCloser>;

// The queue's PPD as the server keeps it, with the defaults its administrator chose.
PpdFile fetchDriver(const QString &printerName)
{
    const char *copy = cupsGetPPD2(CUPS_HTTP_DEFAULT, printerName.toUtf8().constData());
    if (!copy)
        return nullptr;
    PpdFile ppd(ppdOpenFile(copy));
    QFile::remove(QFile::decodeName(copy));
    return ppd;
}

PrinterOption driverOption(const ppd_option_t &option)
{
    PrinterOption result{QString::fromUtf8(option.keyword), QString::fromUtf8(option.text),
                         QString::fromUtf8(option.defchoice), {}};
    for (int i = 0; i < option.num_choices; ++i) {
        const ppd_choice_t &choice = option.choices[i];
        // A custom choice needs values of its own that no list can offer.
        if (qstrcmp(choice.choice, "Custom") != 0)
            result.choices.append({QString::fromUtf8(choice.choice), QString::fromUtf8(choice.text)});
    }
    return result;
}

void appendGroupOptions(const ppd_group_t &group, QList<PrinterOption> &options)
{
    for (int i = 0; i < group.num_options; ++i) {
        if (!isSetByHost(QString::fromUtf8(group.options[i].keyword)))
            options.append(driverOption(group.options[i]));
    }
    for (int i = 0; i < group.num_subgroups; ++i)
        appendGroupOptions(group.subgroups[i], options);
}

void readDriverResolutions(ppd_file_t *ppd, PrinterSettings &settings)
{
    settings.resolutionOptionName = QStringLiteral("Resolution");
    if (const ppd_option_t *option = ppdFindOption(ppd, "Resolution")) {
        for (int i = 0; i < option->num_choices; ++i) {
            const int dpi = dotsPerInch(option->choices[i].choice);
            if (dpi > 0 && !settings.resolutions.contains(dpi))
                settings.resolutions.append(dpi);
        }
        settings.defaultResolution = dotsPerInch(option->defchoice);
    } else if (const ppd_attr_t *fixed = ppdFindAttr(ppd, "DefaultResolution", nullptr)) {
        settings.defaultResolution = dotsPerInch(fixed->value);
        if (settings.defaultResolution > 0)
            settings.resolutions.append(settings.defaultResolution);
    }
}

PrinterSettings driverSettings(ppd_file_t *ppd)
{
    PrinterSettings settings;
    settings.hasDriver = true;
    for (int i = 0; i < ppd->num_groups; ++i)
        appendGroupOptions(ppd->groups[i], settings.options);
    readDriverResolutions(ppd, settings);
    const double mmPerPoint = 25.4 / 72;
    if (ppd->variable_sizes) {
        // A driver that names no largest size (no MaxMediaWidth or ParamCustomPageSize) sets none.
        settings.customMinMm = QSizeF(ppd->custom_min[0], ppd->custom_min[1]) * mmPerPoint;
        if (ppd->custom_max[0] > 0 && ppd->custom_max[1] > 0)
            settings.customMaxMm = QSizeF(ppd->custom_max[0], ppd->custom_max[1]) * mmPerPoint;
    } else {
        settings.customMaxMm = QSizeF(0, 0);
    }
    for (int i = 0; i < ppd->num_sizes; ++i) {
        const ppd_size_t &size = ppd->sizes[i];
        if (qstrcmp(size.name, "Custom") != 0)
            settings.pageSizes.append({QString::fromUtf8(size.name),
                                       QSizeF(size.width * mmPerPoint, size.length * mmPerPoint)});
    }
    return settings;
}

#pragma GCC diagnostic pop

// A printer without a driver describes itself over IPP. Of its job settings only those a label
// user sets per printer and stock are offered; the rest (scaling, orientation, number-up) would
// move the label's dots, and the page's size and copies are the host's.
const char *const printerOwnSettings[] = {"media-type", "media-source", "print-darkness", "print-speed",
                                          "print-quality", "print-color-mode", "output-bin"};

struct DestinationFree
{
    void operator()(cups_dest_t *dest) const { cupsFreeDests(1, dest); }
    void operator()(cups_dinfo_t *info) const { cupsFreeDestInfo(info); }
};

QString ippValueText(ipp_attribute_t *attribute, int index)
{
    switch (ippGetValueTag(attribute)) {
    case IPP_TAG_KEYWORD:
    case IPP_TAG_NAME:
        return QString::fromUtf8(ippGetString(attribute, index, nullptr));
    case IPP_TAG_ENUM:
    case IPP_TAG_INTEGER:
        return QString::number(ippGetInteger(attribute, index));
    default:
        return QString();
    }
}

int ippDotsPerInch(ipp_attribute_t *attribute, int index)
{
    int vertical = 0;
    ipp_res_t units = IPP_RES_PER_INCH;
    const int horizontal = ippGetResolution(attribute, index, &vertical, &units);
    return units == IPP_RES_PER_CM ? qRound(horizontal * 2.54) : horizontal;
}

PrinterSettings destinationSettings(const QString &printerName)
{
    PrinterSettings settings;
    settings.resolutionOptionName = QStringLiteral("printer-resolution");
    const std::unique_ptr<cups_dest_t, DestinationFree> dest(
        cupsGetNamedDest(CUPS_HTTP_DEFAULT, printerName.toUtf8().constData(), nullptr));
    if (!dest)
        return settings;
    const std::unique_ptr<cups_dinfo_t, DestinationFree> info(cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest.get()));
    if (!info)
        return settings;
    http_t *http = CUPS_HTTP_DEFAULT;

    for (const char *name : printerOwnSettings) {
        ipp_attribute_t *supported = cupsFindDestSupported(http, dest.get(), info.get(), name);
        if (!supported || ippGetCount(supported) < 2)
            continue;
        PrinterOption option{QString::fromUtf8(name),
                             QString::fromUtf8(cupsLocalizeDestOption(http, dest.get(), info.get(), name)), {}, {}};
        for (int i = 0; i < ippGetCount(supported); ++i) {
            const QString value = ippValueText(supported, i);
            if (!value.isEmpty())
                option.choices.append({value, QString::fromUtf8(cupsLocalizeDestValue(
                                                  http, dest.get(), info.get(), name, value.toUtf8().constData()))});
        }
        if (ipp_attribute_t *fallback = cupsFindDestDefault(http, dest.get(), info.get(), name))
            option.defaultChoice = ippValueText(fallback, 0);
        if (option.choices.size() > 1)
            settings.options.append(option);
    }

    if (ipp_attribute_t *supported = cupsFindDestSupported(http, dest.get(), info.get(), "printer-resolution")) {
        for (int i = 0; i < ippGetCount(supported); ++i)
            settings.resolutions.append(ippDotsPerInch(supported, i));
    }
    if (ipp_attribute_t *fallback = cupsFindDestDefault(http, dest.get(), info.get(), "printer-resolution"))
        settings.defaultResolution = ippDotsPerInch(fallback, 0);
    return settings;
}

QJsonObject optionObject(const PrinterOption &option)
{
    QJsonArray choices;
    for (const PrinterChoice &choice : option.choices)
        choices.append(QJsonObject{{QStringLiteral("name"), choice.name}, {QStringLiteral("label"), choice.label}});
    return {{QStringLiteral("name"), option.name},
            {QStringLiteral("label"), option.label},
            {QStringLiteral("defaultChoice"), option.defaultChoice},
            {QStringLiteral("choices"), choices}};
}

} // namespace

bool PrinterOption::offers(const QString &choice) const
{
    for (const PrinterChoice &offered : choices) {
        if (offered.name == choice)
            return true;
    }
    return false;
}

const PrinterOption *PrinterSettings::option(const QString &name) const
{
    for (const PrinterOption &offered : options) {
        if (offered.name == name)
            return &offered;
    }
    return nullptr;
}

const DriverPageSize *PrinterSettings::namedPageSize(double widthMm, double heightMm) const
{
    constexpr double sameSizeMm = 0.1;
    for (const DriverPageSize &size : pageSizes) {
        if (qAbs(size.sizeMm.width() - widthMm) <= sameSizeMm && qAbs(size.sizeMm.height() - heightMm) <= sameSizeMm)
            return &size;
    }
    return nullptr;
}

bool PrinterSettings::takesPageSize(double widthMm, double heightMm) const
{
    // The range is kept in whole points, which the label's millimetres rarely are.
    constexpr double roundingMm = 0.01;
    return namedPageSize(widthMm, heightMm)
        || (widthMm >= customMinMm.width() - roundingMm && widthMm <= customMaxMm.width() + roundingMm
            && heightMm >= customMinMm.height() - roundingMm && heightMm <= customMaxMm.height() + roundingMm);
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

PrinterSettings readPrinterSettings(const QString &printerName)
{
    if (const PpdFile ppd = fetchDriver(printerName))
        return driverSettings(ppd.get());
    return destinationSettings(printerName);
}

QString DesktopBridge::printerOptions(const QString &printerName)
{
    if (printerName.isEmpty())
        return makeErrorReply(noPrinterSelected());
    const QString silence = printSystemSilence();
    if (!silence.isEmpty())
        return makeErrorReply(silence);
    if (findPrinter(printerName).isNull())
        return makeErrorReply(printerNotFound());

    const PrinterSettings settings = readPrinterSettings(printerName);
    QJsonArray options;
    for (const PrinterOption &option : settings.options)
        options.append(optionObject(option));
    QJsonArray resolutions;
    for (const int dpi : settings.resolutions)
        resolutions.append(dpi);
    return makeOkReply({{QStringLiteral("printerName"), printerName},
                        {QStringLiteral("options"), options},
                        {QStringLiteral("resolutions"), resolutions},
                        {QStringLiteral("defaultResolution"), settings.defaultResolution},
                        {QStringLiteral("driver"), settings.hasDriver ? QStringLiteral("ppd") : QStringLiteral("raw")}});
}
