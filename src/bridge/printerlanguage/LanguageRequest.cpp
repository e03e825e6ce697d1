#include "LanguageRequest.h"
#include "PrintRequest.h"

#include <QJsonObject>
#include <QSize>

#include <cmath>

namespace {

struct LanguageRanges
{
    const char *name;
    LabelLanguage language;
    int maxDarkness;
    int maxSpeed;
};

// TSPL's DENSITY 0-15 and SPEED 1-14, ZPL's ~SD 0-30 and ^PR 1-14, EPL2's D 0-15 and S 1-6.
const LanguageRanges languages[] = {{"tspl", LabelLanguage::Tspl, 15, 14},
                                    {"zpl", LabelLanguage::Zpl, 30, 14},
                                    {"epl2", LabelLanguage::Epl2, 15, 6}};

// A JSON number that is a whole number within [low, high]; a string of digits is not one.
bool isWholeIn(const QJsonValue &value, int low, int high)
{
    const double number = value.toDouble();
    return value.isDouble() && std::trunc(number) == number && number >= low && number <= high;
}

QString readSetting(const QString &name, const QJsonValue &value, const LanguageRanges &ranges, LabelFormat &format)
{
    if (name == QLatin1String("darkness") && isWholeIn(value, 0, ranges.maxDarkness)) {
        format.darkness = value.toInt();
    } else if (name == QLatin1String("speed") && isWholeIn(value, 1, ranges.maxSpeed)) {
        format.speed = value.toInt();
    } else if (name == QLatin1String("gapMm") && value.isDouble() && value.toDouble() >= 0 && value.toDouble() <= maxGapMm) {
        format.gapMm = value.toDouble();
    } else if (name == QLatin1String("media") && value == QJsonValue(QStringLiteral("gap"))) {
        format.media = MediaSensing::Gap;
    } else if (name == QLatin1String("media") && value == QJsonValue(QStringLiteral("mark"))) {
        format.media = MediaSensing::Mark;
    } else if (name == QLatin1String("media") && value == QJsonValue(QStringLiteral("continuous"))) {
        format.media = MediaSensing::Continuous;
    } else {
        return settingRefusal(name, value);
    }
    return QString();
}

// A gap given without saying what it separates is a gap between labels; a gap asked for
// without its length is the 3 mm of common die-cut rolls.
void completeMedia(const QJsonObject &settings, LabelFormat &format)
{
    const bool gapGiven = settings.contains(QStringLiteral("gapMm"));
    if (format.media == MediaSensing::PrinterOwn && gapGiven)
        format.media = MediaSensing::Gap;
    if (!gapGiven)
        format.gapMm = 3;
}

} // namespace

bool asksForLabelLanguage(const PrintRequest &request)
{
    return !request.printerLanguage.isUndefined() && !request.printerLanguage.isNull();
}

LabelFormat readLabelFormat(const PrintRequest &request, QString *error)
{
    LabelFormat format;
    format.widthMm = request.widthMm;
    format.heightMm = request.heightMm;
    const LanguageRanges *ranges = nullptr;
    for (const LanguageRanges &offered : languages) {
        if (request.printerLanguage == QJsonValue(QLatin1String(offered.name)))
            ranges = &offered;
    }
    if (!ranges) {
        *error = settingRefusal(QStringLiteral("printerLanguage"), request.printerLanguage);
        return format;
    }
    format.language = ranges->language;
    if (!isWholeIn(request.resolutionGiven, minLanguageResolution, maxLanguageResolution)) {
        *error = settingRefusal(QStringLiteral("resolution"), request.resolutionGiven);
        return format;
    }
    format.dotsPerInch = request.resolutionGiven.toInt();
    // A driver's options mean nothing to a job that bypasses the driver.
    if (!request.options.isEmpty()) {
        *error = settingRefusal(request.options.constBegin().key(), request.options.constBegin().value());
        return format;
    }
    if (!request.languageSettings.isUndefined() && !request.languageSettings.isObject()) {
        *error = settingRefusal(QStringLiteral("languageSettings"), request.languageSettings);
        return format;
    }
    const QJsonObject settings = request.languageSettings.toObject();
    for (auto it = settings.constBegin(); it != settings.constEnd(); ++it) {
        *error = readSetting(it.key(), it.value(), *ranges, format);
        if (!error->isEmpty())
            return format;
    }
    completeMedia(settings, format);
    if (request.copies > maxLanguageCopies)
        *error = settingRefusal(QStringLiteral("copies"), request.copies);
    return format;
}

bool pageFitsLabel(const QSize &pixels, const LabelFormat &format)
{
    const double width = format.widthMm * format.dotsPerInch / 25.4;
    const double height = format.heightMm * format.dotsPerInch / 25.4;
    return std::abs(pixels.width() - width) <= 1 && std::abs(pixels.height() - height) <= 1;
}
