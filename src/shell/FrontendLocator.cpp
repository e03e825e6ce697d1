#include "FrontendLocator.h"

#include <QDir>
#include <QFileInfo>

QStringList frontendCandidates()
{
    return {
        QStringLiteral("../share/quillmark/frontend"),
        QStringLiteral("../frontend"),
        QStringLiteral("../../frontend"),
        QStringLiteral("../../../"),
    };
}

QString findFrontendDir(const QString &applicationDir)
{
    const QDir base(applicationDir);
    for (const QString &candidate : frontendCandidates()) {
        const QString candidatePath = base.absoluteFilePath(candidate);
        if (QFileInfo::exists(QDir(candidatePath).absoluteFilePath(QStringLiteral("index.html"))))
            return QDir(candidatePath).absolutePath();
    }
    return QString();
}
