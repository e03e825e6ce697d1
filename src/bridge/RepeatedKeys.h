// Qt 5.15's JSON reader keeps only the last value of a key that an object names twice and never
// frees the first one: a page could make the host hold any amount of memory. Payloads are read
// only once this scanner has found no repeated key in them.
#pragma once

#include <QByteArray>

// Deeper than any payload and than Qt reads (it refuses 1,024 levels and more).
constexpr int maxJsonNesting = 1024;

// True when an object in the JSON text (UTF-8) names a key twice, compared as Qt compares them,
// after their escapes are decoded; also when the text nests past maxJsonNesting. Text that is not
// JSON is scanned as far as it goes: every object Qt would read before its error is checked.
// Linear in the text's length.
bool repeatsAKey(const QByteArray &json);
