// The label-template database that Linux desktops share (XML files of makers' sheets and rolls):
// found in the system's data folders and the user's own, read into plain entries in millimetres.
// listLabelTemplates, the tests and the fast fuzzer share this reader.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

// One block of labels on the sheet: nx across, ny down, the first at (x0, y0), then every dx and dy.
struct TemplateLayout
{
    int nx = 1;
    int ny = 1;
    double x0Mm = 0;
    double y0Mm = 0;
    double dxMm = 0;
    double dyMm = 0;
};

struct LabelTemplate
{
    QString brand;
    QString part;
    QString description;
    QString equivalentTo; // the part this entry is another name for; empty for an original
    QString paper;        // the file's paper id ("A4", "US-Letter", "Other", ...)
    double paperWidthMm = 0;
    double paperHeightMm = 0;
    QString shape;        // "rectangle", "round", "ellipse" or "cd"
    double widthMm = 0;
    double heightMm = 0;
    double cornerRadiusMm = 0;
    double holeDiameterMm = 0; // the centre hole of a CD/DVD label
    double wasteXMm = 0;
    double wasteYMm = 0;
    double marginMm = 0;
    QString unit;         // "mm" or "in": how the maker sizes the label
    QVector<TemplateLayout> layouts;
    QStringList categories;
};

struct TemplateReadResult
{
    QVector<LabelTemplate> templates;
    int skipped = 0; // files and entries left out as unreadable, malformed, unknown or over the limit
};

// Larger than the whole installed database several times over, small enough to read in a moment.
constexpr qint64 maxTemplateBytes = 8 * 1024 * 1024;

// The user's own folder (~/.config/libglabels/templates) first, then libglabels-3.0/templates under
// each folder of XDG_DATA_DIRS (default /usr/local/share:/usr/share), in that order of precedence.
QStringList labelTemplateFolders();

// Reads every template file of the folders, at most maxBytes in all. The first entry of a maker's
// part wins; an alias takes its original's geometry under its own part; nothing read is fatal.
TemplateReadResult readLabelTemplates(const QStringList &folders, qint64 maxBytes = maxTemplateBytes);

// Reads the files' texts as if each were one file of a folder, in order (the fuzzer's and the
// tests' way in without a disk).
TemplateReadResult readLabelTemplateTexts(const QList<QByteArray> &files, qint64 maxBytes = maxTemplateBytes);

// A length as the files write it ("3.2mm", "0.75in", "9pt", "1pc", "2cm"; no unit is points) in
// millimetres; false when the text is not such a length.
bool parseTemplateLength(const QString &text, double *mm);

QJsonObject templateToJson(const LabelTemplate &entry);
