#include "JobName.h"

namespace {

bool breaksARecord(QChar c)
{
    const QChar::Category category = c.category();
    return category == QChar::Other_Control || category == QChar::Separator_Line
        || category == QChar::Separator_Paragraph;
}

int utf8Length(uint codePoint)
{
    return codePoint < 0x80 ? 1 : codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
}

} // namespace

QString cupsJobName(const QString &name)
{
    QString result;
    int bytes = 0;
    for (int i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        QString character(breaksARecord(c) ? QChar(QLatin1Char(' ')) : c);
        uint codePoint = character.at(0).unicode();
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            character.append(name.at(++i));
            codePoint = QChar::surrogateToUcs4(c, name.at(i));
        } else if (c.isSurrogate()) {
            character = QChar(QChar::ReplacementCharacter);
            codePoint = QChar::ReplacementCharacter;
        }
        bytes += utf8Length(codePoint);
        if (bytes > maxJobNameBytes)
            break;
        result.append(character);
    }
    return result;
}
