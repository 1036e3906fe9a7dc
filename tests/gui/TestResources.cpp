// The compiled-in resources: every catalogue picture at its size, the string tables, the
// searching animation as the picture control reads it, and the icons.

#include "Resources.h"
#include "StringTableFormat.h"

#include <QBuffer>
#include <QImageReader>
#include <QSet>
#include <QtTest>

namespace {

constexpr int TableCount = 21;
const QList<int> AllTables{1,    7,    10,   12,   16,   19,   20,   29,   1028, 1029, 1033,
                           1037, 1038, 1041, 1042, 1045, 1046, 1049, 1055, 2052, 2070};
const QList<int> ProgramIds{101, 110, 111, 112, 113, 114, 115, 116, 117, 118, 119, 120,
                            121, 122, 123, 124, 125, 126, 127, 128, 129, 130, 131, 132};
const QList<int> IconSizes{256, 128, 48, 32, 24, 16};
const QList<int> IconIds{102, 246, 247, 248, 249, 250, 251, 252, 253, 254};

constexpr QRgb SkinGrey = 0xFF3B3B3B; // 59, 59, 59

// The size of a neutral catalogue bitmap, or an empty size for an id outside 200-245.
QSize neutralSize(int id)
{
    static const QHash<int, QSize> sizes{
        {200, {7, 26}},    {201, {7, 26}},    {202, {7, 26}},    {203, {2, 26}},    {204, {26, 14}},  {205, {2, 14}},
        {206, {1, 14}},    {207, {16, 14}},   {208, {16, 14}},   {209, {16, 14}},   {210, {16, 14}},  {211, {13, 26}},
        {212, {13, 2}},    {213, {13, 2}},    {214, {13, 12}},   {215, {13, 12}},   {216, {13, 12}},  {217, {13, 12}},
        {218, {18, 18}},   {219, {22, 22}},   {220, {15, 22}},   {221, {2, 22}},    {222, {153, 51}}, {223, {22, 22}},
        {224, {22, 22}},   {225, {22, 22}},   {226, {22, 22}},   {227, {22, 22}},   {228, {22, 22}},  {229, {498, 583}},
        {230, {585, 218}}, {231, {585, 218}}, {232, {585, 218}}, {233, {585, 218}}, {234, {108, 32}}, {235, {108, 32}},
        {236, {108, 32}},  {237, {108, 32}},  {238, {108, 32}},  {239, {108, 32}},  {240, {108, 32}}, {241, {108, 32}},
        {242, {108, 32}},  {243, {108, 32}},  {244, {219, 32}},  {245, {219, 32}}};
    return sizes.value(id);
}

QSize blockSize(int id)
{
    const int position = (id - 260) % 14;
    if (position == 0)
        return {498, 583};
    if (position <= 3)
        return {585, 218};
    return {108, 32};
}

int brightness(QRgb pixel)
{
    return qMax(qRed(pixel), qMax(qGreen(pixel), qBlue(pixel)));
}

// Steps through a GIF the way the picture control does, recording what it meets. Returns
// false when a block's length cannot be worked out or runs past the data.
struct GifWalk
{
    int applicationExtensions = 0;
    int applicationBeforeFirstImage = 0;
    QList<int> disposals;
    QList<int> delays;
    QList<QRect> images;
    bool endsWithTrailer = false;
};

bool skipSubBlocks(const QByteArray& d, qsizetype& at)
{
    while (at < d.size()) {
        const int length = static_cast<unsigned char>(d[at]);
        at += 1 + length;
        if (length == 0)
            return at <= d.size();
    }
    return false;
}

int word(const QByteArray& d, qsizetype at)
{
    return static_cast<unsigned char>(d[at]) | (static_cast<unsigned char>(d[at + 1]) << 8);
}

bool walkGif(const QByteArray& d, GifWalk& walk)
{
    if (d.size() < 13 || !d.startsWith("GIF"))
        return false;
    const int packed = static_cast<unsigned char>(d[10]);
    qsizetype at = 13 + ((packed & 0x80) ? 3 * (1 << ((packed & 7) + 1)) : 0);
    while (at < d.size()) {
        const auto tag = static_cast<unsigned char>(d[at]);
        if (tag == 0x3B) {
            walk.endsWithTrailer = at == d.size() - 1;
            return true;
        }
        if (tag == 0x2C) {
            if (at + 10 > d.size())
                return false;
            walk.images.append(QRect(word(d, at + 1), word(d, at + 3), word(d, at + 5), word(d, at + 7)));
            const int imagePacked = static_cast<unsigned char>(d[at + 9]);
            at += 10 + ((imagePacked & 0x80) ? 3 * (1 << ((imagePacked & 7) + 1)) : 0) + 1;
            if (!skipSubBlocks(d, at))
                return false;
            continue;
        }
        if (tag != 0x21 || at + 1 >= d.size())
            return false;
        const auto label = static_cast<unsigned char>(d[at + 1]);
        if (label == 0xF9) {
            if (at + 8 > d.size())
                return false;
            walk.disposals.append((static_cast<unsigned char>(d[at + 3]) >> 2) & 7);
            walk.delays.append(word(d, at + 4));
            at += 8;
        } else if (label == 0xFF) {
            ++walk.applicationExtensions;
            if (walk.images.isEmpty())
                ++walk.applicationBeforeFirstImage;
            at += 14;
            if (!skipSubBlocks(d, at))
                return false;
        } else if (label == 0xFE) {
            at += 2;
            if (!skipSubBlocks(d, at))
                return false;
        } else {
            return false;
        }
    }
    return false;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void bitmapAtItsSize_data();
    void bitmapAtItsSize();
    void idsOutsideTheCatalogueHaveNoBitmap();
    void blocksShareTheNeutralPictures();
    void everyAboutPictureIsInItsOwnLanguage();
    void versionLabelEndsBeforeTheVersionText_data();
    void versionLabelEndsBeforeTheVersionText();
    void mainBackgroundUnderTheAnimationIsSkinGrey();
    void titleButtonsBlendIntoTheBackground();

    void tablesAreTheTwentyOne();
    void everyTableHasEveryId_data();
    void everyTableHasEveryId();
    void usEnglishTexts_data();
    void usEnglishTexts();
    void translationsNamedByExample();
    void missingTablesAndIdsGiveEmptyText();
    void parserEscapesAndDamagedLines();

    void animationAsThePictureControlReadsIt();
    void animationDecodesToSevenFrames();
    void rawResourceOfOtherTypesIsEmpty();

    void iconsHaveAllSizes_data();
    void iconsHaveAllSizes();
    void deviceIconsDiffer();
};

void TestResources::bitmapAtItsSize_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QSize>("size");
    for (int id = 200; id <= 245; ++id)
        QTest::addRow("%d", id) << id << neutralSize(id);
    for (int id = 260; id <= 539; ++id)
        QTest::addRow("%d", id) << id << blockSize(id);
}

void TestResources::bitmapAtItsSize()
{
    QFETCH(int, id);
    QFETCH(QSize, size);
    const QImage image = qvres::SkinBitmap(id);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), size);
    // The skin is opaque: windows copy it without blending.
    QVERIFY(!image.hasAlphaChannel());
}

void TestResources::idsOutsideTheCatalogueHaveNoBitmap()
{
    for (int id : {-1, 0, 102, 199, 246, 254, 255, 259, 540, 541, 100000})
        QVERIFY2(qvres::SkinBitmap(id).isNull(), qPrintable(QString::number(id)));
}

void TestResources::blocksShareTheNeutralPictures()
{
    for (int k = 0; k < 20; ++k) {
        const int start = 260 + 14 * k;
        QCOMPARE(qvres::SkinBitmap(start), qvres::SkinBitmap(229));
        QCOMPARE(qvres::SkinBitmap(start + 2), qvres::SkinBitmap(231));
        for (int position = 4; position < 14; ++position)
            QCOMPARE(qvres::SkinBitmap(start + position).size(), QSize(108, 32));
    }
}

void TestResources::everyAboutPictureIsInItsOwnLanguage()
{
    QSet<QByteArray> seen;
    for (int offset = 0; offset <= 297; offset += (offset == 0 ? 31 : 14)) {
        const QImage about = qvres::SkinBitmap(230 + offset);
        QVERIFY(!about.isNull());
        const QByteArray bytes(reinterpret_cast<const char*>(about.constBits()), about.sizeInBytes());
        QVERIFY2(!seen.contains(bytes), qPrintable(QStringLiteral("picture %1 repeats another").arg(230 + offset)));
        seen.insert(bytes);
    }
    QCOMPARE(seen.size(), 21);
}

void TestResources::versionLabelEndsBeforeTheVersionText_data()
{
    QTest::addColumn<int>("id");
    QTest::addRow("230") << 230;
    for (int k = 0; k < 20; ++k)
        QTest::addRow("%d", 261 + 14 * k) << 261 + 14 * k;
}

// The About box writes the version at 103,143 (291 x 21): that area must be free for it,
// and the picture's label must stand just left of it on the same line.
void TestResources::versionLabelEndsBeforeTheVersionText()
{
    QFETCH(int, id);
    const QImage about = qvres::SkinBitmap(id);
    int labelPixels = 0;
    int rightmost = -1;
    for (int y = 143; y < 164; ++y) {
        for (int x = 0; x < 394; ++x) {
            if (brightness(about.pixel(x, y)) < 150)
                continue;
            QVERIFY2(x < 103, qPrintable(QStringLiteral("text at %1,%2").arg(x).arg(y)));
            ++labelPixels;
            rightmost = qMax(rightmost, x);
        }
    }
    QVERIFY(labelPixels > 20);
    QVERIFY2(rightmost >= 90, qPrintable(QStringLiteral("label ends at %1").arg(rightmost)));
}

void TestResources::mainBackgroundUnderTheAnimationIsSkinGrey()
{
    const QImage main = qvres::SkinBitmap(229);
    for (int y = 175; y < 225; ++y) {
        for (int x = 220; x < 270; ++x)
            QCOMPARE(main.pixel(x, y), SkinGrey);
    }
}

void TestResources::titleButtonsBlendIntoTheBackground()
{
    const QImage main = qvres::SkinBitmap(229);
    const int lefts[] = {411, 438, 465};
    const int faces[][2] = {{223, 224}, {225, 226}, {227, 228}};
    for (int i = 0; i < 3; ++i) {
        for (int id : faces[i]) {
            const QImage face = qvres::SkinBitmap(id);
            // Corners of the grey faces and of the orange ones lie on the frame; the red
            // close face is a rounded tile, so its outermost corner pixel still matches.
            QCOMPARE(face.pixel(0, 0), main.pixel(lefts[i], 9));
            QCOMPARE(face.pixel(21, 21), main.pixel(lefts[i] + 21, 30));
        }
    }
}

void TestResources::tablesAreTheTwentyOne()
{
    QList<int> ids = qvres::StringTableIds();
    std::sort(ids.begin(), ids.end());
    QCOMPARE(ids, AllTables);
    for (int id : AllTables)
        QVERIFY(qvres::HasStringTable(id));
    for (int id : {0, 9, 1031, 1040, 3079, 4})
        QVERIFY(!qvres::HasStringTable(id));
}

void TestResources::everyTableHasEveryId_data()
{
    QTest::addColumn<int>("table");
    for (int table : AllTables)
        QTest::addRow("%d", table) << table;
}

void TestResources::everyTableHasEveryId()
{
    QFETCH(int, table);
    for (int id : ProgramIds)
        QVERIFY2(!qvres::TableString(table, id).trimmed().isEmpty(), qPrintable(QString::number(id)));
    QCOMPARE(qvres::TableString(table, 110), QStringLiteral("&About QV Link"));
    // Only 122 is a format, and it takes exactly one text.
    QCOMPARE(qvres::TableString(table, 122).count(QStringLiteral("%s")), 1);
    QCOMPARE(qvres::TableString(table, 122).count(QLatin1Char('%')), 1);
    for (int id : ProgramIds) {
        if (id != 122)
            QVERIFY2(!qvres::TableString(table, id).contains(QLatin1Char('%')), qPrintable(QString::number(id)));
    }
    // 112: the maker's copyright line, one line break, then the version label.
    const QStringList lines = qvres::TableString(table, 112).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].contains(QStringLiteral("Halvren Storage Corporation")));
    QVERIFY(lines[1].endsWith(QLatin1Char(':')) || lines[1].endsWith(QChar(0xFF1A)));
    QVERIFY(qvres::TableString(table, 111).contains(QStringLiteral("QV Link")));
}

void TestResources::usEnglishTexts_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("text");
    const std::pair<int, const char*> rows[] = {
        {101, "Windows sockets initialization failed."},
        {110, "&About QV Link"},
        {111, "About QV Link"},
        {113, "Network Storage Found"},
        {114, "Name"},
        {115, "IP"},
        {116, "Drive Mapping"},
        {117, "Volume Name"},
        {118, "Location"},
        {119, "Available Drive Letters:"},
        {120, "Success"},
        {121, "Successfully mapped drive."},
        {122, "Successfully mapped drive to %s"},
        {123, "Error"},
        {124, "Failed to map drive."},
        {125, "Refresh"},
        {126, "Configure"},
        {127, "Map Drive"},
        {128, "Disconnect"},
        {129, "OK"},
        {130, "No network storage found. Please make sure your network storage is powered on and properly "
              "connected to the Local Area Network."},
        {131, "Create Desktop Shortcut"},
        {132, "Browse"},
    };
    for (const auto& [id, text] : rows)
        QTest::addRow("%d", id) << id << QString::fromUtf8(text);
}

void TestResources::usEnglishTexts()
{
    QFETCH(int, id);
    QFETCH(QString, text);
    QCOMPARE(qvres::TableString(1033, id), text);
}

void TestResources::translationsNamedByExample()
{
    QCOMPARE(qvres::TableString(7, 113), QStringLiteral("Netzwerkspeicher gefunden"));
    QCOMPARE(qvres::TableString(7, 125), QStringLiteral("Aktualisieren"));
    QCOMPARE(qvres::TableString(1041, 125), QStringLiteral("更新"));
    QVERIFY(qvres::TableString(1033, 112).endsWith(QStringLiteral("\nVersion:")));
}

void TestResources::missingTablesAndIdsGiveEmptyText()
{
    QVERIFY(qvres::TableString(1033, 100).isEmpty());
    QVERIFY(qvres::TableString(1033, 133).isEmpty());
    QVERIFY(qvres::TableString(1033, -110).isEmpty());
    QVERIFY(qvres::TableString(1031, 113).isEmpty()); // no sub-language fallback here
    QVERIFY(qvres::TableString(0, 113).isEmpty());
}

void TestResources::parserEscapesAndDamagedLines()
{
    const QByteArray text = "# comment = 5\r\n"
                            "; 6 = also a comment\n"
                            "  1 =  first line\\nsecond line  \r\n"
                            "2 = back\\\\slash and \\t kept\n"
                            "3=tight\n"
                            "x = not an id\n"
                            "= no id\n"
                            "no equals sign\n"
                            "4 = a = b\n"
                            "5 =\n"
                            "1 = replaced\\n\n"
                            "7 = trailing backslash\\";
    const qvres::StringTable table = qvres::ParseStringTable(text);
    QCOMPARE(table.value(1), QStringLiteral("replaced\n"));
    QCOMPARE(table.value(2), QStringLiteral("back\\slash and \\t kept"));
    QCOMPARE(table.value(3), QStringLiteral("tight"));
    QCOMPARE(table.value(4), QStringLiteral("a = b"));
    QVERIFY(table.contains(5));
    QVERIFY(table.value(5).isEmpty());
    QVERIFY(!table.contains(6));
    QCOMPARE(table.value(7), QStringLiteral("trailing backslash\\"));
    QCOMPARE(table.size(), 6);
    QVERIFY(qvres::ParseStringTable(QByteArray()).isEmpty());
}

void TestResources::animationAsThePictureControlReadsIt()
{
    const QByteArray gif = qvres::RawResource("GIF", 540);
    QVERIFY(gif.startsWith("GIF89a"));
    QCOMPARE(word(gif, 6), 50);
    QCOMPARE(word(gif, 8), 50);
    GifWalk walk;
    QVERIFY(walkGif(gif, walk));
    QVERIFY(walk.endsWithTrailer);
    QCOMPARE(walk.applicationExtensions, 1);
    QCOMPARE(walk.applicationBeforeFirstImage, 1);
    QCOMPARE(walk.images.size(), 7);
    QCOMPARE(walk.disposals, QList<int>(7, 1));
    QCOMPARE(walk.delays, QList<int>(7, 0));
    for (const QRect& image : walk.images)
        QCOMPARE(image, QRect(0, 0, 50, 50));
}

void TestResources::animationDecodesToSevenFrames()
{
    QByteArray gif = qvres::RawResource("GIF", 540);
    QBuffer buffer(&gif);
    QImageReader reader(&buffer, "gif");
    QList<QImage> frames;
    while (reader.canRead()) {
        const QImage frame = reader.read();
        QVERIFY(!frame.isNull());
        frames.append(frame.convertToFormat(QImage::Format_RGB32));
    }
    QCOMPARE(frames.size(), 7);
    QSet<QPoint> heads;
    for (const QImage& frame : frames) {
        QCOMPARE(frame.size(), QSize(50, 50));
        // Drawn on the skin grey, so the control's own fill and the frames meet seamlessly.
        QCOMPARE(frame.pixel(25, 25), SkinGrey);
        QCOMPARE(frame.pixel(0, 0), SkinGrey);
        QPoint brightest;
        int best = -1;
        for (int y = 0; y < 50; ++y) {
            for (int x = 0; x < 50; ++x) {
                const QRgb pixel = frame.pixel(x, y);
                const int orange = qRed(pixel) - qBlue(pixel);
                if (orange > best) {
                    best = orange;
                    brightest = QPoint(x / 5, y / 5);
                }
            }
        }
        QVERIFY(best > 150);
        heads.insert(brightest);
    }
    // The bright head is somewhere else in every frame.
    QCOMPARE(heads.size(), 7);
}

void TestResources::rawResourceOfOtherTypesIsEmpty()
{
    QVERIFY(qvres::RawResource("GIF", 541).isEmpty());
    QVERIFY(qvres::RawResource("gif", 540).isEmpty());
    QVERIFY(qvres::RawResource("PNG", 229).isEmpty());
    QVERIFY(qvres::RawResource(nullptr, 540).isEmpty());
}

void TestResources::iconsHaveAllSizes_data()
{
    QTest::addColumn<int>("id");
    for (int id : IconIds)
        QTest::addRow("%d", id) << id;
}

void TestResources::iconsHaveAllSizes()
{
    QFETCH(int, id);
    for (int size : IconSizes) {
        const QString file = qvres::IconFile(id, size);
        QVERIFY2(!file.isEmpty(), qPrintable(QString::number(size)));
        const QImage image(file);
        QCOMPARE(image.size(), QSize(size, size));
        QVERIFY(image.hasAlphaChannel());
        // Transparent round the edge, drawn in the middle.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
    }
    const QList<QSize> sizes = qvres::Icon(id).availableSizes();
    QCOMPARE(sizes.size(), IconSizes.size());
    QVERIFY(qvres::IconFile(id, 64).isEmpty());
}

void TestResources::deviceIconsDiffer()
{
    QVERIFY(qvres::Icon(245).isNull());
    QVERIFY(qvres::Icon(255).isNull());
    QVERIFY(qvres::IconFile(245, 16).isEmpty());
    QSet<QByteArray> seen;
    for (int id : IconIds) {
        const QImage image = QImage(qvres::IconFile(id, 48)).convertToFormat(QImage::Format_ARGB32);
        seen.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
    }
    QCOMPARE(seen.size(), IconIds.size());
}

QTEST_MAIN(TestResources)
#include "TestResources.moc"
