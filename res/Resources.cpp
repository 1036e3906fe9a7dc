// Lookup of the compiled-in resources by number. Everything lives under ":/qvres":
// bitmaps/<id>.png, icons/<id>/<size>.png, anim/<id>.gif and strings/<language>.ini; the
// pictures for twice the pixel density beside them as <name>@2x.<extension>.
#include "Resources.h"

#include "StringTableFormat.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QPixmap>
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

// ":/qvres/bitmaps/229.png" at ratio 1, ":/qvres/bitmaps/229@2x.png" at ratio 2.
QString ResourcePath(const QString& stem, const char* extension, int pictureRatio)
{
    return pictureRatio == 2 ? QStringLiteral(":/qvres/%1@2x.%2").arg(stem, QLatin1String(extension))
                             : QStringLiteral(":/qvres/%1.%2").arg(stem, QLatin1String(extension));
}

bool KnownRatio(int pictureRatio)
{
    return pictureRatio == 1 || pictureRatio == 2;
}

} // namespace

int PictureRatio(qreal devicePixelRatio)
{
    return devicePixelRatio > 1.0 ? 2 : 1;
}

QImage SkinBitmap(int id)
{
    return SkinBitmap(id, qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0);
}

QImage SkinBitmap(int id, qreal devicePixelRatio)
{
    const int ratio = PictureRatio(devicePixelRatio);
    QImage image(ResourcePath(QStringLiteral("bitmaps/%1").arg(pictureIdFor(id)), "png", ratio));
    if (image.isNull())
        return image;
    // The skin is opaque 24-bit colour; callers may rely on that format.
    image = image.convertToFormat(QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    return image;
}

QByteArray RawResource(const char* type, int id, int pictureRatio)
{
    if (type == nullptr || qstrcmp(type, "GIF") != 0 || !KnownRatio(pictureRatio))
        return {};
    QFile file(ResourcePath(QStringLiteral("anim/%1").arg(id), "gif", pictureRatio));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString IconFile(int id, int size, int pictureRatio)
{
    if (!KnownRatio(pictureRatio))
        return {};
    const QString path = ResourcePath(QStringLiteral("icons/%1/%2").arg(id).arg(size), "png", pictureRatio);
    return QFile::exists(path) ? path : QString();
}

QIcon Icon(int id)
{
    const int ratio = PictureRatio(qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0);
    QIcon icon;
    for (int size : IconSizes) {
        const QString path = IconFile(id, size, ratio);
        if (path.isEmpty())
            continue;
        if (ratio == 1) {
            icon.addFile(path, QSize(size, size));
            continue;
        }
        // Only the pictures of the one ratio, each marked with it: an icon asked for at a size
        // then gets that size's own design, never the next larger one shrunk.
        QPixmap pixmap(path);
        pixmap.setDevicePixelRatio(ratio);
        icon.addPixmap(pixmap);
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
