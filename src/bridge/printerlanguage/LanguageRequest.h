// What a print payload asks of a job in a label printer's own language, checked before anything
// is sent: the language, the resolution, the printer settings and each page's size in dots.
#pragma once

#include "LabelWriters.h"

#include <QString>

struct PrintRequest;
class QSize;

// A payload names a language by "printerLanguage"; absent or null, the job goes through the driver.
bool asksForLabelLanguage(const PrintRequest &request);

// The label format the payload asks for; *error is the first refusal ("打印机不支持所选设置：…"),
// empty when every value is one the language takes.
LabelFormat readLabelFormat(const PrintRequest &request, QString *error);

// The page is the label's size at the format's resolution, give or take one dot a side.
bool pageFitsLabel(const QSize &pixels, const LabelFormat &format);

// The ranges the languages take, as the README lists them.
constexpr int minLanguageResolution = 100;
constexpr int maxLanguageResolution = 1200;
constexpr double maxGapMm = 25.4;
// More copies than CUPS lets any job ask for by default; each is written into the job.
constexpr int maxLanguageCopies = 9999;
