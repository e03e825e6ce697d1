// Qt's printing calls wait on the print server with no time limit of their own: a server that
// takes connections and never answers held the whole window for minutes. Every command that
// reaches the print system asks this probe first, which gives up within a few seconds.
#pragma once

#include <QString>

// The longest the probe waits for the server to take a connection and to answer a request.
constexpr int printSystemPatienceMs = 3000;

// "打印系统没有响应" when the server that libcups would use takes a connection but does not answer
// a short request in time, or does not take one in time; empty when it answers, and also when
// there is no server at all (nothing to wait on: the calls then fail at once, as they would).
QString printSystemSilence();
