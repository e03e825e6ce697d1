// The command-line print job's side of the web channel, published as "headlessPrint" only when
// the program prints without a window. The page asks it for the job, hands it the PDF to save
// at the path the user named, reports progress and finally the outcome, which become the
// lines on standard error and the exit status.
#pragma once

#include "CommandLine.h"

#include <QObject>
#include <QString>
#include <QTimer>

class HeadlessPrint final : public QObject
{
    Q_OBJECT

public:
    HeadlessPrint(const PrintOrder &order, QObject *parent);

    // The job as the command line gave it, and the language of its messages.
    Q_INVOKABLE QString job();
    // Writes the PDF ({"dataBase64"}) to the path given with --pdf; replies its path.
    Q_INVOKABLE QString writePdf(const QString &payloadJson);
    // One line of progress on standard error.
    Q_INVOKABLE QString progress(const QString &line);
    // {"status", "lines"}: the lines go to standard error, then the program ends with status.
    Q_INVOKABLE QString finish(const QString &payloadJson);

    // Ends the program with a message of the host's own (the page could not run the job).
    static void fail(const QString &message);

private:
    PrintOrder order;
    bool finished = false;
    // Ends a run whose page never asks for the job (its scripts missing or broken).
    QTimer pageWatch;

    Q_DISABLE_COPY(HeadlessPrint)
};
