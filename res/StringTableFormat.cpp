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

} // namespace

StringTable ParseStringTable(const QByteArray& utf8)
{
    StringTable table;
    const QString text = QString::fromUtf8(utf8);
    const auto lines = QStringView(text).split(u'\n');
    for (QStringView line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';'))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        bool ok = false;
        const int id = line.left(eq).trimmed().toInt(&ok);
        if (!ok)
            continue;
        table.insert(id, unescape(line.mid(eq + 1).trimmed()));
    }
    return table;
}

} // namespace qvres
