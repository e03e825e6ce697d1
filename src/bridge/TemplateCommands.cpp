#include "DesktopBridge.h"
#include "FileRoutines.h"
#include "LabelTemplates.h"

#include <QJsonArray>

QString DesktopBridge::listLabelTemplates()
{
    const TemplateReadResult result = readLabelTemplates(labelTemplateFolders());
    QJsonArray templates;
    for (const LabelTemplate &entry : result.templates)
        templates.append(templateToJson(entry));
    return makeOkReply({{QStringLiteral("templates"), templates}, {QStringLiteral("skipped"), result.skipped}});
}
