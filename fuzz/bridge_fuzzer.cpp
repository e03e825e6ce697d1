// Feeds arbitrary payloads to the bridge's commands that take them, the way a faulty or hostile
// page could, and checks that every call ends with a well-formed reply envelope. This is the slow
// target, for what only whole commands reach (dialogs, the print server); fast_fuzzer.cpp takes
// the routines beneath them.
//
// The first input byte picks the road (see roadOf), the rest is the payload text:
//   plain save      saveProject writing into the working folder without a dialog
//   save dialog     saveProject through its save dialog, where a file is chosen
//   PDF cancelled   savePrintPdf with its dialog cancelled
//   PDF chosen      savePrintPdf with a file chosen in the dialog
//   print           submitPrintJob on a private print server with stopped label queues
//   no server       submitPrintJob with no print server at all
//   options         printerOptions of the text as a printer name, with and without the print server
// A dialog costs a hundred times a plain call, so the dialog roads get few of the byte's values.
#include "DesktopBridge.h"
#include "FileRoutines.h"
#include "PrintRequest.h"
#include "PrintServer.h"
#include "printerlanguage/LanguageRequest.h"
#include "TestSupport.h"

#include <QApplication>
#include <QFileDialog>
#include <QJsonArray>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

#include <cups/cups.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

enum class Road {
    PlainSave, SaveDialog, PdfCancelled, PdfChosen, PrintWithServer, PrintWithoutServer, OptionsWithServer,
    OptionsWithoutServer
};

Road roadOf(uint8_t selector)
{
    static const Road roads[16] = {
        Road::PlainSave,       Road::PlainSave,       Road::PlainSave,          Road::PlainSave,
        Road::SaveDialog,      Road::PdfCancelled,    Road::PdfChosen,          Road::PrintWithServer,
        Road::PrintWithServer, Road::PrintWithServer, Road::PrintWithoutServer, Road::PrintWithoutServer,
        Road::OptionsWithServer, Road::OptionsWithoutServer, Road::PrintWithServer, Road::PrintWithoutServer,
    };
    return roads[selector % 16];
}
enum class DialogAnswer { Cancel, Choose };

// A generic label printer, and one with CUPS' own ZPL driver and its darkness, speed and resolutions.
const QString labelQueue = QStringLiteral("label");
const QString zplQueue = QStringLiteral("zpl");

// The application object keeps a reference to its argument count for its whole life.
int applicationArgc = 1;
char applicationName[] = "bridge_fuzzer";
char *applicationArgv[] = {applicationName, nullptr};

[[noreturn]] void fail(const char *what, const QString &payload, const QString &reply)
{
    fprintf(stderr, "%s\npayload: %s\nreply: %s\n", what, qPrintable(payload.left(2000)), qPrintable(reply.left(2000)));
    abort();
}

// Everything the page may rely on: a compact JSON object with a boolean "ok", and with
// "ok" false exactly the two keys "ok" and a string "error".
QJsonObject checkedEnvelope(const QString &payload, const QString &reply)
{
    const QJsonObject envelope = parsed(reply);
    if (!envelope.value(QStringLiteral("ok")).isBool())
        fail("the reply is not a JSON object with a boolean \"ok\"", payload, reply);
    if (!envelope.value(QStringLiteral("ok")).toBool()
        && (envelope.size() != 2 || !envelope.value(QStringLiteral("error")).isString()))
        fail("a failure reply is not {ok, error}", payload, reply);
    if (payloadText(envelope) != reply)
        fail("the reply is not compact JSON", payload, reply);
    return envelope;
}

bool hasNonEmptyString(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).isString() && !object.value(QLatin1String(key)).toString().isEmpty();
}

// The documented shape of a printer's options: each named and labelled, with its choices and a
// default among them; the page size and the resolution are the host's, never listed as options.
bool hasOptionsShape(const QJsonObject &reply)
{
    static const QStringList hostsOwn{QStringLiteral("PageSize"), QStringLiteral("PageRegion"), QStringLiteral("media"),
                                      QStringLiteral("Resolution")};
    for (const QJsonValue &value : reply.value(QStringLiteral("options")).toArray()) {
        const QJsonObject option = value.toObject();
        QStringList choices;
        for (const QJsonValue &choice : option.value(QStringLiteral("choices")).toArray()) {
            if (!hasNonEmptyString(choice.toObject(), "name") || !choice.toObject().value(QStringLiteral("label")).isString())
                return false;
            choices << choice.toObject().value(QStringLiteral("name")).toString();
        }
        if (!hasNonEmptyString(option, "name") || !option.value(QStringLiteral("label")).isString() || choices.isEmpty()
            || !choices.contains(option.value(QStringLiteral("defaultChoice")).toString())
            || hostsOwn.contains(option.value(QStringLiteral("name")).toString()))
            return false;
    }
    const QJsonValue resolutions = reply.value(QStringLiteral("resolutions"));
    for (const QJsonValue &dpi : resolutions.toArray()) {
        if (dpi.toInt() <= 0)
            return false;
    }
    return reply.value(QStringLiteral("options")).isArray() && resolutions.isArray()
        && reply.value(QStringLiteral("defaultResolution")).isDouble();
}

// Whether the printer's listed options hold this setting, as the page would choose it.
bool listsSetting(const QJsonObject &listed, const QString &name, const QJsonValue &choice)
{
    for (const QJsonValue &option : listed.value(QStringLiteral("options")).toArray()) {
        if (option.toObject().value(QStringLiteral("name")).toString() != name)
            continue;
        for (const QJsonValue &offered : option.toObject().value(QStringLiteral("choices")).toArray()) {
            if (QJsonValue(offered.toObject().value(QStringLiteral("name"))) == choice)
                return true;
        }
    }
    return false;
}

class Harness
{
public:
    Harness()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Quillmark"));
        QCoreApplication::setApplicationName(QStringLiteral("Quillmark"));
        if (!work.isValid() || !QDir::setCurrent(work.path()))
            abort();
        QSettings(QStringLiteral("Quillmark"), QStringLiteral("Quillmark"))
            .setValue(QStringLiteral("paths/projectDir"), work.path());

        if (!server.start() || !server.addQueue(labelQueue) || !server.setPrinting(labelQueue, false)
            || !server.addQueue(zplQueue, PrintServer::Driver::Zpl) || !server.setPrinting(zplQueue, false)) {
            fprintf(stderr, "print server: %s\n", qPrintable(server.errorString()));
            abort();
        }
        serverSocket = QFile::encodeName(server.socketPath());
        for (const QString &queue : {labelQueue, zplQueue}) {
            const QString reply = bridge.printerOptions(queue);
            listedOptions.insert(queue, checkedEnvelope(queue, reply));
            if (!hasOptionsShape(listedOptions.value(queue)))
                fail("the server's queue lists its options in another shape", queue, reply);
        }
        noServerSocket = QFile::encodeName(work.path() + QStringLiteral("-no-cups.sock"));

        // Only a modal dialog runs the event loop during a call, so this fires only inside one.
        dialogAnswerer.setInterval(0);
        QObject::connect(&dialogAnswerer, &QTimer::timeout, [this] { answerDialog(); });
        dialogAnswerer.start();
    }

    void run(Road road, const QString &text)
    {
        switch (road) {
        case Road::PlainSave:
        case Road::SaveDialog: {
            answer = DialogAnswer::Choose;
            const QString payload = confinedSavePayload(text, road == Road::PlainSave);
            checkedEnvelope(payload, bridge.saveProject(payload));
            break;
        }
        case Road::PdfCancelled:
        case Road::PdfChosen:
            answer = road == Road::PdfChosen ? DialogAnswer::Choose : DialogAnswer::Cancel;
            checkedEnvelope(text, bridge.savePrintPdf(text));
            break;
        case Road::PrintWithServer:
        case Road::PrintWithoutServer:
            cupsSetServer(road == Road::PrintWithServer ? serverSocket.constData() : noServerSocket.constData());
            checkPrintSettings(text, bridge.submitPrintJob(text));
            break;
        case Road::OptionsWithServer:
        case Road::OptionsWithoutServer: {
            cupsSetServer(road == Road::OptionsWithServer ? serverSocket.constData() : noServerSocket.constData());
            const QString reply = bridge.printerOptions(text);
            const QJsonObject envelope = checkedEnvelope(text, reply);
            if (envelope.value(QStringLiteral("ok")).toBool() && !hasOptionsShape(envelope))
                fail("a printer's options are listed in another shape", text, reply);
            break;
        }
        }
        emptyWorkFolder();
    }

private:
    // A job the host took carries only settings its printer lists.
    void checkPrintSettings(const QString &payload, const QString &reply)
    {
        if (!checkedEnvelope(payload, reply).value(QStringLiteral("ok")).toBool())
            return;
        const PrintRequest request = readPrintRequest(payload);
        const QJsonObject listed = listedOptions.value(request.printerName);
        for (auto it = request.options.constBegin(); it != request.options.constEnd(); ++it) {
            if (!listsSetting(listed, it.key(), it.value()))
                fail("a job was printed with a setting its printer does not list", payload, reply);
        }
        // In a printer's own language any resolution the language takes is the job's own.
        const QJsonArray resolutions = listed.value(QStringLiteral("resolutions")).toArray();
        const auto isListed = [&request](const QJsonValue &dpi) { return dpi.toInt() == request.resolution; };
        if (request.resolution != 0 && !asksForLabelLanguage(request) && std::none_of(resolutions.begin(), resolutions.end(), isListed))
            fail("a job was printed at a resolution its printer does not list", payload, reply);
    }

    // A save writes wherever "currentPath" says; the fuzzer keeps it to relative paths without "..",
    // so that every file lands in the working folder. On the plain road the payload is also made
    // into a plain save, so that no dialog opens there. A payload that needs neither goes in unchanged.
    QString confinedSavePayload(const QString &text, bool plain) const
    {
        const SaveRequest request = readProjectSaveRequest(text);
        const bool outside = request.currentPath.startsWith(QLatin1Char('/'))
            || request.currentPath.split(QLatin1Char('/')).contains(QStringLiteral(".."));
        const bool dialog = request.saveAs || request.currentPath.isEmpty();
        if (plain ? !dialog && !outside : dialog || !outside)
            return text;
        QJsonObject payload = parsePayloadObject(text);
        payload.insert(QStringLiteral("currentPath"), QStringLiteral("shelf.cwrt"));
        if (plain)
            payload.insert(QStringLiteral("saveAs"), false);
        return payloadText(payload);
    }

    void answerDialog()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *fileDialog = qobject_cast<QFileDialog *>(modal)) {
            if (answer == DialogAnswer::Choose) {
                fileDialog->selectFile(work.filePath(QStringLiteral("chosen")));
                // Through QDialog, where accept is public; the file dialog's own checks still run.
                static_cast<QDialog *>(fileDialog)->accept();
            } else {
                fileDialog->reject();
            }
        } else if (auto *question = qobject_cast<QMessageBox *>(modal)) {
            question->reject();
        }
    }

    void emptyWorkFolder()
    {
        const QDir folder(work.path());
        for (const QString &entry : entriesOf(work.path())) {
            if (!QFile::remove(folder.filePath(entry)))
                QDir(folder.filePath(entry)).removeRecursively();
        }
    }

    IsolatedUserState userState;
    QApplication app{applicationArgc, applicationArgv};
    QTemporaryDir work;
    PrintServer server;
    QByteArray serverSocket;
    QByteArray noServerSocket;
    DesktopBridge bridge{nullptr, nullptr};
    QTimer dialogAnswerer;
    DialogAnswer answer = DialogAnswer::Cancel;
    QHash<QString, QJsonObject> listedOptions; // printerOptions of the server's queues
};

Harness *harness = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    harness = new Harness;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const Road road = roadOf(data[0]);
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), int(size - 1));
    harness->run(road, text);
    return 0;
}
