#include "CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QLocale>
#include <QRegularExpression>

#include <cstring>

namespace {

QString absolute(const QString &path)
{
    return path.isEmpty() ? path : QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

Launch usageError(const QString &message, const QCommandLineParser &parser)
{
    Launch launch;
    launch.mode = Launch::Mode::UsageError;
    launch.text = message + QLatin1Char('\n') + parser.helpText();
    return launch;
}

} // namespace

bool needsNoDisplay(int argc, char **argv)
{
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (std::strcmp(argument, "--") == 0)
            return false;
        for (const char *windowless : {"--print", "-h", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argument, windowless) == 0)
                return true;
        }
        // Without a display, a mistyped option still gets its usage text rather than a crash.
        if (!display && argument[0] == '-')
            return true;
    }
    return false;
}

bool chineseLocale()
{
    return QLocale::system().language() == QLocale::Chinese;
}

QString say(const char *chinese, const char *english)
{
    return chineseLocale() ? QString::fromUtf8(chinese) : QString::fromUtf8(english);
}

bool parseRecordRange(const QString &text, int *first, int *last)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,9})\\s*(?:-\\s*(\\d{1,9})\\s*)?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    const int from = match.captured(1).toInt();
    const int to = match.captured(2).isEmpty() ? from : match.captured(2).toInt();
    if (from < 1 || to < from)
        return false;
    *first = from;
    *last = to;
    return true;
}

Launch readCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(say(
        "设计并打印标签。给出工程文件时在设计器中打开它（已在运行时交给运行中的窗口）；\n"
        "加 --print 时不开窗口，用设计器的打印流程和为打印机记下的设置，打印到打印机或保存为 PDF 文件。\n"
        "--print 的退出状态：0 全部已打印或保存；1 什么也没有打印（原因见标准错误）；2 命令行有误；3 打印机中途出错。",
        "Design and print labels. Given a project, opens it in the designer (in the running one, if any);\n"
        "with --print, prints it to a printer or saves it as a PDF without a window, through the designer's\n"
        "print pipeline with the settings it remembers for the printer.\n"
        "Exit status of --print: 0 all printed or saved; 1 nothing printed (the reason on standard error);\n"
        "2 a wrong command line; 3 the printer failed part-way."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, say("显示此帮助。", "Show this help."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, say("显示版本。", "Show the version."));
    const QCommandLineOption print(QStringLiteral("print"), say("不开窗口，打印 PROJECT。", "Print PROJECT without a window."));
    const QCommandLineOption printer(QStringLiteral("printer"), say("打印到此打印机（系统名称或显示名称）。", "Print to this printer (its system or display name)."), QStringLiteral("NAME"));
    const QCommandLineOption pdf(QStringLiteral("pdf"), say("保存为此 PDF 文件，而不打印。", "Save as this PDF file instead of printing."), QStringLiteral("OUT.pdf"));
    const QCommandLineOption data(QStringLiteral("data"), say("用此数据源（.xlsx、.xls、.csv）代替工程自己的数据源。", "Use this data source (.xlsx, .xls, .csv) instead of the project's own."), QStringLiteral("FILE"));
    const QCommandLineOption sheet(QStringLiteral("sheet"), say("数据源中的工作表。", "The worksheet of the data source."), QStringLiteral("NAME"));
    const QCommandLineOption records(QStringLiteral("records"), say("只打印这些记录（从 1 起，含两端），如 3-10。", "Print only these records (from 1, both ends included), e.g. 3-10."), QStringLiteral("FIRST-LAST"));
    const QCommandLineOption copies(QStringLiteral("copies"), say("每张标签打印的份数（1 到 999）。", "Copies of each label (1 to 999)."), QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption skipInvalid(QStringLiteral("skip-invalid"), say("跳过无法正确打印的记录，打印其余记录。", "Leave out records that would print wrong and print the others."));
    const QCommandLineOption noSandbox(QStringLiteral("no-sandbox"), say("不使用网页引擎的沙箱（以 root 运行时需要）。", "Run the web engine without its sandbox (needed as root)."));
    for (const QCommandLineOption &option : {help, version, print, printer, pdf, data, sheet, records, copies, skipInvalid, noSandbox})
        parser.addOption(option);
    parser.addPositionalArgument(QStringLiteral("PROJECT"), say("标签工程（.cwrt）。", "A label project (.cwrt)."), QStringLiteral("[PROJECT]"));

    if (!parser.parse(arguments))
        return usageError(parser.errorText(), parser);
    Launch launch;
    launch.noSandbox = parser.isSet(noSandbox);
    if (parser.isSet(help)) {
        launch.mode = Launch::Mode::Help;
        launch.text = parser.helpText();
        return launch;
    }
    if (parser.isSet(version)) {
        launch.mode = Launch::Mode::Version;
        return launch;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return usageError(say("只能给出一个工程文件。", "Give one project file only."), parser);

    if (!parser.isSet(print)) {
        for (const QCommandLineOption &option : {printer, pdf, data, sheet, records, copies, skipInvalid}) {
            if (parser.isSet(option))
                return usageError(say("--%1 只能与 --print 一起使用。", "--%1 works only with --print.").arg(option.names().constLast()), parser);
        }
        launch.project = absolute(positional.value(0));
        return launch;
    }

    launch.mode = Launch::Mode::Print;
    PrintOrder &order = launch.print;
    if (positional.isEmpty())
        return usageError(say("--print 需要一个工程文件。", "--print needs a project file."), parser);
    order.project = absolute(positional.first());
    if (parser.isSet(printer) == parser.isSet(pdf))
        return usageError(say("请给出 --printer 或 --pdf 之一。", "Give either --printer or --pdf."), parser);
    order.printer = parser.value(printer);
    order.pdf = absolute(parser.value(pdf));
    if (parser.isSet(printer) && order.printer.trimmed().isEmpty())
        return usageError(say("--printer 需要打印机名称。", "--printer needs a printer's name."), parser);
    if (parser.isSet(pdf) && order.pdf.isEmpty())
        return usageError(say("--pdf 需要文件名。", "--pdf needs a file name."), parser);
    order.data = absolute(parser.value(data));
    order.sheet = parser.value(sheet);
    if (parser.isSet(records) && !parseRecordRange(parser.value(records), &order.firstRecord, &order.lastRecord))
        return usageError(say("--records 应为 FIRST-LAST，从 1 起，如 3-10。", "--records takes FIRST-LAST, counted from 1, e.g. 3-10."), parser);
    bool number = false;
    order.copies = parser.value(copies).toInt(&number);
    if (!number || order.copies < 1 || order.copies > 999)
        return usageError(say("--copies 应为 1 到 999 之间的整数。", "--copies takes a whole number from 1 to 999."), parser);
    if (parser.isSet(copies) && parser.isSet(pdf))
        return usageError(say("--copies 只用于打印机，不用于 PDF。", "--copies applies to a printer, not to a PDF."), parser);
    order.skipInvalid = parser.isSet(skipInvalid);
    return launch;
}
