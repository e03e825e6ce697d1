// Finds the folder that holds the web front end, relative to the executable's folder.
#pragma once

#include <QString>
#include <QStringList>

// The places tried, in order: an installed tree, then build trees inside a checkout.
QStringList frontendCandidates();

// The first candidate below applicationDir that holds "index.html", as a clean absolute
// path; empty when none does.
QString findFrontendDir(const QString &applicationDir);
