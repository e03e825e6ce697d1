// The name a print job carries into the printing system's queue and records.
#pragma once

#include <QString>

// IPP's names hold at most 255 bytes of UTF-8; CUPS records a longer one beside a cut copy.
constexpr int maxJobNameBytes = 255;

// The label's name as a job name: control characters (line breaks among them, which would start
// a forged line in CUPS' page log) become spaces, a lone half of a surrogate pair becomes U+FFFD,
// and the name is cut to maxJobNameBytes bytes of UTF-8 at a character boundary.
QString cupsJobName(const QString &name);
