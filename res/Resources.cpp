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
#include <atomic>
#include <cstddef>
#include <mutex>
#include <optional>

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

QString stringTablePath(int languageId)
{
    return QStringLiteral(":/qvres/strings/%1.ini").arg(languageId);
}

// Where languageId sits in LanguageIds; -1 for a language without a table.
int tableSlot(int languageId)
{
    for (std::size_t i = 0; i < LanguageIds.size(); ++i) {
        if (LanguageIds[i] == languageId) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// One language's table, read and parsed the first time a text of that language is asked
// for: a run needs one table (two when its language lacks an entry and falls back), so the
// other twenty are never read. call_once makes the first lookup safe from any thread and
// publishes the parsed table to every later reader.
struct LazyTable
{
    std::once_flag parsed;
    StringTable table;      // written once, inside call_once
    NamedStringTable named; // likewise
    // Set inside call_once; read outside it only by LoadedStringTables, hence atomic.
    std::atomic<bool> loaded{false};
};

std::array<LazyTable, LanguageIds.size()>& lazySlots()
{
    // A function-local static is initialised thread-safely; the slots live for the process.
    static std::array<LazyTable, LanguageIds.size()> tables;
    return tables;
}

const LazyTable& lazyTable(std::size_t slot)
{
    LazyTable& entry = lazySlots()[slot];
    std::call_once(entry.parsed, [&entry, slot] {
        QFile file(stringTablePath(LanguageIds[slot]));
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            entry.table = ParseStringTable(bytes);
            entry.named = ParseNamedStrings(bytes);
        }
        // Relaxed: only a diagnostic reads it; the table itself is published by call_once.
        entry.loaded.store(true, std::memory_order_relaxed);
    });
    return entry;
}

// Decoded small pictures, shared by every caller: a button asks for its normal face again as
// its disabled face and its pressed face again as its over face, and both lists ask for the
// same header and scroll bar pieces, so each is decoded once and held once (QImage shares its
// pixels between copies). Large pictures (window backgrounds, About pictures) are held by the
// window that shows them and are not kept here, so closing a box still frees them.
constexpr qsizetype MaxKeptPictureBytes = qsizetype{64} * 1024;

struct KeptPictures
{
    std::mutex mutex;
    QHash<QString, QImage> byPath; // guarded by mutex
};

KeptPictures& keptPictures()
{
    static KeptPictures kept; // initialised thread-safely, lives for the process
    return kept;
}

std::optional<QImage> keptPicture(const QString& path)
{
    KeptPictures& kept = keptPictures();
    const std::lock_guard lock(kept.mutex);
    const auto found = kept.byPath.constFind(path);
    if (found == kept.byPath.constEnd()) {
        return std::nullopt;
    }
    return found.value();
}

void keepPicture(const QString& path, const QImage& image)
{
    if (image.sizeInBytes() > MaxKeptPictureBytes) {
        return;
    }
    KeptPictures& kept = keptPictures();
    const std::lock_guard lock(kept.mutex);
    kept.byPath.insert(path, image);
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
    const QString path = ResourcePath(QStringLiteral("bitmaps/%1").arg(pictureIdFor(id)), "png", ratio);
    if (std::optional<QImage> kept = keptPicture(path)) {
        return *kept;
    }
    QImage image(path);
    if (image.isNull()) {
        return image;
    }
    // The skin is opaque 24-bit colour; callers may rely on that format.
    image = image.convertToFormat(QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    keepPicture(path, image);
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

QIcon Icon(int id, int largestSize)
{
    const int ratio = PictureRatio(qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0);
    QIcon icon;
    for (int size : IconSizes) {
        if (size > largestSize) {
            continue;
        }
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
    const int slot = tableSlot(languageId);
    if (slot < 0) {
        return {};
    }
    return lazyTable(static_cast<std::size_t>(slot)).table.value(stringId);
}

QString NamedTableString(int languageId, const QString& name)
{
    const int slot = tableSlot(languageId);
    if (slot < 0) {
        return {};
    }
    return lazyTable(static_cast<std::size_t>(slot)).named.value(name);
}

bool HasNamedTableString(int languageId, const QString& name)
{
    const int slot = tableSlot(languageId);
    return slot >= 0 && lazyTable(static_cast<std::size_t>(slot)).named.contains(name);
}

bool HasStringTable(int languageId)
{
    // The resource tree answers without reading or parsing the table.
    return tableSlot(languageId) >= 0 && QFile::exists(stringTablePath(languageId));
}

QList<int> StringTableIds()
{
    QList<int> ids;
    for (int language : LanguageIds) {
        if (HasStringTable(language)) {
            ids.append(language);
        }
    }
    return ids;
}

QList<int> LoadedStringTables()
{
    QList<int> ids;
    for (std::size_t i = 0; i < LanguageIds.size(); ++i) {
        // Relaxed: a diagnostic snapshot; nothing is read through it.
        if (lazySlots()[i].loaded.load(std::memory_order_relaxed)) {
            ids.append(LanguageIds[i]);
        }
    }
    return ids;
}

} // namespace qvres
