// The compiled-in resources: every catalogue picture at its size, the string tables, the
// searching animation as the picture control reads it, and the icons.

#include "GifReader.h"
#include "NamedText.h"
#include "Resources.h"
#include "StringTableFormat.h"

#include <QBuffer>
#include <QImageReader>
#include <QSet>
#include <QtTest>
#include <thread>
#include <vector>

namespace {

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
    // First, while no table has been read in this process.
    void stringTablesReadOnFirstUse();
    void firstLookupsFromManyThreads();
    void bitmapsAtTheirSizes();
    void smallPicturesDecodedOnceAndShared();
    void languageBlocksShareTheNeutralPictures();
    void mainBackgroundMatchesAnimationAndTitleButtons();
    void stringTables();
    void parserEscapesAndDamagedLines();
    void namedTextsInEveryTable();
    void namedLinesParsed();
    void animationAsThePictureControlReadsIt();
    void iconsHaveAllSizes();
};

void TestResources::stringTablesReadOnFirstUse()
{
    // Asking which tables exist reads none of them.
    QVERIFY(qvres::HasStringTable(7) && qvres::HasStringTable(1041));
    QCOMPARE(qvres::StringTableIds().size(), 21);
    QCOMPARE(qvres::LoadedStringTables(), QList<int>());
    // A lookup reads its own table and no other; a missing table or entry reads nothing new.
    QCOMPARE(qvres::TableString(7, 125), QStringLiteral("Aktualisieren"));
    QCOMPARE(qvres::LoadedStringTables(), QList<int>{7});
    QVERIFY(qvres::TableString(1031, 125).isEmpty());
    QVERIFY(qvres::TableString(7, 9999).isEmpty());
    QCOMPARE(qvres::LoadedStringTables(), QList<int>{7});
    // A second language later, then the first again: each gives its own texts.
    QCOMPARE(qvres::TableString(1041, 125), QStringLiteral("更新"));
    QCOMPARE(qvres::TableString(7, 113), QStringLiteral("Netzwerkspeicher"));
    QCOMPARE(qvres::LoadedStringTables(), QList<int>({7, 1041}));
}

void TestResources::firstLookupsFromManyThreads()
{
    // Every thread asks for every table's texts at once, most of them never read before; each
    // must see the whole table (TSan checks the publication).
    constexpr int Threads = 8;
    const QList<int> tables = qvres::StringTableIds();
    std::vector<QStringList> seen(Threads);
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&tables, &seen, t] {
            for (qsizetype i = 0; i < tables.size(); ++i) {
                const int table = tables[(i + t) % tables.size()];
                seen[t].append(QStringLiteral("%1:%2").arg(table).arg(qvres::TableString(table, 125)));
            }
            seen[t].sort();
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    QCOMPARE(qvres::LoadedStringTables().size(), tables.size());
    QStringList expected;
    for (int table : tables) {
        const QString refresh = qvres::TableString(table, 125);
        QVERIFY(!refresh.isEmpty());
        expected.append(QStringLiteral("%1:%2").arg(table).arg(refresh));
    }
    expected.sort();
    for (const QStringList& list : seen)
        QCOMPARE(list, expected);
}

void TestResources::bitmapsAtTheirSizes()
{
    const struct
    {
        int first, last;
        QSize size;
    } ranges[] = {{200, 202, {7, 26}},    {203, 203, {2, 26}},   {204, 204, {26, 14}},  {205, 205, {2, 14}},
                  {206, 206, {1, 14}},    {207, 210, {16, 14}},  {211, 211, {13, 26}},  {212, 213, {13, 2}},
                  {214, 217, {13, 12}},   {218, 218, {18, 18}},  {219, 219, {22, 22}},  {220, 220, {15, 22}},
                  {221, 221, {2, 22}},    {222, 222, {153, 51}}, {223, 228, {22, 22}},  {229, 229, {498, 583}},
                  {230, 233, {585, 218}}, {234, 243, {108, 32}}, {244, 245, {219, 32}}, {199, 199, {0, 0}},
                  {246, 259, {0, 0}},     {540, 541, {0, 0}},    {-1, 0, {0, 0}}};
    for (const auto& range : ranges) {
        for (int id = range.first; id <= range.last; ++id) {
            const QImage image = qvres::SkinBitmap(id);
            QVERIFY2(image.size() == range.size, qPrintable(QString::number(id)));
            // The skin is opaque: windows copy it without blending.
            QVERIFY(image.isNull() || !image.hasAlphaChannel());
        }
    }
}

void TestResources::smallPicturesDecodedOnceAndShared()
{
    // The same face asked for again (also from other threads at once) is the same decoded
    // pixels; the main background is not kept.
    const QImage face = qvres::SkinBitmap(234);
    std::vector<QImage> fromThreads(6);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < fromThreads.size(); ++t)
        threads.emplace_back([&fromThreads, t] { fromThreads[t] = qvres::SkinBitmap(t % 2 == 0 ? 234 : 235); });
    for (std::thread& thread : threads)
        thread.join();
    for (std::size_t t = 0; t < fromThreads.size(); t += 2)
        QCOMPARE(fromThreads[t].cacheKey(), face.cacheKey());
    QCOMPARE(fromThreads[1].cacheKey(), fromThreads[3].cacheKey());
    QVERIFY(fromThreads[1].cacheKey() != face.cacheKey());
    QVERIFY(qvres::SkinBitmap(229).cacheKey() != qvres::SkinBitmap(229).cacheKey());
    // A caller that paints into its copy changes nobody else's.
    QImage painted = qvres::SkinBitmap(234);
    const QRgb before = painted.pixel(5, 5);
    painted.setPixel(5, 5, qRgb(1, 2, 3));
    QCOMPARE(qvres::SkinBitmap(234).pixel(5, 5), before);
    QCOMPARE(face.pixel(5, 5), before);
    QCOMPARE(qvres::SkinBitmap(234).format(), QImage::Format_RGB32);
}

void TestResources::languageBlocksShareTheNeutralPictures()
{
    // Each block of 14 from 260: main background, About, two message boxes, ten button faces.
    // Only the About picture is drawn per language, each one differs from all the others.
    QSet<QByteArray> abouts{bytesOf(qvres::SkinBitmap(230))};
    for (int start = 260; start < 540; start += 14) {
        QCOMPARE(qvres::SkinBitmap(start), qvres::SkinBitmap(229));
        abouts.insert(bytesOf(qvres::SkinBitmap(start + 1)));
        for (int position = 2; position < 14; ++position)
            QCOMPARE(qvres::SkinBitmap(start + position),
                     qvres::SkinBitmap(position < 4 ? 229 + position : 230 + position));
    }
    QCOMPARE(abouts.size(), 21);
    // The About box writes the version at 103,143 (291 x 21): every About picture keeps that
    // area free and ends its label just left of it.
    for (int id = 230; id < 540; id += id == 230 ? 31 : 14) {
        const QImage about = qvres::SkinBitmap(id);
        QCOMPARE(about.size(), QSize(585, 218));
        int rightmost = -1;
        for (int y = 143; y < 164; ++y) {
            for (int x = 0; x < 394; ++x) {
                if (qMax(qRed(about.pixel(x, y)), qMax(qGreen(about.pixel(x, y)), qBlue(about.pixel(x, y)))) >= 150)
                    rightmost = qMax(rightmost, x);
            }
        }
        QVERIFY2(rightmost >= 90 && rightmost < 103,
                 qPrintable(QStringLiteral("%1: label ends at %2").arg(id).arg(rightmost)));
    }
}

void TestResources::mainBackgroundMatchesAnimationAndTitleButtons()
{
    const QImage main = qvres::SkinBitmap(229);
    // Skin grey under the animation, so the control's own fill and the frames meet seamlessly.
    for (int y = 175; y < 225; ++y) {
        for (int x = 220; x < 270; ++x)
            QCOMPARE(main.pixel(x, y), SkinGrey);
    }
    // The corners of each title button face (about, minimise, close; normal and hover) lie on
    // the frame at the button's place.
    for (int i = 0; i < 3; ++i) {
        for (int id : {223 + 2 * i, 224 + 2 * i}) {
            QCOMPARE(qvres::SkinBitmap(id).pixel(0, 0), main.pixel(411 + 27 * i, 9));
            QCOMPARE(qvres::SkinBitmap(id).pixel(21, 21), main.pixel(411 + 27 * i + 21, 30));
        }
    }
}

void TestResources::stringTables()
{
    QList<int> tables = qvres::StringTableIds();
    std::sort(tables.begin(), tables.end());
    QCOMPARE(tables, QList<int>({1,    7,    10,   12,   16,   19,   20,   29,   1028, 1029, 1033,
                                 1037, 1038, 1041, 1042, 1045, 1046, 1049, 1055, 2052, 2070}));
    for (int table : tables) {
        for (int id = 110; id <= 133; ++id) {
            const QString text = qvres::TableString(table, id == 133 ? 101 : id);
            QVERIFY2(!text.trimmed().isEmpty(), qPrintable(QStringLiteral("%1/%2").arg(table).arg(id)));
            // Only 122 is a format, and it takes exactly one text.
            QCOMPARE(text.count(QLatin1Char('%')), id == 122 ? 1 : 0);
        }
        QVERIFY(qvres::TableString(table, 122).contains(QStringLiteral("%s")));
        QCOMPARE(qvres::TableString(table, 110), QStringLiteral("&About QV Link"));
    }
    // The format the map-drive message fills in; the captions are checked where they are shown.
    QCOMPARE(qvres::TableString(1033, 122), QStringLiteral("Successfully mapped drive to %s"));
    QCOMPARE(qvres::TableString(1041, 125), QStringLiteral("更新"));
    // No sub-language fallback at this level; missing ids and tables give empty text.
    for (const auto& [table, id] : {std::pair{1033, 100}, {1033, 133}, {1033, -110}, {1031, 113}, {0, 113}})
        QVERIFY(qvres::TableString(table, id).isEmpty());
    QVERIFY(!qvres::HasStringTable(1031) && !qvres::HasStringTable(4));
}

void TestResources::parserEscapesAndDamagedLines()
{
    const qvres::StringTable table = qvres::ParseStringTable(
        "# comment = 5\r\n; 6 = also a comment\n  1 =  first line\\nsecond line  \r\n2 = back\\\\slash and \\t kept\n"
        "3=tight\nx = not an id\n= no id\nno equals sign\n4 = a = b\n5 =\n1 = replaced\\n\n7 = trailing backslash\\");
    QCOMPARE(table.value(1), QStringLiteral("replaced\n"));
    QCOMPARE(table.value(2), QStringLiteral("back\\slash and \\t kept"));
    QCOMPARE(table.value(3), QStringLiteral("tight"));
    QCOMPARE(table.value(4), QStringLiteral("a = b"));
    QVERIFY(table.contains(5) && table.value(5).isEmpty() && !table.contains(6));
    QCOMPARE(table.value(7), QStringLiteral("trailing backslash\\"));
    QCOMPARE(table.size(), 6);
}

// Every table names every text the program asks for by name, with the same placeholders and
// one mnemonic where English has one; English reads exactly as the program's own texts.
void TestResources::namedTextsInEveryTable()
{
    for (int table : qvres::StringTableIds()) {
        for (const char* name : qvres::NamedTextNames) {
            const QString key = QString::fromLatin1(name);
            const QString where = QStringLiteral("%1/%2").arg(table).arg(key);
            QVERIFY2(qvres::HasNamedTableString(table, key), qPrintable(where));
            const QString text = qvres::NamedTableString(table, key);
            const QString english = qvres::NamedTableString(1033, key);
            QVERIFY2(!text.trimmed().isEmpty(), qPrintable(where));
            QVERIFY2(text.count(QStringLiteral("%1")) == english.count(QStringLiteral("%1")), qPrintable(where));
            QVERIFY2(text.count(QLatin1Char('%')) == english.count(QLatin1Char('%')), qPrintable(where));
            QVERIFY2(text.count(QLatin1Char('&')) == english.count(QLatin1Char('&')), qPrintable(where));
            // A mnemonic marks a letter, never a blank or the end.
            const qsizetype amp = text.indexOf(QLatin1Char('&'));
            QVERIFY2(amp < 0 || (amp + 1 < text.size() && !text.at(amp + 1).isSpace()), qPrintable(where));
        }
        // The mnemonics of one dialog or menu are all different.
        const auto distinct = [table](std::initializer_list<const char*> names) {
            QSet<QString> letters;
            for (const char* name : names) {
                const QString text = qvres::NamedTableString(table, QString::fromLatin1(name));
                letters.insert(text.mid(text.indexOf(QLatin1Char('&')) + 1, 1).toLower());
            }
            return letters.size() == int(names.size());
        };
        QVERIFY2(
            distinct({qvres::text::CredentialsUser, qvres::text::CredentialsDomain, qvres::text::CredentialsPassword}),
            qPrintable(QString::number(table)));
        QVERIFY2(distinct({qvres::text::MenuRestore, qvres::text::MenuMove, qvres::text::MenuSize,
                           qvres::text::MenuMinimise, qvres::text::MenuMaximise, qvres::text::MenuClose}),
                 qPrintable(QString::number(table)));
    }
    const std::pair<const char*, const char*> english[] = {
        {qvres::text::CredentialsTitle, "Connect to Server"},
        {qvres::text::CredentialsPrompt, "Enter a user name and password to connect to %1."},
        {qvres::text::CredentialsUser, "&User name:"},
        {qvres::text::CredentialsDomain, "&Domain:"},
        {qvres::text::CredentialsPassword, "&Password:"},
        {qvres::text::CredentialsRemember, "Remember password"},
        {qvres::text::CredentialsRefused, "The user name or password is not correct."},
        {qvres::text::ButtonOk, "OK"},
        {qvres::text::ButtonCancel, "Cancel"},
        {qvres::text::WarningTitle, "Warning"},
        {qvres::text::WarningUnavailable, "Device is no longer available."},
    };
    for (const auto& [name, text] : english) {
        QCOMPARE(qvres::NamedTableString(1033, QString::fromLatin1(name)), QString::fromLatin1(text));
    }
    // The platform box's OK says what the program's own box says.
    for (int table : qvres::StringTableIds()) {
        QCOMPARE(qvres::NamedTableString(table, QString::fromLatin1(qvres::text::ButtonOk)),
                 qvres::TableString(table, 129));
    }
    // The tooltip's labels read as English only in English.
    const std::pair<const char*, const char*> labels[] = {
        {qvres::text::DeviceModelName, "Model name:"},    {qvres::text::DeviceModelNumber, "Model number:"},
        {qvres::text::DeviceDescription, "Description:"}, {qvres::text::DeviceManufacturer, "Manufacturer:"},
        {qvres::text::DeviceWebPage, "Web page:"},        {qvres::text::DeviceId, "Device ID:"},
    };
    for (const auto& [name, text] : labels) {
        QCOMPARE(qvres::NamedTableString(1033, QString::fromLatin1(name)), QString::fromLatin1(text));
        for (int table : qvres::StringTableIds()) {
            const QString label = qvres::NamedTableString(table, QString::fromLatin1(name));
            QVERIFY2(table == 1033 || label != QString::fromLatin1(text), qPrintable(QString::number(table)));
        }
    }
    QVERIFY(qvres::NamedTableString(1031, QStringLiteral("button.ok")).isEmpty());
    QVERIFY(!qvres::HasNamedTableString(1033, QStringLiteral("no.such.text")));
}

void TestResources::namedLinesParsed()
{
    const QByteArray table = "# a.b = comment\n113 = numbered\nmenu.close = &Close\n  spaced_name.2  =  two\\nlines  \n"
                             "2nd = not a name\nwith blank = not a name\n.dot = not a name\nempty =\n"
                             "menu.close = last wins\nGenericName = menu text\n";
    const qvres::NamedStringTable named = qvres::ParseNamedStrings(table);
    QCOMPARE(named.value(QStringLiteral("menu.close")), QStringLiteral("last wins"));
    QCOMPARE(named.value(QStringLiteral("spaced_name.2")), QStringLiteral("two\nlines"));
    QCOMPARE(named.value(QStringLiteral("GenericName")), QStringLiteral("menu text"));
    QVERIFY(named.contains(QStringLiteral("empty")) && named.value(QStringLiteral("empty")).isEmpty());
    QCOMPARE(named.size(), 4);
    // The numbered texts of the same bytes are unchanged by the named lines.
    const qvres::StringTable numbered = qvres::ParseStringTable(table);
    QCOMPARE(numbered.size(), 1);
    QCOMPARE(numbered.value(113), QStringLiteral("numbered"));
}

void TestResources::animationAsThePictureControlReadsIt()
{
    for (const auto& [type, id] : {std::pair<const char*, int>{"GIF", 541}, {"gif", 540}, {"PNG", 229}, {nullptr, 540}})
        QVERIFY(qvres::RawResource(type, id).isEmpty());
    QByteArray gif = qvres::RawResource("GIF", 540);
    QVERIFY(gif.startsWith("GIF89a"));
    const GifReader reader(reinterpret_cast<const unsigned char*>(gif.constData()), std::size_t(gif.size()));
    QCOMPARE(QSize(int(reader.ScreenWidth()), int(reader.ScreenHeight())), QSize(50, 50));
    // The looping extension comes before the first frame; every frame is a whole-screen image
    // that is kept (disposal 1) and shown for the shortest delay; the trailer ends the data.
    std::size_t offset = reader.FirstBlock();
    QCOMPARE(reader.BlockAt(offset), GifBlock::Application);
    GifFrameSpan span;
    for (int i = 0; i < 7; ++i) {
        QVERIFY(reader.NextFrame(offset, span) && span.isImage);
        QCOMPARE(QRect(int(span.left), int(span.top), int(span.width), int(span.height)), QRect(0, 0, 50, 50));
        QVERIFY(span.disposal == 1 && span.delay == 0);
    }
    QVERIFY(!reader.NextFrame(offset, span));
    QCOMPARE(reader.BlockAt(offset), GifBlock::Trailer);
    QCOMPARE(offset + 1, std::size_t(gif.size()));

    // Seven different frames, skin grey in the corner and the middle.
    QBuffer buffer(&gif);
    QImageReader decoder(&buffer, "gif");
    QSet<QByteArray> distinct;
    while (decoder.canRead()) {
        const QImage frame = decoder.read().convertToFormat(QImage::Format_RGB32);
        QVERIFY(frame.size() == QSize(50, 50) && frame.pixel(25, 25) == SkinGrey && frame.pixel(0, 0) == SkinGrey);
        distinct.insert(bytesOf(frame));
    }
    QCOMPARE(distinct.size(), 7);
}

void TestResources::iconsHaveAllSizes()
{
    QSet<QByteArray> pictures;
    for (int id : IconIds) {
        for (int size : IconSizes) {
            const QImage image(qvres::IconFile(id, size));
            QCOMPARE(image.size(), QSize(size, size));
            // Transparent round the edge, drawn in the middle.
            QVERIFY(image.hasAlphaChannel() && qAlpha(image.pixel(0, 0)) == 0);
            QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
        }
        QCOMPARE(qvres::Icon(id).availableSizes().size(), IconSizes.size());
        QVERIFY(qvres::IconFile(id, 64).isEmpty());
        pictures.insert(bytesOf(QImage(qvres::IconFile(id, 48)).convertToFormat(QImage::Format_ARGB32)));
    }
    QCOMPARE(pictures.size(), IconIds.size()); // every device has its own picture
    QVERIFY(qvres::Icon(245).isNull() && qvres::Icon(255).isNull() && qvres::IconFile(245, 16).isEmpty());
}

QTEST_MAIN(TestResources)
#include "TestResources.moc"
