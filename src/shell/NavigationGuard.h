// Decides where the view may go and what the page may load. The bridge reads and writes the
// user's files for whatever page holds it, so only the front end's own files are ever shown or
// read; the page reaches no network address, and only a web link the user clicked open in a new
// window goes to the desktop's browser.
#pragma once

#include <QString>
#include <QUrl>

enum class NavigationVerdict {
    Show,          // the front end's own file, or an empty frame the front end fills itself
    HandToDesktop, // an https: link the user opened in a new window
    Refuse,
};

// True for a local file strictly below frontendDir, also once symbolic links are followed; an
// empty frontendDir holds nothing.
bool isFrontendFile(const QUrl &url, const QString &frontendDir);

// userOpenedWindow: the first navigation of a window the page opened. The engine lets a page
// open one only on the user's click (pop-ups are not allowed to scripts), so it is the one place
// where a navigation is known to come from the user rather than from a script.
NavigationVerdict judgeNavigation(const QUrl &url, const QString &frontendDir, bool isMainFrame, bool userOpenedWindow);

// Whether the page may load url at all, whatever asks for it (a document, a script, an image,
// XMLHttpRequest, a worker): the front end's files, the engine's own resources and data the
// page made itself; no other file and no network address.
bool mayLoad(const QUrl &url, const QString &frontendDir);
