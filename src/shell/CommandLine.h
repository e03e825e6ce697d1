// What the program was started to do: show the designer (with a project to open, perhaps),
// print a project without a window, or answer --help or --version. Read with
// QCommandLineParser; the words follow the user's language (Chinese or English).
#pragma once

#include <QString>
#include <QStringList>

// A print job asked for on the command line. Records are 1-based and inclusive; 0 means
// "from the first" and "to the last".
struct PrintOrder
{
    QString project;
    QString printer;
    QString pdf;
    QString data;
    QString sheet;
    int firstRecord = 0;
    int lastRecord = 0;
    int copies = 1;
    bool skipInvalid = false;
};

struct Launch
{
    enum class Mode { Designer, Print, Help, Version, UsageError };
    Mode mode = Mode::Designer;
    // The project to open in the designer, as an absolute path; empty for none.
    QString project;
    PrintOrder print;
    // For Help and UsageError: the text to show (the usage follows the error).
    QString text;
    // --no-sandbox was given: the web engine runs without its sandbox.
    bool noSandbox = false;
};

// True when the arguments ask for something that shows no window (printing, --help,
// --version, or a usage error without a display): the program then runs on Qt's offscreen
// platform. Read before the application object exists.
bool needsNoDisplay(int argc, char **argv);

// True when the user's locale is Chinese: the command line's messages are then Chinese.
bool chineseLocale();
// The message in the user's language.
QString say(const char *chinese, const char *english);

// Reads the arguments (the program's name first, as QCoreApplication::arguments() gives them);
// relative paths are made absolute against the current folder.
Launch readCommandLine(const QStringList &arguments);

// The parsed range "FIRST-LAST" (or a single record "N"), 1-based and inclusive; false when it
// is not one.
bool parseRecordRange(const QString &text, int *first, int *last);
