#include "BridgeMessages.h"
#include "DesktopBridge.h"

QString DesktopBridge::submitPrintJob(const QString &)
{
    return makeErrorReply(BridgeMessages::notYetAvailable());
}

