// Pictures read for the page by path (a picture per record named in a data source's cells):
// what a file's content shows it to be, and the reading itself, limited in size. Pure
// routines, reached by the readImageFile command, the tests and the fuzzer alike.
#pragma once

#include <QByteArray>
#include <QString>

// Largest picture the page may read by path.
constexpr qint64 maxImageFileBytes = 20 * 1024 * 1024;

// The picture format the bytes begin with: "png", "jpeg", "gif", "bmp", "webp" or "svg";
// empty for anything else. Only the content counts, never a file name.
QString imageFormatOf(const QByteArray &bytes);

struct ImageFileRead
{
    QByteArray bytes;
    // Empty on success, otherwise the message for the page.
    QString error;
};

// Reads a regular file of at most maxImageFileBytes that holds a picture. Never reads more than
// one byte past the limit, whatever size the file reports.
ImageFileRead readPictureFile(const QString &path);
