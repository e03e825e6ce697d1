#include "NavigationGuard.h"

#include <QDir>

namespace {

bool isDesktopLink(const QUrl &url)
{
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto");
}

// Frames the front end creates and fills by script share its origin and need no loading.
bool isEmptyFrame(const QUrl &url)
{
    return url == QUrl(QStringLiteral("about:blank")) || url == QUrl(QStringLiteral("about:srcdoc"));
}

} // namespace

bool isFrontendFile(const QUrl &url, const QString &frontendDir)
{
    if (frontendDir.isEmpty() || !url.isLocalFile() || !url.host().isEmpty())
        return false;
    const QString root = QDir::cleanPath(frontendDir);
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    const QString path = QDir::cleanPath(url.toLocalFile());
    return path.startsWith(prefix) && path.size() > prefix.size();
}

NavigationVerdict judgeNavigation(const QUrl &url, const QString &frontendDir, bool isMainFrame, bool linkClicked)
{
    if (isFrontendFile(url, frontendDir))
        return NavigationVerdict::Show;
    if (linkClicked && isDesktopLink(url))
        return NavigationVerdict::HandToDesktop;
    if (!isMainFrame && isEmptyFrame(url))
        return NavigationVerdict::Show;
    return NavigationVerdict::Refuse;
}
