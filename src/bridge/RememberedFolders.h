// Settings keys of the folders the file dialogs start in. Projects and exported PDF files
// share one folder, so a print lands beside the label it came from; spreadsheets keep their own.
#pragma once

#include <QString>

namespace RememberedFolders {
inline QString projectKey() { return QStringLiteral("paths/projectDir"); }
inline QString sheetKey() { return QStringLiteral("paths/sheetDir"); }
} // namespace RememberedFolders
