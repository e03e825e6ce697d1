#include "RepeatedKeys.h"

#include <QSet>
#include <QString>
#include <QVector>

#include <cstring>

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Scans a string from just after its opening quote; returns the position after its closing quote
// (or the end of the text). When key is given it receives the string's decoded text, with \u
// escapes as the single UTF-16 units Qt makes of them. Only keys are decoded, so a page string of
// many megabytes costs one pass over its bytes.
int scanString(const QByteArray &json, int at, QString *key)
{
    const int end = json.size();
    int runStart = at;
    const auto flushRun = [&](int runEnd) {
        if (key && runEnd > runStart)
            key->append(QString::fromUtf8(json.constData() + runStart, runEnd - runStart));
    };
    while (at < end) {
        const char c = json.at(at);
        if (c == '"') {
            flushRun(at);
            return at + 1;
        }
        if (c != '\\') {
            ++at;
            continue;
        }
        flushRun(at);
        if (at + 1 >= end)
            return end;
        const char escaped = json.at(at + 1);
        at += 2;
        if (escaped == 'u') {
            int unit = 0;
            for (int i = 0; i < 4 && at < end && hexValue(json.at(at)) >= 0; ++i, ++at)
                unit = unit * 16 + hexValue(json.at(at));
            if (key)
                key->append(QChar(ushort(unit)));
        } else if (key) {
            const char *const from = "\"\\/bfnrt";
            const char *const to = "\"\\/\b\f\n\r\t";
            const char *found = escaped ? strchr(from, escaped) : nullptr;
            key->append(QLatin1Char(found ? to[found - from] : escaped));
        }
        runStart = at;
    }
    flushRun(end);
    return end;
}

struct Level
{
    bool isObject = false;
    QSet<QString> keys;
};

} // namespace

bool repeatsAKey(const QByteArray &json)
{
    QVector<Level> levels;
    // A string read in an object right after its "{" or a "," is a key.
    bool keyExpected = false;
    const int end = json.size();
    int at = 0;
    while (at < end) {
        const char c = json.at(at);
        switch (c) {
        case '{':
        case '[':
            if (levels.size() >= maxJsonNesting)
                return true;
            levels.append(Level{c == '{', {}});
            keyExpected = c == '{';
            ++at;
            break;
        case '}':
        case ']':
            if (!levels.isEmpty())
                levels.removeLast();
            keyExpected = false;
            ++at;
            break;
        case ',':
            keyExpected = !levels.isEmpty() && levels.last().isObject;
            ++at;
            break;
        case '"':
            if (keyExpected && !levels.isEmpty()) {
                QString key;
                at = scanString(json, at + 1, &key);
                QSet<QString> &keys = levels.last().keys;
                if (keys.contains(key))
                    return true;
                keys.insert(key);
            } else {
                at = scanString(json, at + 1, nullptr);
            }
            keyExpected = false;
            break;
        default:
            ++at;
            break;
        }
    }
    return false;
}
