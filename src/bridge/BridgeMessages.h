// Messages that more than one command group sends to the page; each group keeps its own others.
#pragma once

#include <QString>

namespace BridgeMessages {
inline QString cancelled() { return QStringLiteral("cancelled"); }
inline QString cannotReadFile() { return QStringLiteral("无法读取文件"); }
} // namespace BridgeMessages
