// A private CUPS server for tests and benchmarks that print for real: it runs in its own
// folder, never touches the machine's printers, and keeps every job's document for measuring.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class PrintServer
{
public:
    enum class Driver {
        AnyPageSize, // a label printer: custom sizes, no margins; the job's PDF is its output
        A4Only,      // an office printer that knows A4 sheets and nothing else
        Zpl,         // CUPS' own ZPL label driver (203, 300 or 600 dpi), built from its samples
        Epl2,        // CUPS' own EPL2 page-mode label driver, at most 101.6 mm wide
        None,        // no driver at all: the printer is described only by the server over IPP
    };

    // An empty folder means a fresh temporary one that goes away with the server.
    explicit PrintServer(const QString &folder = QString());
    ~PrintServer();

    // Starts cupsd, waits until it answers, then points CUPS_SERVER and libcups at it.
    bool start();
    // Stops cupsd and gives CUPS_SERVER back its earlier value.
    void stop();
    QString errorString() const { return error; }

    QString socketPath() const;
    // One line per page the server's drivers printed, as CUPS' PageLog records them.
    QString pageLogPath() const;

    // A queue writes what its driver makes to outputPath(name), replacing the previous job's;
    // the submitted document also stays in the server's spool folder. A new queue is enabled,
    // accepts jobs and has its name as description.
    bool addQueue(const QString &name, Driver driver = Driver::AnyPageSize);
    QString outputPath(const QString &queue) const;
    // Passes options to `lpadmin -p name`, e.g. {"-D", ""}, {"-L", "Room 2"} or
    // {"-o", "Resolution=300dpi"} (a driver's default) or {"-o", "orientation-requested-default=4"}.
    bool configureQueue(const QString &name, const QStringList &lpadminOptions);
    bool setDefaultQueue(const QString &name);
    bool setAcceptingJobs(const QString &name, bool accepting);
    // A stopped queue still accepts jobs but keeps them waiting instead of running its filters.
    bool setPrinting(const QString &name, bool printing);

    // Ids of the queue's jobs, finished or not, oldest first; of all queues' jobs without a queue.
    QList<int> jobIds(const QString &queue = QString());
    // What the server recorded about a job, as ipptool reports it: "job-id", "job-name",
    // "copies", "media", "job-state", "job-state-reasons", "document-format" where present.
    QJsonObject jobAttributes(int jobId);
    // The job's document exactly as the printing program submitted it.
    QString keptDocumentPath(int jobId) const;
    // Waits until the server has finished the job (its filters have run); false when it was
    // aborted or cancelled, or is still going after the timeout.
    bool waitUntilCompleted(int jobId, int timeoutMs = 60000);

private:
    bool writeConfiguration();
    bool waitUntilAnswering();
    bool runTool(const QString &program, const QStringList &arguments, QByteArray *output = nullptr);
    QString dataFile(const QString &name) const;
    QString driverFile(Driver driver);
    QString ippUri(const QString &path) const;

    std::unique_ptr<QTemporaryDir> temporaryRoot;
    QString root;
    std::unique_ptr<QProcess> cupsd;
    QByteArray previousCupsServer;
    bool hadCupsServer = false;
    QString error;
};
