#include "NavigationGuard.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Frames the front end creates and fills by script share its origin and need no loading.
bool isEmptyFrame(const QUrl &url)
{
    return url == QUrl(QStringLiteral("about:blank")) || url == QUrl(QStringLiteral("about:srcdoc"));
}

bool isBelow(const QString &path, const QString &root)
{
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return path.startsWith(prefix) && path.size() > prefix.size();
}

} // namespace

bool isFrontendFile(const QUrl &url, const QString &frontendDir)
{
    if (frontendDir.isEmpty() || !url.isLocalFile() || !url.host().isEmpty())
        return false;
    const QString path = QDir::cleanPath(url.toLocalFile());
    if (!isBelow(path, QDir::cleanPath(frontendDir)))
        return false;
    // A link inside the folder may point anywhere; what counts is the file it reaches.
    const QString reached = QFileInfo(path).canonicalFilePath();
    const QString root = QFileInfo(frontendDir).canonicalFilePath();
    return reached.isEmpty() || root.isEmpty() || isBelow(reached, root);
}

NavigationVerdict judgeNavigation(const QUrl &url, const QString &frontendDir, bool isMainFrame, bool userOpenedWindow)
{
    if (userOpenedWindow)
        return url.scheme() == QLatin1String("https") ? NavigationVerdict::HandToDesktop : NavigationVerdict::Refuse;
    if (isFrontendFile(url, frontendDir))
        return NavigationVerdict::Show;
    if (!isMainFrame && isEmptyFrame(url))
        return NavigationVerdict::Show;
    return NavigationVerdict::Refuse;
}

bool mayLoad(const QUrl &url, const QString &frontendDir)
{
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("file"))
        return isFrontendFile(url, frontendDir);
    return scheme == QLatin1String("qrc") || scheme == QLatin1String("data") || scheme == QLatin1String("blob");
}
