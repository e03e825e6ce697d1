// Page images of a print job, decoded from the strings the page sends.
#pragma once

#include <QImage>
#include <QJsonValue>

// The largest page image decoded: an A3 sheet at 600 dpi has 70 million pixels. A few hundred
// bytes of image file can claim thousands of times more, which the host would have to allocate.
constexpr qint64 maxPagePixels = 100 * 1000 * 1000;

// A page string is Base64 image data, possibly behind a data-URL header that ends at the first
// comma. An image that claims more pixels than a page can use decodes to nothing, and so does one
// whose format cannot tell its size before decoding: Qt 5 has no limit on what a decoder allocates,
// so such an image could only be measured after it had taken the memory it claims. Only PNG, JPEG
// and GIF files are pages, and only whole ones: a file cut short decodes to nothing.
QImage decodePageImage(const QJsonValue &page);

// Qt's PDF engine writes a 1-bit image only for a 1-bit image whose colours are black, then white;
// any other page it widens to 24-bit colour. A black-and-white page decodes with its palette in
// the file's order (white first for a grey-scale PNG), so it is brought to that order here.
QImage keptOneBit(const QImage &image);
