// Page images of a print job, decoded from the strings the page sends.
#pragma once

#include <QImage>
#include <QJsonValue>

// The largest page image decoded: an A3 sheet at 600 dpi has 70 million pixels. A few hundred
// bytes of image file can claim thousands of times more, which the host would have to allocate.
constexpr qint64 maxPagePixels = 100 * 1000 * 1000;

// A page string is Base64 image data, possibly behind a data-URL header that ends at the first
// comma. An image that claims more pixels than a page can use decodes to nothing.
QImage decodePageImage(const QJsonValue &page);
