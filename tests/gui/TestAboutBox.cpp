// The About box: the version number, the picture chosen by the regional locale, its layout.

#include "CxSkinButton.h"
#include "ModalWatcher.h"
#include "Resources.h"
#include "showabout.h"

#include <QLabel>
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
