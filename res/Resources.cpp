// Lookup of the compiled-in resources by number. Everything lives under ":/qvres":
// bitmaps/<id>.png, icons/<id>/<size>.png, anim/<id>.gif and strings/<language>.ini.
#include "Resources.h"

#include <QFile>
#include <QHash>
#include <QStringList>
#include <array>

namespace qvres {
namespace {

constexpr std::array IconSizes{256, 128, 48, 32, 24, 16};

// The per-language blocks: block k spans 260 + 14k to 273 + 14k; position p of a block
// matches neutral id 229 + p. Only the About picture (position 1) is drawn per language,
// the other positions are the neutral pictures.
constexpr int FirstBlockId = 260;
constexpr int LastBlockId = 539;
constexpr int BlockSize = 14;
constexpr int NeutralBlockStart = 229;
constexpr int AboutPosition = 1;

int pictureIdFor(int id)
{
    if (id < FirstBlockId || id > LastBlockId)
        return id;
    const int position = (id - FirstBlockId) % BlockSize;
    return position == AboutPosition ? id : NeutralBlockStart + position;
}

// Undoes the escapes of the table files: "\n" is a line break, "\\" a backslash; any
// other backslash stays as it is.
QString unescape(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < text.size()) {
            const QChar next = text[i + 1];
            if (next == u'n') {
                out += u'\n';
                ++i;
                continue;
            }
            if (next == u'\\') {
                out += u'\\';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

using StringTable = QHash<int, QString>;

// Lines "id = text"; lines starting with '#' or ';' and lines without a numeric id are
// skipped, so a translator's stray line cannot shift the other entries.
StringTable parseTable(const QByteArray& bytes)
{
    StringTable table;
    const QString text = QString::fromUtf8(bytes);
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

struct StringTables
{
    QHash<int, StringTable> byLanguage;
    QList<int> ids;
};

const StringTables& tables()
{
    // Built once; a function-local static is initialised thread-safely.
    static const StringTables all = [] {
        StringTables t;
        for (int language : {1,    7,    10,   12,   16,   19,   20,   29,   1028, 1029, 1033,
                             1037, 1038, 1041, 1042, 1045, 1046, 1049, 1055, 2052, 2070}) {
            QFile file(QStringLiteral(":/qvres/strings/%1.ini").arg(language));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            t.byLanguage.insert(language, parseTable(file.readAll()));
            t.ids.append(language);
        }
        return t;
    }();
    return all;
}

} // namespace

QImage SkinBitmap(int id)
{
    QImage image(QStringLiteral(":/qvres/bitmaps/%1.png").arg(pictureIdFor(id)));
    if (image.isNull())
        return image;
    // The skin is opaque 24-bit colour; callers may rely on that format.
    return image.convertToFormat(QImage::Format_RGB32);
}

QByteArray RawResource(const char* type, int id)
{
    if (type == nullptr || qstrcmp(type, "GIF") != 0)
        return {};
    QFile file(QStringLiteral(":/qvres/anim/%1.gif").arg(id));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString IconFile(int id, int size)
{
    const QString path = QStringLiteral(":/qvres/icons/%1/%2.png").arg(id).arg(size);
    return QFile::exists(path) ? path : QString();
}

QIcon Icon(int id)
{
    QIcon icon;
    for (int size : IconSizes) {
        const QString path = IconFile(id, size);
        if (!path.isEmpty())
            icon.addFile(path, QSize(size, size));
    }
    return icon;
}

QString TableString(int languageId, int stringId)
{
    const auto& all = tables().byLanguage;
    const auto table = all.constFind(languageId);
    if (table == all.constEnd())
        return {};
    return table->value(stringId);
}

bool HasStringTable(int languageId)
{
    return tables().byLanguage.contains(languageId);
}

QList<int> StringTableIds()
{
    return tables().ids;
}

} // namespace qvres
