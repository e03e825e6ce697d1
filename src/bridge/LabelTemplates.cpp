#include "LabelTemplates.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>

#include <cmath>

namespace {

// Sheets and rolls are well under this; a larger figure is a typing error in a file.
constexpr double maxLengthMm = 10000;
constexpr int maxPerAxis = 1000;
// A folder of thousands of tiny files would cost far more than their bytes.
constexpr int maxFiles = 2000;

struct PaperSize
{
    double widthMm = 0;
    double heightMm = 0;
};

// A template as its file wrote it, before its paper and any alias are resolved.
struct RawTemplate
{
    LabelTemplate entry;
    QString equiv;
    bool hasOwnSize = false; // width and height on the template itself, for paper "Other"
    double ownWidthMm = 0;
    double ownHeightMm = 0;
};

struct Reading
{
    QHash<QString, PaperSize> papers;
    QVector<RawTemplate> templates;
    int skipped = 0;
};

QString keyOf(const QString &brand, const QString &part)
{
    return brand.toCaseFolded() + QLatin1Char('\n') + part.toCaseFolded();
}

// Reads attribute lengths of one element; remembers whether any was not a length.
class Lengths
{
public:
    explicit Lengths(const QXmlStreamAttributes &attributes) : attributes(attributes) {}

    double get(const QString &name, double fallback = 0, double min = 0)
    {
        const QStringRef text = attributes.value(name);
        if (text.isNull())
            return fallback;
        double mm = 0;
        if (!parseTemplateLength(text.toString(), &mm) || mm < min || mm > maxLengthMm) {
            bad = true;
            return fallback;
        }
        return mm;
    }

    bool has(const QString &name) const { return attributes.hasAttribute(name); }
    bool bad = false;

private:
    const QXmlStreamAttributes attributes;
};

int wholeNumber(const QStringRef &text, bool *bad)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > maxPerAxis) {
        *bad = true;
        return 1;
    }
    return value;
}

// The unit a label is written in: "mm" for mm and cm, "in" for inches, empty for points and picas,
// which files use for metric and inch stock alike (decided by the paper once it is known).
QString unitOf(const QStringRef &length)
{
    const QString text = length.trimmed().toString().toLower();
    if (text.endsWith(QLatin1String("mm")) || text.endsWith(QLatin1String("cm")))
        return QStringLiteral("mm");
    return text.endsWith(QLatin1String("in")) ? QStringLiteral("in") : QString();
}

// The label element (Label-rectangle, -round, -ellipse, -cd) with its margin and layouts; the
// reader stands on its start and is left on its end.
bool readLabel(QXmlStreamReader &xml, LabelTemplate &entry)
{
    const QStringRef name = xml.name();
    const QXmlStreamAttributes attributes = xml.attributes();
    Lengths lengths(attributes);
    if (name == QLatin1String("Label-rectangle")) {
        entry.shape = QStringLiteral("rectangle");
        entry.widthMm = lengths.get(QStringLiteral("width"));
        entry.heightMm = lengths.get(QStringLiteral("height"));
        // A corner radius that is no length (a file has round="in") costs the label only its rounded
        // corners on screen; its place on the sheet is sound, so it is kept with square corners.
        Lengths corner(attributes);
        entry.cornerRadiusMm = corner.get(QStringLiteral("round"));
        entry.unit = unitOf(attributes.value(QStringLiteral("width")));
    } else if (name == QLatin1String("Label-ellipse")) {
        entry.shape = QStringLiteral("ellipse");
        entry.widthMm = lengths.get(QStringLiteral("width"));
        entry.heightMm = lengths.get(QStringLiteral("height"));
        entry.unit = unitOf(attributes.value(QStringLiteral("width")));
    } else {
        const bool cd = name == QLatin1String("Label-cd");
        entry.shape = cd ? QStringLiteral("cd") : QStringLiteral("round");
        const double diameter = 2 * lengths.get(QStringLiteral("radius"));
        // A CD label may be cut straight at the sides (business-card CDs): its width and height.
        entry.widthMm = cd ? lengths.get(QStringLiteral("width"), diameter) : diameter;
        entry.heightMm = cd ? lengths.get(QStringLiteral("height"), diameter) : diameter;
        entry.holeDiameterMm = cd ? 2 * lengths.get(QStringLiteral("hole")) : 0;
        entry.unit = unitOf(attributes.value(QStringLiteral("radius")));
    }
    const double waste = lengths.get(QStringLiteral("waste"));
    entry.wasteXMm = lengths.get(QStringLiteral("x_waste"), waste);
    entry.wasteYMm = lengths.get(QStringLiteral("y_waste"), waste);
    // A round label's size is twice its radius, which may pass the limit that each length keeps.
    bool bad = lengths.bad || !(entry.widthMm > 0) || !(entry.heightMm > 0)
        || entry.widthMm > maxLengthMm || entry.heightMm > maxLengthMm
        || entry.cornerRadiusMm > std::min(entry.widthMm, entry.heightMm) / 2 || entry.holeDiameterMm >= entry.widthMm;

    while (xml.readNextStartElement()) {
        const QXmlStreamAttributes child = xml.attributes();
        Lengths childLengths(child);
        if (xml.name() == QLatin1String("Layout")) {
            TemplateLayout layout;
            layout.nx = wholeNumber(child.value(QStringLiteral("nx")), &bad);
            layout.ny = wholeNumber(child.value(QStringLiteral("ny")), &bad);
            layout.x0Mm = childLengths.get(QStringLiteral("x0"), 0, -maxLengthMm);
            layout.y0Mm = childLengths.get(QStringLiteral("y0"), 0, -maxLengthMm);
            layout.dxMm = childLengths.get(QStringLiteral("dx"));
            layout.dyMm = childLengths.get(QStringLiteral("dy"));
            entry.layouts.append(layout);
        } else if (xml.name() == QLatin1String("Markup-margin")) {
            entry.marginMm = childLengths.get(QStringLiteral("size"));
        }
        bad = bad || childLengths.bad;
        xml.skipCurrentElement();
    }
    return !bad && !entry.layouts.isEmpty();
}

// One Template element; false when it is malformed and is to be left out. The reader stands on its
// start and is left on its end.
bool readTemplate(QXmlStreamReader &xml, RawTemplate &raw)
{
    const QXmlStreamAttributes attributes = xml.attributes();
    LabelTemplate &entry = raw.entry;
    entry.brand = attributes.value(QStringLiteral("brand")).trimmed().toString();
    entry.part = attributes.value(QStringLiteral("part")).trimmed().toString();
    entry.description = attributes.value(QStringLiteral("_description")).toString();
    if (entry.description.isEmpty())
        entry.description = attributes.value(QStringLiteral("description")).toString();
    entry.paper = attributes.value(QStringLiteral("size")).toString();
    raw.equiv = attributes.value(QStringLiteral("equiv")).trimmed().toString();
    Lengths lengths(attributes);
    raw.hasOwnSize = lengths.has(QStringLiteral("width")) && lengths.has(QStringLiteral("height"));
    raw.ownWidthMm = lengths.get(QStringLiteral("width"));
    raw.ownHeightMm = lengths.get(QStringLiteral("height"));
    bool bad = lengths.bad || entry.brand.isEmpty() || entry.part.isEmpty();
    bool labelRead = false;
    while (xml.readNextStartElement()) {
        const QStringRef name = xml.name();
        if (name == QLatin1String("Meta")) {
            const QString category = xml.attributes().value(QStringLiteral("category")).toString();
            if (!category.isEmpty())
                entry.categories.append(category);
            xml.skipCurrentElement();
        } else if (name.startsWith(QLatin1String("Label-")) && !labelRead
                   && (name == QLatin1String("Label-rectangle") || name == QLatin1String("Label-round")
                       || name == QLatin1String("Label-ellipse") || name == QLatin1String("Label-cd"))) {
            // A sheet of two label sizes is rare; its first kind of label is the one offered.
            labelRead = true;
            bad = !readLabel(xml, entry) || bad;
        } else {
            xml.skipCurrentElement();
        }
    }
    return !bad && !xml.hasError() && (raw.equiv.isEmpty() ? labelRead : !labelRead);
}

void readFile(const QByteArray &bytes, Reading &reading)
{
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement()) {
        ++reading.skipped;
        return;
    }
    if (xml.name() == QLatin1String("Glabels-paper-sizes")) {
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("Paper-size")) {
                Lengths lengths(xml.attributes());
                const QString id = xml.attributes().value(QStringLiteral("id")).toString();
                const PaperSize size{lengths.get(QStringLiteral("width")), lengths.get(QStringLiteral("height"))};
                if (!lengths.bad && size.widthMm > 0 && size.heightMm > 0 && !id.isEmpty() && !reading.papers.contains(id))
                    reading.papers.insert(id, size);
            }
            xml.skipCurrentElement();
        }
    } else if (xml.name() == QLatin1String("Glabels-templates")) {
        while (xml.readNextStartElement()) {
            if (xml.name() != QLatin1String("Template")) {
                xml.skipCurrentElement();
                continue;
            }
            RawTemplate raw;
            // An entry cut off by the end of a truncated file is left out; those before it stand.
            if (readTemplate(xml, raw))
                reading.templates.append(raw);
            else
                ++reading.skipped;
        }
    }
    if (xml.hasError())
        ++reading.skipped;
}

// The paper a template names, or its own size for "Other" and papers no file describes.
bool resolvePaper(const Reading &reading, RawTemplate &raw)
{
    LabelTemplate &entry = raw.entry;
    const auto known = reading.papers.constFind(entry.paper);
    if (known != reading.papers.constEnd() && entry.paper != QLatin1String("Other")) {
        entry.paperWidthMm = known->widthMm;
        entry.paperHeightMm = known->heightMm;
        return true;
    }
    if (!raw.hasOwnSize || !(raw.ownWidthMm > 0) || !(raw.ownHeightMm > 0))
        return false;
    entry.paperWidthMm = raw.ownWidthMm;
    entry.paperHeightMm = raw.ownHeightMm;
    return true;
}

// A label written in points is sized in inches on American paper, in millimetres elsewhere.
void resolveUnit(LabelTemplate &entry)
{
    if (entry.unit.isEmpty())
        entry.unit = entry.paper.startsWith(QLatin1String("US-")) ? QStringLiteral("in") : QStringLiteral("mm");
}

TemplateReadResult resolve(Reading &reading)
{
    TemplateReadResult result;
    result.skipped = reading.skipped;
    QHash<QString, int> byKey;
    QVector<int> kept;
    for (int i = 0; i < reading.templates.size(); ++i) {
        const QString key = keyOf(reading.templates[i].entry.brand, reading.templates[i].entry.part);
        if (byKey.contains(key)) {
            ++result.skipped; // the user's own or an earlier folder's entry of this part stands
            continue;
        }
        byKey.insert(key, i);
        kept.append(i);
    }
    for (int index : kept) {
        RawTemplate raw = reading.templates[index];
        const RawTemplate *original = &reading.templates[index];
        QSet<int> visited{index};
        // Follow the chain of aliases to an entry with a label of its own; a loop or a missing
        // original leaves the alias out.
        while (original && !original->equiv.isEmpty()) {
            const int next = byKey.value(keyOf(original->entry.brand, original->equiv), -1);
            original = next < 0 || visited.contains(next) ? nullptr : &reading.templates[next];
            visited.insert(next);
        }
        if (!original) {
            ++result.skipped;
            continue;
        }
        if (original != &reading.templates[index]) {
            LabelTemplate entry = original->entry;
            entry.brand = raw.entry.brand;
            entry.part = raw.entry.part;
            entry.equivalentTo = original->entry.part;
            if (!raw.entry.description.isEmpty())
                entry.description = raw.entry.description;
            if (!raw.entry.categories.isEmpty())
                entry.categories = raw.entry.categories;
            RawTemplate alias = *original;
            alias.entry = entry;
            raw = alias;
        }
        if (!resolvePaper(reading, raw)) {
            ++result.skipped;
            continue;
        }
        resolveUnit(raw.entry);
        result.templates.append(raw.entry);
    }
    return result;
}

QStringList templateFilesOf(const QString &folder)
{
    const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*.xml"), QStringLiteral("*.template")},
                                                          QDir::Files | QDir::Readable, QDir::Name);
    QStringList paths;
    for (const QFileInfo &file : files)
        paths.append(file.absoluteFilePath());
    return paths;
}

} // namespace

bool parseTemplateLength(const QString &text, double *mm)
{
    static const QRegularExpression length(QStringLiteral(R"(^\s*([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d{1,3})?)\s*([a-z]*)\s*$)"));
    const QRegularExpressionMatch match = length.match(text);
    if (!match.hasMatch())
        return false;
    const QString unit = match.captured(2);
    double perUnit = 0;
    if (unit.isEmpty() || unit == QLatin1String("pt"))
        perUnit = 25.4 / 72;
    else if (unit == QLatin1String("mm"))
        perUnit = 1;
    else if (unit == QLatin1String("cm"))
        perUnit = 10;
    else if (unit == QLatin1String("in"))
        perUnit = 25.4;
    else if (unit == QLatin1String("pc"))
        perUnit = 25.4 / 6;
    else
        return false;
    const double value = match.captured(1).toDouble() * perUnit;
    if (!std::isfinite(value))
        return false;
    *mm = value;
    return true;
}

QStringList labelTemplateFolders()
{
    QStringList folders{QDir::homePath() + QStringLiteral("/.config/libglabels/templates")};
    QString dataDirs = QString::fromLocal8Bit(qgetenv("XDG_DATA_DIRS"));
    if (dataDirs.trimmed().isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    const QStringList dirs = dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &dir : dirs) {
        const QString folder = QDir::cleanPath(dir + QStringLiteral("/libglabels-3.0/templates"));
        if (!folders.contains(folder))
            folders.append(folder);
    }
    return folders;
}

TemplateReadResult readLabelTemplates(const QStringList &folders, qint64 maxBytes)
{
    Reading reading;
    qint64 budget = maxBytes;
    int files = 0;
    for (const QString &folder : folders) {
        const QStringList paths = templateFilesOf(folder);
        for (const QString &path : paths) {
            QFile file(path);
            if (++files > maxFiles || file.size() > budget || !file.open(QIODevice::ReadOnly)) {
                ++reading.skipped;
                continue;
            }
            // A file that grew since it was measured is read only as far as the budget goes.
            const QByteArray bytes = file.read(budget);
            budget -= bytes.size();
            readFile(bytes, reading);
        }
    }
    return resolve(reading);
}

TemplateReadResult readLabelTemplateTexts(const QList<QByteArray> &files, qint64 maxBytes)
{
    Reading reading;
    qint64 budget = maxBytes;
    for (const QByteArray &bytes : files) {
        if (bytes.size() > budget) {
            ++reading.skipped;
            continue;
        }
        budget -= bytes.size();
        readFile(bytes, reading);
    }
    return resolve(reading);
}

QJsonObject templateToJson(const LabelTemplate &entry)
{
    QJsonArray layouts;
    for (const TemplateLayout &layout : entry.layouts)
        layouts.append(QJsonObject{{QStringLiteral("nx"), layout.nx}, {QStringLiteral("ny"), layout.ny},
                                   {QStringLiteral("x0Mm"), layout.x0Mm}, {QStringLiteral("y0Mm"), layout.y0Mm},
                                   {QStringLiteral("dxMm"), layout.dxMm}, {QStringLiteral("dyMm"), layout.dyMm}});
    QJsonObject object{
        {QStringLiteral("brand"), entry.brand},
        {QStringLiteral("part"), entry.part},
        {QStringLiteral("description"), entry.description},
        {QStringLiteral("paper"), entry.paper},
        {QStringLiteral("paperWidthMm"), entry.paperWidthMm},
        {QStringLiteral("paperHeightMm"), entry.paperHeightMm},
        {QStringLiteral("shape"), entry.shape},
        {QStringLiteral("widthMm"), entry.widthMm},
        {QStringLiteral("heightMm"), entry.heightMm},
        {QStringLiteral("cornerRadiusMm"), entry.cornerRadiusMm},
        {QStringLiteral("wasteXMm"), entry.wasteXMm},
        {QStringLiteral("wasteYMm"), entry.wasteYMm},
        {QStringLiteral("marginMm"), entry.marginMm},
        {QStringLiteral("unit"), entry.unit},
        {QStringLiteral("layouts"), layouts},
        {QStringLiteral("categories"), QJsonArray::fromStringList(entry.categories)},
    };
    if (entry.shape == QLatin1String("cd"))
        object.insert(QStringLiteral("holeDiameterMm"), entry.holeDiameterMm);
    if (!entry.equivalentTo.isEmpty())
        object.insert(QStringLiteral("equivalentTo"), entry.equivalentTo);
    return object;
}
