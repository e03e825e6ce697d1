#include "DesktopBridge.h"
#include "FileRoutines.h"
#include "PrintSystemProbe.h"

#include <QFontDatabase>
#include <QJsonArray>
#include <QPrinterInfo>

QString printerDisplayName(const QPrinterInfo &printer)
{
    // A description of blanks is still what the administrator chose to show, so only
    // a truly empty one falls back to the system name.
    const QString description = printer.description();
    return description.isEmpty() ? printer.printerName() : description;
}

QString DesktopBridge::listLocalFonts()
{
    QJsonArray fonts;
    const QStringList families = QFontDatabase().families(QFontDatabase::Any);
    for (const QString &family : families) {
        if (family.isEmpty())
            continue;
        fonts.append(QJsonObject{{QStringLiteral("name"), family}, {QStringLiteral("value"), family}});
    }
    return makeOkReply({{QStringLiteral("fonts"), fonts}});
}

QString DesktopBridge::listPrinters()
{
    const QString silence = printSystemSilence();
    if (!silence.isEmpty())
        return makeErrorReply(silence);
    const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
    const QString defaultName = QPrinterInfo::defaultPrinter().printerName();
    QJsonArray entries;
    for (const QPrinterInfo &printer : printers) {
        QJsonObject entry;
        entry.insert(QStringLiteral("name"), printer.printerName());
        entry.insert(QStringLiteral("displayName"), printerDisplayName(printer));
        entry.insert(QStringLiteral("description"), printer.description());
        entry.insert(QStringLiteral("location"), printer.location());
        entry.insert(QStringLiteral("isDefault"), printer.printerName() == defaultName);
        entries.append(entry);
    }
    return makeOkReply({{QStringLiteral("printers"), entries}});
}
