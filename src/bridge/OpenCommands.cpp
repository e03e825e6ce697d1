#include "BridgeMessages.h"
#include "DesktopBridge.h"

QString DesktopBridge::openProject(const QString &)
{
    return makeErrorReply(BridgeMessages::notYetAvailable());
}

QString DesktopBridge::pickSpreadsheet()
{
    return makeErrorReply(BridgeMessages::notYetAvailable());
}

QString DesktopBridge::readSpreadsheet(const QString &)
{
    return makeErrorReply(BridgeMessages::notYetAvailable());
}

