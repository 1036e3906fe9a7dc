// The compiled-in resources: every catalogue picture at its size, the string tables, the
// searching animation as the picture control reads it, and the icons.

#include "GifReader.h"
#include "Resources.h"
#include "StringTableFormat.h"

#include <QBuffer>
#include <QImageReader>
#include <QSet>
#include <QtTest>

namespace {

const QList<int> AllTables{1,    7,    10,   12,   16,   19,   20,   29,   1028, 1029, 1033,
                           1037, 1038, 1041, 1042, 1045, 1046, 1049, 1055, 2052, 2070};
const QList<int> IconSizes{256, 128, 48, 32, 24, 16};
const QList<int> IconIds{102, 246, 247, 248, 249, 250, 251, 252, 253, 254};
constexpr QRgb SkinGrey = 0xFF3B3B3B; // 59, 59, 59

QByteArray bytesOf(const QImage& image)
{
    return QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void bitmapAtItsSize_data();
    void bitmapAtItsSize();
    void blocksShareTheNeutralPictures();
    void versionLabelEndsBeforeTheVersionText_data();
    void versionLabelEndsBeforeTheVersionText();
    void mainBackgroundMatchesAnimationAndTitleButtons();

    void everyTableHasEveryId_data();
    void everyTableHasEveryId();
    void usEnglishTexts_data();
    void usEnglishTexts();
    void missingTablesAndIdsGiveEmptyText();
    void parserEscapesAndDamagedLines();

    void animationAsThePictureControlReadsIt();

    void iconsHaveAllSizes_data();
    void iconsHaveAllSizes();
};

void TestResources::bitmapAtItsSize_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QSize>("size"); // empty: no bitmap
    const struct
    {
        int first, last;
        QSize size;
    } ranges[] = {{200, 202, {7, 26}},    {203, 203, {2, 26}},   {204, 204, {26, 14}}, {205, 205, {2, 14}},
                  {206, 206, {1, 14}},    {207, 210, {16, 14}},  {211, 211, {13, 26}}, {212, 213, {13, 2}},
                  {214, 217, {13, 12}},   {218, 218, {18, 18}},  {219, 219, {22, 22}}, {220, 220, {15, 22}},
                  {221, 221, {2, 22}},    {222, 222, {153, 51}}, {223, 228, {22, 22}}, {229, 229, {498, 583}},
                  {230, 233, {585, 218}}, {234, 243, {108, 32}}, {244, 245, {219, 32}}};
    for (const auto& range : ranges) {
        for (int id = range.first; id <= range.last; ++id)
            QTest::addRow("%d", id) << id << range.size;
    }
    // Each language block: main background, About, two message boxes, ten button faces.
    for (int id = 260; id <= 539; ++id) {
        const int position = (id - 260) % 14;
        QTest::addRow("%d", id) << id
                                << (position == 0   ? QSize(498, 583)
                                    : position <= 3 ? QSize(585, 218)
                                                    : QSize(108, 32));
    }
    for (int id : {-1, 0, 102, 199, 246, 254, 255, 259, 540, 541, 100000})
        QTest::addRow("%d", id) << id << QSize(0, 0);
}

void TestResources::bitmapAtItsSize()
{
    QFETCH(int, id);
    QFETCH(QSize, size);
    const QImage image = qvres::SkinBitmap(id);
    QCOMPARE(image.size(), size);
    // The skin is opaque: windows copy it without blending.
    QVERIFY(image.isNull() || !image.hasAlphaChannel());
}

void TestResources::blocksShareTheNeutralPictures()
{
    // Only the About picture is drawn per language, and each one differs from all the others.
    QSet<QByteArray> abouts{bytesOf(qvres::SkinBitmap(230))};
    for (int start = 260; start < 540; start += 14) {
        QCOMPARE(qvres::SkinBitmap(start), qvres::SkinBitmap(229));
        abouts.insert(bytesOf(qvres::SkinBitmap(start + 1)));
        QCOMPARE(qvres::SkinBitmap(start + 2), qvres::SkinBitmap(231));
        QCOMPARE(qvres::SkinBitmap(start + 3), qvres::SkinBitmap(232));
        for (int position = 4; position < 14; ++position)
            QCOMPARE(qvres::SkinBitmap(start + position), qvres::SkinBitmap(230 + position));
    }
    QCOMPARE(abouts.size(), 21);
}

void TestResources::versionLabelEndsBeforeTheVersionText_data()
{
    QTest::addColumn<int>("id");
    QTest::addRow("230") << 230;
    for (int id = 261; id < 540; id += 14)
        QTest::addRow("%d", id) << id;
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
            const QRgb pixel = about.pixel(x, y);
            if (qMax(qRed(pixel), qMax(qGreen(pixel), qBlue(pixel))) < 150)
                continue;
            QVERIFY2(x < 103, qPrintable(QStringLiteral("text at %1,%2").arg(x).arg(y)));
            ++labelPixels;
            rightmost = qMax(rightmost, x);
        }
    }
    QVERIFY(labelPixels > 20);
    QVERIFY2(rightmost >= 90, qPrintable(QStringLiteral("label ends at %1").arg(rightmost)));
}

void TestResources::mainBackgroundMatchesAnimationAndTitleButtons()
{
    const QImage main = qvres::SkinBitmap(229);
    // Skin grey under the animation, so the control's own fill and the frames meet seamlessly.
    for (int y = 175; y < 225; ++y) {
        for (int x = 220; x < 270; ++x)
            QCOMPARE(main.pixel(x, y), SkinGrey);
    }
    // The corners of every title button face (minimise, help, close; normal and hover) lie
    // on the frame at the button's place.
    const int lefts[] = {411, 438, 465};
    for (int i = 0; i < 3; ++i) {
        for (int id : {223 + 2 * i, 224 + 2 * i}) {
            QCOMPARE(qvres::SkinBitmap(id).pixel(0, 0), main.pixel(lefts[i], 9));
            QCOMPARE(qvres::SkinBitmap(id).pixel(21, 21), main.pixel(lefts[i] + 21, 30));
        }
    }
}

void TestResources::everyTableHasEveryId_data()
{
    QList<int> ids = qvres::StringTableIds();
    std::sort(ids.begin(), ids.end());
    QCOMPARE(ids, AllTables);
    QTest::addColumn<int>("table");
    for (int table : AllTables)
        QTest::addRow("%d", table) << table;
}

void TestResources::everyTableHasEveryId()
{
    QFETCH(int, table);
    QVERIFY(qvres::HasStringTable(table));
    for (int id : {101, 110, 111, 112, 113, 114, 115, 116, 117, 118, 119, 120,
                   121, 122, 123, 124, 125, 126, 127, 128, 129, 130, 131, 132}) {
        const QString text = qvres::TableString(table, id);
        QVERIFY2(!text.trimmed().isEmpty(), qPrintable(QString::number(id)));
        // Only 122 is a format, and it takes exactly one text.
        QCOMPARE(text.count(QLatin1Char('%')), id == 122 ? 1 : 0);
    }
    QCOMPARE(qvres::TableString(table, 122).count(QStringLiteral("%s")), 1);
    QCOMPARE(qvres::TableString(table, 110), QStringLiteral("&About QV Link"));
    QVERIFY(qvres::TableString(table, 111).contains(QStringLiteral("QV Link")));
    // 112: the maker's copyright line, one line break, then the version label.
    const QStringList lines = qvres::TableString(table, 112).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].contains(QStringLiteral("Halvren Storage Corporation")));
    QVERIFY(lines[1].endsWith(QLatin1Char(':')) || lines[1].endsWith(QChar(0xFF1A)));
    if (table == 1033)
        QCOMPARE(lines[1], QStringLiteral("Version:"));
}

void TestResources::usEnglishTexts_data()
{
    QTest::addColumn<int>("table");
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
        {132, "Browse"}};
    for (const auto& [id, text] : rows)
        QTest::addRow("%d", id) << 1033 << id << QString::fromUtf8(text);
    QTest::newRow("German 113") << 7 << 113 << QStringLiteral("Netzwerkspeicher gefunden");
    QTest::newRow("German 125") << 7 << 125 << QStringLiteral("Aktualisieren");
    QTest::newRow("Japanese 125") << 1041 << 125 << QStringLiteral("更新");
}

void TestResources::usEnglishTexts()
{
    QFETCH(int, table);
    QFETCH(int, id);
    QFETCH(QString, text);
    QCOMPARE(qvres::TableString(table, id), text);
}

void TestResources::missingTablesAndIdsGiveEmptyText()
{
    QVERIFY(qvres::TableString(1033, 100).isEmpty());
    QVERIFY(qvres::TableString(1033, 133).isEmpty());
    QVERIFY(qvres::TableString(1033, -110).isEmpty());
    QVERIFY(qvres::TableString(1031, 113).isEmpty()); // no sub-language fallback here
    for (int id : {0, 4, 9, 1031, 1040, 3079})
        QVERIFY(!qvres::HasStringTable(id) && qvres::TableString(id, 113).isEmpty());
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
    QVERIFY(table.contains(5) && table.value(5).isEmpty());
    QVERIFY(!table.contains(6));
    QCOMPARE(table.value(7), QStringLiteral("trailing backslash\\"));
    QCOMPARE(table.size(), 6);
    QVERIFY(qvres::ParseStringTable(QByteArray()).isEmpty());
}

void TestResources::animationAsThePictureControlReadsIt()
{
    QVERIFY(qvres::RawResource("GIF", 541).isEmpty());
    QVERIFY(qvres::RawResource("gif", 540).isEmpty());
    QVERIFY(qvres::RawResource("PNG", 229).isEmpty());
    QVERIFY(qvres::RawResource(nullptr, 540).isEmpty());
    QByteArray gif = qvres::RawResource("GIF", 540);
    QVERIFY(gif.startsWith("GIF89a"));
    const GifReader reader(reinterpret_cast<const unsigned char*>(gif.constData()),
                           static_cast<std::size_t>(gif.size()));
    QCOMPARE(reader.ScreenWidth(), 50U);
    QCOMPARE(reader.ScreenHeight(), 50U);
    // The looping extension comes before the first frame; every frame is a whole-screen image
    // that is kept (disposal 1) and shown for the shortest delay; the trailer ends the data.
    std::size_t offset = reader.FirstBlock();
    QCOMPARE(reader.BlockAt(offset), GifBlock::Application);
    GifFrameSpan span;
    for (int i = 0; i < 7; ++i) {
        QVERIFY(reader.NextFrame(offset, span));
        QVERIFY(span.isImage);
        QCOMPARE(QRect(int(span.left), int(span.top), int(span.width), int(span.height)), QRect(0, 0, 50, 50));
        QCOMPARE(span.disposal, 1);
        QCOMPARE(span.delay, 0U);
    }
    QVERIFY(!reader.NextFrame(offset, span));
    QCOMPARE(reader.BlockAt(offset), GifBlock::Trailer);
    QCOMPARE(offset + 1, static_cast<std::size_t>(gif.size()));

    // Decoded: seven different frames, skin grey in the corner and the middle, so the
    // control's own fill and the frames meet seamlessly.
    QBuffer buffer(&gif);
    QImageReader decoder(&buffer, "gif");
    QSet<QByteArray> distinct;
    while (decoder.canRead()) {
        const QImage frame = decoder.read().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(frame.size(), QSize(50, 50));
        QCOMPARE(frame.pixel(25, 25), SkinGrey);
        QCOMPARE(frame.pixel(0, 0), SkinGrey);
        distinct.insert(bytesOf(frame));
    }
    QCOMPARE(distinct.size(), 7);
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
        const QImage image(qvres::IconFile(id, size));
        QCOMPARE(image.size(), QSize(size, size));
        // Transparent round the edge, drawn in the middle.
        QVERIFY(image.hasAlphaChannel());
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
    }
    QCOMPARE(qvres::Icon(id).availableSizes().size(), IconSizes.size());
    QVERIFY(qvres::IconFile(id, 64).isEmpty());
    // Every device has its own picture.
    const QImage mine = QImage(qvres::IconFile(id, 48)).convertToFormat(QImage::Format_ARGB32);
    for (int other : IconIds) {
        if (other != id)
            QVERIFY(QImage(qvres::IconFile(other, 48)).convertToFormat(QImage::Format_ARGB32) != mine);
    }
    QVERIFY(qvres::Icon(245).isNull() && qvres::Icon(255).isNull() && qvres::IconFile(245, 16).isEmpty());
}

QTEST_MAIN(TestResources)
#include "TestResources.moc"
