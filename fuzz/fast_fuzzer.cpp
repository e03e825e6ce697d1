// Feeds arbitrary input to the bridge's routines that need no window, dialog, settings or print
// server, thousands of times a second. The first input byte picks the routine, the rest is its input:
//   0 payload   every command's payload text: parsePayloadObject and the readers of the save commands;
//               the object again with its first key repeated, plainly and spelt in escapes
//   1 image     the bytes as a page image, Base64 behind a data-URL header, decoded within the pixel cap
//   2 suffix    extension completion; the text is cut at its first NUL into path and suffix
//   3 write     the text as Base64 content written to a temporary folder, then read back
//   4 envelope  the text as an error message and as a result value in a reply envelope
//   5 print     the text as submitPrintJob's payload: its reader, its own checks, and the settings
//               check against a label printer's driver
//   6 one bit   the bytes as a page image, decoded and brought to the 1-bit form Qt prints as such
//   7 label     the bytes as a small page's pixels: its dots, and the dots each printer language's
//               writer puts in a label, read back by the independent label decoder
//   8 language  the text as a print payload with a printer language: the checks of the language,
//               resolution and settings, and what the writers make of an accepted one
//   9 templates the bytes as a label-template file beside a paper-size file, read and listed
//  10 page size the bytes as a label's sides in tenths of a millimetre, against a label driver's range
#include "FileRoutines.h"
#include "LabelDecoder.h"
#include "LabelTemplates.h"
#include "PageImage.h"
#include "PrintRequest.h"
#include "PrinterOptions.h"
#include "printerlanguage/LanguageRequest.h"
#include "RepeatedKeys.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImageReader>
#include <QJsonDocument>
#include <QLocale>
#include <QSet>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

[[noreturn]] void fail(const char *what, const QString &input)
{
    fprintf(stderr, "%s\ninput: %s\n", what, qPrintable(input.left(2000)));
    abort();
}

// A payload object that repeats its first key, as written and spelt in \u escapes, at its top and
// inside an array, is refused before Qt reads it.
void checkRepeatedKeys(const QJsonObject &payload, const QByteArray &own)
{
    const QByteArray key = QJsonDocument(QJsonObject{{payload.begin().key(), 0}}).toJson(QJsonDocument::Compact).mid(1).chopped(3);
    QByteArray escaped;
    for (const QChar c : payload.begin().key())
        escaped += "\\u" + QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
    const QByteArray repeats[] = {"{" + key + ":[{}]," + own.mid(1), "{\"" + escaped + "\":0," + own.mid(1),
                                  "[1,{" + key + ":\"x\"," + own.mid(1) + "]"};
    for (const QByteArray &repeat : repeats) {
        if (!repeatsAKey(repeat) || !parsePayloadObject(QString::fromUtf8(repeat)).isEmpty())
            fail("a payload that repeats a key was read", QString::fromUtf8(repeat));
    }
}

// A key of another JSON type than its own gives the default; only a JSON true asks for a dialog.
void checkPayloadReaders(const QString &text)
{
    const QJsonObject payload = parsePayloadObject(text);
    // Compared as text: Qt holds a whole number past double precision as a double when it reads it
    // and as an integer when it reads it back, two values its == tells apart.
    const QByteArray own = QJsonDocument(payload).toJson();
    if (!payload.isEmpty() && QJsonDocument(parsePayloadObject(QString::fromUtf8(own))).toJson() != own)
        fail("a payload object does not survive its own text", text);
    const SaveRequest project = readProjectSaveRequest(text);
    if (project.saveAs != (payload.value(QStringLiteral("saveAs")) == QJsonValue(true)))
        fail("saveAs is not exactly the JSON true", text);
    if (!payload.value(QStringLiteral("suggestedName")).isString() && project.suggestedName != QStringLiteral("未命名标签.cwrt"))
        fail("a suggested name that is not a string does not give the default", text);
    if (!payload.value(QStringLiteral("currentPath")).isString() && !project.currentPath.isEmpty())
        fail("a current path that is not a string is not empty", text);
    const SaveRequest pdf = readPdfSaveRequest(text);
    if (pdf.saveAs || !pdf.currentPath.isEmpty() || pdf.base64Text != project.base64Text)
        fail("a PDF export reads more than its name and content", text);
    if (payload.isEmpty())
        return;
    if (repeatsAKey(own))
        fail("an object Qt wrote itself was taken for one with a repeated key", text);
    checkRepeatedKeys(payload, QJsonDocument(payload).toJson(QJsonDocument::Compact));
}

QImage decodedPage(const QByteArray &bytes)
{
    return decodePageImage(QStringLiteral("data:image/png;base64,") + QString::fromLatin1(bytes.toBase64()));
}

void checkPageImage(const QByteArray &bytes)
{
    const QImage image = decodedPage(bytes);
    if (qint64(image.width()) * image.height() > maxPagePixels)
        fail("a page image over the pixel cap was decoded", QString::fromLatin1(bytes.toBase64()));
    QByteArray file = bytes;
    QBuffer buffer(&file);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    if (image.isNull())
        return;
    if (!reader.size().isValid())
        fail("a page image whose format gives no size before decoding was decoded", QString::fromLatin1(bytes.toBase64()));
    if (format != "png" && format != "jpeg" && format != "gif")
        fail("a page image in another format than a raster one was decoded", QString::fromLatin1(bytes.toBase64()));
    // Cut at its only end-of-image marker, or before its trailer where that is its last 0x3b.
    const int end = format == "jpeg" && bytes.count("\xff\xd9") == 1 ? bytes.indexOf("\xff\xd9")
        : format == "gif" && !bytes.chopped(1).endsWith('\x3b')   ? bytes.size() - 1
                                                                    : -1;
    if (end >= 0 && !decodedPage(bytes.left(end)).isNull())
        fail("a page image cut short before its end was decoded", QString::fromLatin1(bytes.toBase64()));
}

// How a colour looks printed on white paper.
QRgb onWhite(QRgb colour)
{
    const int alpha = qAlpha(colour);
    const auto mix = [alpha](int channel) { return (channel * alpha + 255 * (255 - alpha) + 127) / 255; };
    return qRgb(mix(qRed(colour)), mix(qGreen(colour)), mix(qBlue(colour)));
}

bool isOpaqueBlackAndWhite(const QImage &image)
{
    const QVector<QRgb> blackFirst{qRgb(0, 0, 0), qRgb(255, 255, 255)};
    const QVector<QRgb> whiteFirst{qRgb(255, 255, 255), qRgb(0, 0, 0)};
    return image.depth() == 1 && (image.colorTable() == blackFirst || image.colorTable() == whiteFirst);
}

// A black-and-white page must reach the PDF engine as its 1-bit form (black, then white) and print
// the same dots; any other page goes on unchanged.
void checkOneBit(const QByteArray &bytes)
{
    const QImage image = decodedPage(bytes);
    const QImage kept = keptOneBit(image);
    const QString input = QString::fromLatin1(bytes.toBase64());
    if (kept.cacheKey() == image.cacheKey()) {
        if (isOpaqueBlackAndWhite(image) && (image.format() != QImage::Format_Mono || image.colorTable().first() != qRgb(0, 0, 0)))
            fail("a black-and-white page was not brought to its 1-bit form", input);
        return;
    }
    if (kept.format() != QImage::Format_Mono || kept.colorTable() != QVector<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}
        || kept.size() != image.size())
        fail("a page brought to 1 bit is not black, then white, at its own size", input);
    // A few hundred bytes of file can hold a page of millions of dots; a corner of it shows a swap.
    const int rows = qMin(image.height(), 1 + (1 << 12) / qMax(image.width(), 1));
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (onWhite(kept.pixel(x, y)) != onWhite(image.pixel(x, y)))
                fail("a page brought to 1 bit prints other dots than the decoded page", input);
        }
    }
}

void checkSuffix(const QString &text)
{
    const int cut = text.indexOf(QChar(0));
    const QString path = text.left(cut);
    const QString suffix = cut < 0 ? QStringLiteral(".cwrt") : text.mid(cut + 1);
    const QString completed = ensureSuffix(path, suffix);
    if (!completed.endsWith(suffix, Qt::CaseInsensitive) || (completed != path && completed != path + suffix))
        fail("the completed name does not end in the suffix, or changed more than that", text);
}

// The write routine's promise: the file holds exactly the decoded bytes, and only text from
// which nothing decodes (the empty text among them) is refused, leaving nothing behind.
void checkWrite(const QString &folder, const QString &text)
{
    const QString path = folder + QStringLiteral("/content.cwrt");
    const QByteArray expected = QByteArray::fromBase64(text.toUtf8());
    const QString error = writeBase64File(path, text);
    if (expected.isEmpty()) {
        if (error != QStringLiteral("文件内容编码无效") || QFile::exists(path))
            fail("undecodable content was not refused as such", text);
        return;
    }
    if (!error.isEmpty() || readFileBase64(path) != QString::fromLatin1(expected.toBase64()))
        fail("the file does not hold the decoded bytes", text);
    QFile::remove(path);
}

void checkEnvelope(const QString &text)
{
    const QJsonObject failure = QJsonDocument::fromJson(makeErrorReply(text).toUtf8()).object();
    if (failure != QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), text}})
        fail("an error reply does not carry its message", text);
    const QJsonObject success = QJsonDocument::fromJson(makeOkReply({{text, text}}).toUtf8()).object();
    if (success.value(QStringLiteral("ok")) != QJsonValue(true) || success.size() != (text == QStringLiteral("ok") ? 1 : 2))
        fail("an ok reply does not carry its result with ok true", text);
}

// A label printer's driver as CUPS' own ZPL sample describes it, in the parts the settings check reads.
PrinterSettings zplPrinter()
{
    PrinterOption darkness{QStringLiteral("Darkness"), QStringLiteral("Darkness"), QStringLiteral("-1"),
                           {{QStringLiteral("-1"), QStringLiteral("Printer Default")}}};
    PrinterOption rate{QStringLiteral("zePrintRate"), QStringLiteral("Print Rate"), QStringLiteral("Default"),
                       {{QStringLiteral("Default"), QStringLiteral("Printer Default")}}};
    for (int level = 1; level <= 30; ++level)
        darkness.choices.append({QString::number(level), QString::number(level)});
    for (int inchesPerSecond = 1; inchesPerSecond <= 12; ++inchesPerSecond)
        rate.choices.append({QString::number(inchesPerSecond), QString::number(inchesPerSecond)});
    PrinterSettings printer;
    printer.options = {darkness, rate};
    printer.resolutions = {203, 300, 600};
    printer.defaultResolution = 203;
    printer.resolutionOptionName = QStringLiteral("Resolution");
    printer.pageSizes = {{QStringLiteral("wide"), QSizeF(220, 10)}}; // a named size outside the range
    printer.customMinMm = QSizeF(12.7, 12.7);
    printer.customMaxMm = QSizeF(203.2, 1270);
    return printer;
}

// Sides in tenths of a millimetre from the first four bytes: a label prints upright when it is one
// of the driver's sizes or within its range, and only then.
void checkPageSize(const QByteArray &bytes)
{
    if (bytes.size() < 4)
        return;
    const double width = (uchar(bytes[0]) << 8 | uchar(bytes[1])) / 10.0;
    const double height = (uchar(bytes[2]) << 8 | uchar(bytes[3])) / 10.0;
    static const PrinterSettings printer = zplPrinter();
    const bool named = qAbs(width - 220) <= 0.1 && qAbs(height - 10) <= 0.1;
    const bool inRange = width >= 12.69 && width <= 203.21 && height >= 12.69 && height <= 1270.01;
    if (printer.takesPageSize(width, height) != (named || inRange))
        fail("a label size was taken outside the driver's range, or refused within it",
             QStringLiteral("%1 x %2 mm").arg(width).arg(height));
}

bool offersSetting(const PrinterSettings &printer, const QString &name, const QJsonValue &choice)
{
    const PrinterOption *option = printer.option(name);
    return option && choice.isString() && option->offers(choice.toString());
}

// The payload's keys read with their defaults, the payload's own checks, and the settings check
// against the driver's table: a job passes it only with choices the driver lists, and the first it
// does not list is named in the refusal.
void checkPrintRequest(const QString &text)
{
    const QJsonObject payload = parsePayloadObject(text);
    const PrintRequest request = readPrintRequest(text);
    const QJsonValue copies = payload.value(QStringLiteral("copies"));
    const double wholeCopies = copies.toDouble(1);
    const bool intCopies = copies.isDouble() && std::trunc(wholeCopies) == wholeCopies
        && wholeCopies >= std::numeric_limits<int>::min() && wholeCopies <= std::numeric_limits<int>::max();
    if (request.copies != (intCopies ? int(wholeCopies) : 1))
        fail("copies that are not a whole number of the int range do not give 1", text);
    if ((!payload.value(QStringLiteral("printerName")).isString() && !request.printerName.isEmpty())
        || (!payload.value(QStringLiteral("pages")).isArray() && !request.pages.isEmpty())
        || (!payload.value(QStringLiteral("jobName")).isString() && request.jobName != QStringLiteral("标签打印"))
        || (!payload.value(QStringLiteral("options")).isObject() && !request.options.isEmpty())
        || (!payload.value(QStringLiteral("resolution")).isDouble() && request.resolution != 0))
        fail("a print key of another JSON type does not give its default", text);

    const bool accepted = firstPayloadError(request).isEmpty();
    const auto isSide = [](double mm) { return std::isfinite(mm) && mm > 0 && mm <= 10000; };
    if (accepted != (!request.printerName.isEmpty() && !request.pages.isEmpty() && isSide(request.widthMm) && isSide(request.heightMm)))
        fail("a print payload was accepted with a side outside (0, 10 m], or refused without fault", text);

    static const PrinterSettings printer = zplPrinter();
    const QString refusal = firstSettingNotOffered(request, printer);
    QString expected;
    bool exact = true; // a choice of another JSON type than a string or a number names only its option
    for (auto it = request.options.constBegin(); expected.isEmpty() && it != request.options.constEnd(); ++it) {
        if (offersSetting(printer, it.key(), it.value()))
            continue;
        exact = it.value().isString() || it.value().isDouble();
        expected = it.key() + QLatin1Char('=')
            + (it.value().isDouble() ? QString::number(it.value().toDouble(), 'g', QLocale::FloatingPointShortest)
                                     : it.value().toString());
    }
    const QJsonValue resolution = payload.value(QStringLiteral("resolution"));
    const double dots = resolution.toDouble();
    const bool wholeResolution = resolution.isUndefined() || (resolution.isDouble() && std::trunc(dots) == dots
        && dots >= std::numeric_limits<int>::min() && dots <= std::numeric_limits<int>::max());
    if (expected.isEmpty() && !wholeResolution) {
        exact = resolution.isString() || resolution.isDouble();
        expected = QStringLiteral("resolution=")
            + (resolution.isDouble() ? QString::number(dots, 'g', QLocale::FloatingPointShortest) : resolution.toString());
    }
    if (expected.isEmpty() && request.resolution != 0 && !printer.resolutions.contains(request.resolution))
        expected = QStringLiteral("Resolution=") + QString::number(request.resolution);
    if (!expected.isEmpty())
        expected.prepend(QStringLiteral("打印机不支持所选设置："));
    if (exact ? refusal != expected : !refusal.startsWith(expected))
        fail("the settings check passed a choice the driver does not list, or named the wrong one", text);
}

// Up to 64 x 48 pixels from the bytes, 1-bit or with colour and alpha, and the dots it prints as:
// dark (luminance below half) and opaque (alpha at least half).
QImage smallPage(const QByteArray &bytes, QImage *expectedDots)
{
    if (bytes.size() < 4)
        return QImage();
    const bool oneBit = bytes[2] & 1;
    QImage page(uchar(bytes[0]) % 64 + 1, uchar(bytes[1]) % 48 + 1, oneBit ? QImage::Format_Mono : QImage::Format_ARGB32);
    page.setColorTable({qRgba(0, 0, 0, uchar(bytes[3])), qRgba(uchar(bytes[3]), 128, 127, 200)});
    *expectedDots = QImage(page.size(), QImage::Format_Mono);
    const QByteArray pixels = bytes.mid(4) + '\0';
    for (int y = 0; y < page.height(); ++y) {
        for (int i = 0; i < page.bytesPerLine(); ++i)
            page.scanLine(y)[i] = uchar(pixels[(y * page.bytesPerLine() + i) % pixels.size()]);
        for (int x = 0; x < page.width(); ++x) {
            const QRgb c = page.pixel(x, y);
            expectedDots->setPixel(x, y, qAlpha(c) >= 128 && 0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c) < 127.5);
        }
    }
    return page;
}

// A label is as wide as its graphic's whole bytes, or cut to the width its language gives it.
bool printedAsDots(const QImage &printed, const QImage &dots)
{
    if (printed.height() != dots.height() || printed.width() < dots.width() || printed.width() > (dots.width() + 7) / 8 * 8)
        return false;
    for (int y = 0; y < printed.height(); ++y) {
        for (int x = 0; x < printed.width(); ++x) {
            if (printed.pixelIndex(x, y) != (x < dots.width() ? dots.pixelIndex(x, y) : 0))
                return false;
        }
    }
    return true;
}

// The page's dark, opaque pixels reach the printer as they are, in each language and in both of
// ZPL's encodings, as the independent label decoder reads them back.
void checkLabel(const QByteArray &bytes)
{
    QImage expected;
    const QImage page = smallPage(bytes, &expected);
    if (page.isNull())
        return;
    const QString input = QString::fromLatin1(bytes.toBase64());
    const LabelDots dots = readLabelDots(page);
    const QByteArray total = QByteArray::number(dots.bits.size());
    const QByteArray graphic = "^XA^PW" + QByteArray::number(dots.width) + "^FO0,0^GFA," + total + ',' + total + ','
        + QByteArray::number(dots.bytesPerRow) + ',';
    QList<QByteArray> jobs{graphic + zplAsciiCompressed(dots) + "^FS^XZ", graphic + zplZ64(dots) + "^FS^XZ"};
    for (const LabelLanguage language : {LabelLanguage::Tspl, LabelLanguage::Zpl, LabelLanguage::Epl2}) {
        const LabelFormat format{language, page.width() * 25.4 / 203, page.height() * 25.4 / 203};
        jobs.append(jobStart(format) + labelCommands(format, dots));
    }
    for (const QByteArray &job : jobs) {
        const DecodedLabels labels = decodeLabels(job);
        if (labels.pages.size() != 1 || !printedAsDots(labels.pages.first(), expected))
            fail(qPrintable("a printer language's writer does not print the page's dots: " + labels.error + '\n' + job), input);
    }
}

// A printer-language payload is taken only with whole numbers for darkness and speed, a number
// for the gap and one of the media words, and then nothing but commands and numbers start the job.
void checkLanguageRequest(const QString &text)
{
    const PrintRequest request = readPrintRequest(text);
    QString refusal;
    const LabelFormat format = readLabelFormat(request, &refusal);
    const QJsonObject settings = request.languageSettings.toObject();
    for (auto it = settings.constBegin(); refusal.isEmpty() && it != settings.constEnd(); ++it) {
        if (it.value().isDouble() ? it.key() == QLatin1String("media") : it.key() != QLatin1String("media"))
            fail("a language setting of the wrong type was accepted", text);
    }
    const QByteArray start = refusal.isEmpty() ? jobStart(format) : QByteArray();
    if (start.contains('^') || start.contains('~') || start.contains('"') || !refusal.isEmpty() != refusal.startsWith(QStringLiteral("打印机不支持所选设置：")))
        fail("a language payload's values reach the job as more than numbers", text);
}

// Whatever a template file holds, every entry listed is one a sheet can be drawn from: a label of
// positive size, at least one block of whole labels, figures that are numbers, one entry a part.
void checkTemplates(const QByteArray &bytes)
{
    static const QByteArray papers =
        "<Glabels-paper-sizes><Paper-size id=\"A4\" width=\"210mm\" height=\"297mm\"/></Glabels-paper-sizes>";
    const TemplateReadResult result = readLabelTemplateTexts({papers, bytes});
    QSet<QString> parts;
    for (const LabelTemplate &entry : result.templates) {
        const QString input = QString::fromUtf8(bytes);
        const auto length = [](double mm) { return std::isfinite(mm) && std::abs(mm) <= 10000; };
        if (!(entry.widthMm > 0) || !(entry.heightMm > 0) || !length(entry.widthMm) || !length(entry.heightMm)
            || !(entry.paperWidthMm > 0) || !(entry.paperHeightMm > 0) || entry.layouts.isEmpty())
            fail("a template without a label or a paper of positive size was listed", input);
        for (const TemplateLayout &layout : entry.layouts)
            if (layout.nx < 1 || layout.ny < 1 || layout.nx > 1000 || layout.ny > 1000 || !length(layout.x0Mm)
                || !length(layout.y0Mm) || !length(layout.dxMm) || !length(layout.dyMm))
                fail("a template's block of labels is not a grid of whole labels at finite places", input);
        if (!entry.equivalentTo.isEmpty() && entry.equivalentTo.compare(entry.part, Qt::CaseInsensitive) == 0)
            fail("an alias was resolved to itself", input);
        const QString key = entry.brand.toCaseFolded() + QLatin1Char('\n') + entry.part.toCaseFolded();
        if (parts.contains(key))
            fail("one maker's part was listed twice", input);
        parts.insert(key);
        if (QJsonDocument(templateToJson(entry)).toJson().isEmpty())
            fail("a template did not become JSON", input);
    }
}

int applicationArgc = 1;
char applicationName[] = "fast_fuzzer";
char *applicationArgv[] = {applicationName, nullptr};

// A completed save is synced to disk; in memory that costs nothing, so the writes go there when they can.
QString workFolderTemplate()
{
    const QString memory = QStringLiteral("/dev/shm");
    return (QFileInfo(memory).isWritable() ? memory : QDir::tempPath()) + QStringLiteral("/fast_fuzzer-XXXXXX");
}

struct Harness
{
    QCoreApplication app{applicationArgc, applicationArgv};
    QTemporaryDir work{workFolderTemplate()};
};
Harness *harness = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The image readers complain about every broken image; thousands a second would only slow the run.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    harness = new Harness;
    if (!harness->work.isValid())
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), int(size - 1));
    const QString text = QString::fromUtf8(bytes);
    switch (data[0] % 11) {
    case 0: checkPayloadReaders(text); break;
    case 1: checkPageImage(bytes); break;
    case 2: checkSuffix(text); break;
    case 3: checkWrite(harness->work.path(), text); break;
    case 4: checkEnvelope(text); break;
    case 5: checkPrintRequest(text); break;
    case 6: checkOneBit(bytes); break;
    case 7: checkLabel(bytes); break;
    case 8: checkLanguageRequest(text); break;
    case 9: checkTemplates(bytes); break;
    default: checkPageSize(bytes); break;
    }
    return 0;
}
