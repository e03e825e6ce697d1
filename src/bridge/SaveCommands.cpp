#include "BridgeMessages.h"
#include "DesktopBridge.h"

QString DesktopBridge::saveProject(const QString &)
{
    return makeErrorReply(BridgeMessages::notYetAvailable());
}

QString DesktopBridge::savePrintPdf(const QString &)
{
    return makeErrorReply(BridgeMessages::notYetAvailable());
}

