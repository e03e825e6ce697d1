// Decides where the view may go. The bridge reads and writes the user's files for whatever
// page holds it, so only the front end's own files are ever shown; links to the web and to
// mail open in the desktop's own programs, and everything else stays where it is.
#pragma once

#include <QString>
#include <QUrl>

enum class NavigationVerdict {
    Show,          // the front end's own file, or an empty frame the front end fills itself
    HandToDesktop, // a link the user followed to the web or to mail
    Refuse,
};

// True for a local file strictly below frontendDir; an empty frontendDir holds nothing.
bool isFrontendFile(const QUrl &url, const QString &frontendDir);

NavigationVerdict judgeNavigation(const QUrl &url, const QString &frontendDir, bool isMainFrame, bool linkClicked);
