#include "StringTableFormat.h"

#include <QStringView>

namespace qvres {
namespace {

// Any backslash that is not part of "\n" or "\\" stays as it is, so a translator's
// stray backslash shows up in the text instead of eating the next letter.
QString unescape(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < text.size()) {
            const QChar next = text[i + 1];
            if (next == u'n' || next == u'\\') {
                out += next == u'n' ? QChar(u'\n') : QChar(u'\\');
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Calls entry(key, text) for each "key = text" line, the text unescaped.
template <typename Entry> void forEachLine(const QByteArray& utf8, Entry&& entry)
{
    const QString text = QString::fromUtf8(utf8);
    const auto lines = QStringView(text).split(u'\n');
    for (QStringView line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';'))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        entry(line.left(eq).trimmed(), unescape(line.mid(eq + 1).trimmed()));
    }
}

bool isName(QStringView key)
{
    if (key.isEmpty() || !isAsciiLetter(key.front()))
        return false;
    for (const QChar c : key) {
        if (!isAsciiLetter(c) && !(c >= u'0' && c <= u'9') && c != u'.' && c != u'_')
            return false;
    }
    return true;
}

} // namespace

StringTable ParseStringTable(const QByteArray& utf8)
{
    StringTable table;
    forEachLine(utf8, [&table](QStringView key, QString text) {
        bool ok = false;
        const int id = key.toInt(&ok);
        if (ok)
            table.insert(id, std::move(text));
    });
    return table;
}

NamedStringTable ParseNamedStrings(const QByteArray& utf8)
{
    NamedStringTable table;
    forEachLine(utf8, [&table](QStringView key, QString text) {
        if (isName(key))
            table.insert(key.toString(), std::move(text));
    });
    return table;
}

} // namespace qvres
