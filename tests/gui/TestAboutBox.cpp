// The About box: the version number, the picture chosen by the regional locale, its layout.

#include "CxSkinButton.h"
#include "ModalWatcher.h"
#include "Resources.h"
#include "showabout.h"

#include <QLabel>
#include <QMap>
#include <QtTest>
#include <cstring>

class TestAboutBox : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        for (const char* name : {"LC_ALL", "LC_TIME", "LC_NUMERIC", "LC_MONETARY", "LANG", "LANGUAGE"})
            qunsetenv(name);
    }

    void versionCopiedAtMost31Characters();
    void versionAndPictureAtEachOpening();
    void layout();
    void versionStandsOnTheLabelsLine_data();
    void versionStandsOnTheLabelsLine();
};

void TestAboutBox::versionCopiedAtMost31Characters()
{
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    QCOMPARE(GetProductVersionText(buffer, nullptr), 0);
    QVERIFY(buffer[0] == 'x' && buffer[31] == 'x'); // untouched on failure
    const QByteArray tooLong(40, '9');
    QCOMPARE(GetProductVersionText(buffer, tooLong.constData()), 1);
    QCOMPARE(QByteArray(buffer), tooLong.left(31)); // and the terminator
}

void TestAboutBox::versionAndPictureAtEachOpening()
{
    // One process: the locale is read at each opening; the texts' language does not count.
    // Version information compiled in, missing (null) or empty.
    const char* compiled = CompiledProductVersion();
    const struct
    {
        const char *regional, *interface, *version, *shown;
        int bitmap;
    } rows[] = {{"en_US.UTF-8", "", compiled, "1.00.01", 230}, {"ja_JP.UTF-8", "", nullptr, "0.00.01", 387},
                {"de_DE.UTF-8", "de", "", "0.00.01", 230},     {"de_AT.UTF-8", "en", compiled, "1.00.01", 331},
                {"zh_TW.UTF-8", "", compiled, "1.00.01", 261}, {"tr_TR.UTF-8", "", compiled, "1.00.01", 527},
                {"xx_YY", "", compiled, "1.00.01", 230}};
    for (const auto& row : rows) {
        qputenv("LC_ALL", row.regional);
        qputenv("LANGUAGE", row.interface);
        showabout box(nullptr, row.version);
        ModalWatcher watcher;
        box.exec();
        QCOMPARE(watcher.lastTexts.value(QStringLiteral("versionLabel"), QStringLiteral("<no box>")), row.shown);
        QVERIFY2(box.BackgroundId() == row.bitmap, row.regional);
        box.grab(); // the box may have been answered before its first paint
        QCOMPARE(box.BackgroundBitmap().size(), QSize(585, 218));
        QCOMPARE(box.BackgroundBitmap(), qvres::SkinBitmap(row.bitmap)); // painted as TestSkinWindow checks
    }
}

namespace {

// The ink of the light text in columns [left, right) of rows 125..184: its box, and its base
// line (the lowest row that carries at least a third of the fullest row's ink).
struct Ink
{
    QRect box;
    int baseLine = -1;
};

Ink LightInk(const QImage& image, int left, int right)
{
    Ink ink;
    QMap<int, int> rows;
    for (int y = 125; y < 185; ++y) {
        for (int x = left; x < right; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 170 && c.green() > 170 && c.blue() > 170) {
                ++rows[y];
                ink.box |= QRect(x, y, 1, 1);
            }
        }
    }
    int fullest = 0;
    for (int count : rows) {
        fullest = std::max(fullest, count);
    }
    for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
        if (3 * it.value() >= fullest) {
            ink.baseLine = it.key();
        }
    }
    return ink;
}

} // namespace

void TestAboutBox::versionStandsOnTheLabelsLine_data()
{
    QTest::addColumn<QByteArray>("regional");
    for (const char* locale : {"en_US.UTF-8", "ja_JP.UTF-8", "zh_TW.UTF-8", "zh_CN.UTF-8", "ko_KR.UTF-8", "ar_DZ.UTF-8",
                               "he_IL.UTF-8", "ru_RU.UTF-8", "de_AT.UTF-8", "hu_HU.UTF-8", "tr_TR.UTF-8"}) {
        QTest::newRow(locale) << QByteArray(locale);
    }
}

// The number the box writes sits on the base line of the picture's "Version:" label, a few
// pixels right of its end, in every language's picture.
void TestAboutBox::versionStandsOnTheLabelsLine()
{
    QFETCH(QByteArray, regional);
    qputenv("LC_ALL", regional);
    qputenv("LANGUAGE", "");
    showabout box(nullptr, CompiledProductVersion());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QImage shot = box.grab().toImage();
    box.reject();
    qunsetenv("LC_ALL");
    const Ink label = LightInk(shot, 10, 103);
    const Ink version = LightInk(shot, 103, 300);
    QVERIFY(label.baseLine > 0 && version.baseLine > 0);
    QVERIFY2(std::abs(label.baseLine - version.baseLine) <= 1,
             qPrintable(QStringLiteral("label on %1, version on %2").arg(label.baseLine).arg(version.baseLine)));
    const int gap = version.box.left() - label.box.right();
    QVERIFY2(gap >= 3 && gap <= 16, qPrintable(QStringLiteral("gap %1").arg(gap)));
}

void TestAboutBox::layout()
{
    showabout box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.size(), QSize(585, 218));
    auto* ok = box.findChild<CxSkinButton*>(QStringLiteral("okButton"));
    auto* version = box.findChild<QLabel*>(QStringLiteral("versionLabel"));
    QCOMPARE(ok->geometry(), QRect(442, 164, 110, 33));
    QCOMPARE(version->geometry(), QRect(103, 143, 291, 21));
    QCOMPARE(version->palette().color(QPalette::WindowText), QColor(Qt::white));
    QVERIFY(std::abs(QFontMetrics(version->font()).height() - 20) <= 1);
    QVERIFY(ok->hasFocus());
}

QTEST_MAIN(TestAboutBox)
#include "TestAboutBox.moc"
