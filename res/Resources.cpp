// Lookup of the compiled-in resources by number. Everything lives under ":/qvres":
// bitmaps/<id>.png, icons/<id>/<size>.png, anim/<id>.gif and strings/<language>.ini.
#include "Resources.h"

#include "StringTableFormat.h"

#include <QFile>
#include <QHash>
#include <array>

namespace qvres {
namespace {

constexpr std::array IconSizes{256, 128, 48, 32, 24, 16};

// The languages that carry a string table, in the order StringTableIds() reports them.
constexpr std::array LanguageIds{1,    7,    10,   12,   16,   19,   20,   29,   1028, 1029, 1033,
                                 1037, 1038, 1041, 1042, 1045, 1046, 1049, 1055, 2052, 2070};

// The per-language blocks: block k spans 260 + 14k to 273 + 14k. Only the About picture
// (position 1) is drawn per language; the other positions show the neutral picture of the
// same size and role: the main background, the two message box backgrounds and the ten
// button faces 234 to 243.
constexpr int FirstBlockId = 260;
constexpr int LastBlockId = 539;
constexpr int BlockSize = 14;

int pictureIdFor(int id)
{
    if (id < FirstBlockId || id > LastBlockId)
        return id;
    switch (const int position = (id - FirstBlockId) % BlockSize) {
    case 0:
        return 229;
    case 1:
        return id;
    case 2:
        return 231;
    case 3:
        return 232;
    default:
        return 230 + position;
    }
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
        for (int language : LanguageIds) {
            QFile file(QStringLiteral(":/qvres/strings/%1.ini").arg(language));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            t.byLanguage.insert(language, ParseStringTable(file.readAll()));
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
