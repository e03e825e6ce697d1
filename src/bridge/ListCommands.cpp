#include "BridgeMessages.h"
#include "DesktopBridge.h"

QString DesktopBridge::listLocalFonts()
{
    return makeErrorReply(BridgeMessages::notYetAvailable());
}

QString DesktopBridge::listPrinters()
{
    return makeErrorReply(BridgeMessages::notYetAvailable());
}

