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
//   print           submitPrintJob on a private print server with a stopped label queue
//   no server       submitPrintJob with no print server at all
// A dialog costs a hundred times a plain call, so the dialog roads get few of the byte's values.
#include "DesktopBridge.h"
#include "FileRoutines.h"
#include "PrintServer.h"
#include "TestSupport.h"

#include <QApplication>
#include <QFileDialog>
#include <QJsonDocument>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

#include <cups/cups.h>

#include <cstdio>
#include <cstdlib>

namespace {

enum class Road { PlainSave, SaveDialog, PdfCancelled, PdfChosen, PrintWithServer, PrintWithoutServer };

Road roadOf(uint8_t selector)
{
    static const Road roads[16] = {
        Road::PlainSave,       Road::PlainSave,       Road::PlainSave,          Road::PlainSave,
        Road::SaveDialog,      Road::PdfCancelled,    Road::PdfChosen,          Road::PrintWithServer,
        Road::PrintWithServer, Road::PrintWithServer, Road::PrintWithoutServer, Road::PrintWithoutServer,
        Road::PlainSave,       Road::PlainSave,       Road::PrintWithServer,    Road::PrintWithoutServer,
    };
    return roads[selector % 16];
}
enum class DialogAnswer { Cancel, Choose };

const QString labelQueue = QStringLiteral("label");

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
    const QJsonDocument document = QJsonDocument::fromJson(reply.toUtf8());
    if (!document.isObject())
        fail("the reply is not a JSON object", payload, reply);
    const QJsonObject envelope = document.object();
    if (!envelope.value(QStringLiteral("ok")).isBool())
        fail("the reply has no boolean \"ok\"", payload, reply);
    if (!envelope.value(QStringLiteral("ok")).toBool()
        && (envelope.size() != 2 || !envelope.value(QStringLiteral("error")).isString()))
        fail("a failure reply is not {ok, error}", payload, reply);
    if (QString::fromUtf8(QJsonDocument(envelope).toJson(QJsonDocument::Compact)) != reply)
        fail("the reply is not compact JSON", payload, reply);
    return envelope;
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

        if (!server.start() || !server.addQueue(labelQueue) || !server.setPrinting(labelQueue, false)) {
            fprintf(stderr, "print server: %s\n", qPrintable(server.errorString()));
            abort();
        }
        serverSocket = QFile::encodeName(server.socketPath());
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
            checkedEnvelope(text, bridge.submitPrintJob(text));
            break;
        }
        emptyWorkFolder();
    }

private:
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
        return QString::fromUtf8(QJsonDocument(payload).toJson(QJsonDocument::Compact));
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
        for (const QString &entry : folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
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
