// Feeds arbitrary input to the bridge's routines that need no window, dialog, settings or print
// server, thousands of times a second. The first input byte picks the routine, the rest is its input:
//   0 payload   every command's payload text: parsePayloadObject and the readers of the save commands
//   1 image     the bytes as a page image, Base64 behind a data-URL header, decoded within the pixel cap
//   2 suffix    extension completion; the text is cut at its first NUL into path and suffix
//   3 write     the text as Base64 content written to a temporary folder, then read back
//   4 envelope  the text as an error message and as a result value in a reply envelope
#include "FileRoutines.h"
#include "PageImage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QString &input)
{
    fprintf(stderr, "%s\ninput: %s\n", what, qPrintable(input.left(2000)));
    abort();
}

// A key of another JSON type than its own gives the default; only a JSON true asks for a dialog.
void checkPayloadReaders(const QString &text)
{
    const QJsonObject payload = parsePayloadObject(text);
    if (!payload.isEmpty() && parsePayloadObject(QString::fromUtf8(QJsonDocument(payload).toJson())) != payload)
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
}

void checkPageImage(const QByteArray &bytes)
{
    const QString page = QStringLiteral("data:image/png;base64,") + QString::fromLatin1(bytes.toBase64());
    const QImage image = decodePageImage(page);
    if (qint64(image.width()) * image.height() > maxPagePixels)
        fail("a page image over the pixel cap was decoded", page);
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
// which nothing decodes is refused, leaving nothing behind.
void checkWrite(const QString &folder, const QString &text)
{
    const QString path = folder + QStringLiteral("/content.cwrt");
    const QByteArray expected = QByteArray::fromBase64(text.toUtf8());
    const QString error = writeBase64File(path, text);
    if (expected.isEmpty() && !text.isEmpty()) {
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
    switch (data[0] % 5) {
    case 0: checkPayloadReaders(text); break;
    case 1: checkPageImage(bytes); break;
    case 2: checkSuffix(text); break;
    case 3: checkWrite(harness->work.path(), text); break;
    default: checkEnvelope(text); break;
    }
    return 0;
}
