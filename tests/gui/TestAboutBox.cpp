// The About box: the version number, the picture chosen by the regional locale, its layout.

#include "CxSkinButton.h"
#include "ModalWatcher.h"
#include "Resources.h"
#include "showabout.h"

#include <QLabel>
#include <QtTest>
#include <cstring>

namespace {

bool near(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) <= 8 && std::abs(a.green() - b.green()) <= 8 &&
           std::abs(a.blue() - b.blue()) <= 8;
}

QString shownVersion(const char* productVersion)
{
    showabout box(nullptr, productVersion);
    ModalWatcher watcher;
    box.exec();
    return watcher.lastTexts.value(QStringLiteral("versionLabel"), QStringLiteral("<no box>"));
}

} // namespace

class TestAboutBox : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        for (const char* name : {"LC_ALL", "LC_TIME", "LC_NUMERIC", "LC_MONETARY", "LANG", "LANGUAGE"}) {
            qunsetenv(name);
        }
    }

    void compiledVersion();
    void missingVersionShowsFallback();
    void versionText();
    void pictureByRegionalLocale_data();
    void pictureByRegionalLocale();
    void localeReadAtEachOpening();
    void layout();
};

void TestAboutBox::compiledVersion()
{
    QCOMPARE(QString::fromLatin1(CompiledProductVersion()), QStringLiteral("1.00.01"));
    QCOMPARE(shownVersion(CompiledProductVersion()), QStringLiteral("1.00.01"));
    showabout box;
    ModalWatcher watcher;
    box.exec();
    QCOMPARE(watcher.lastTexts.value(QStringLiteral("versionLabel")), QStringLiteral("1.00.01"));
}

void TestAboutBox::missingVersionShowsFallback()
{
    QCOMPARE(shownVersion(nullptr), QStringLiteral("0.00.01"));
    QCOMPARE(shownVersion(""), QStringLiteral("0.00.01"));
}

void TestAboutBox::versionText()
{
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    QCOMPARE(GetProductVersionText(buffer, nullptr), 0);
    QCOMPARE(buffer[0], 'x'); // untouched on failure
    QCOMPARE(buffer[31], 'x');
    QCOMPARE(GetProductVersionText(buffer, "2.10.07"), 1);
    QCOMPARE(QByteArray(buffer), QByteArray("2.10.07"));
    const QByteArray tooLong(40, '9');
    QCOMPARE(GetProductVersionText(buffer, tooLong.constData()), 1);
    QCOMPARE(QByteArray(buffer), tooLong.left(31)); // 31 characters and the terminator
}

void TestAboutBox::pictureByRegionalLocale_data()
{
    QTest::addColumn<QByteArray>("regional");
    QTest::addColumn<QByteArray>("interface");
    QTest::addColumn<int>("bitmap");
    QTest::newRow("US English") << QByteArray("en_US.UTF-8") << QByteArray() << 230;
    QTest::newRow("Japanese") << QByteArray("ja_JP.UTF-8") << QByteArray() << 387;
    QTest::newRow("German (Germany), German texts") << QByteArray("de_DE.UTF-8") << QByteArray("de") << 230;
    QTest::newRow("German (Austria)") << QByteArray("de_AT.UTF-8") << QByteArray("en") << 331;
    QTest::newRow("Traditional Chinese") << QByteArray("zh_TW.UTF-8") << QByteArray() << 261;
    QTest::newRow("Turkish, last block") << QByteArray("tr_TR.UTF-8") << QByteArray() << 527;
    QTest::newRow("English texts, Japanese region") << QByteArray("ja_JP.UTF-8") << QByteArray("en_US") << 387;
    QTest::newRow("unknown locale") << QByteArray("xx_YY") << QByteArray() << 230;
}

void TestAboutBox::pictureByRegionalLocale()
{
    QFETCH(QByteArray, regional);
    QFETCH(QByteArray, interface);
    QFETCH(int, bitmap);
    qputenv("LC_ALL", regional);
    qputenv("LANGUAGE", interface);
    showabout box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.BackgroundId(), bitmap);
    const QImage picture = qvres::SkinBitmap(bitmap);
    QCOMPARE(picture.size(), QSize(585, 218));
    const QImage shot = box.grab().toImage();
    // Points on the picture away from the version and the button.
    for (const QPoint p : {QPoint(40, 40), QPoint(200, 60), QPoint(300, 110), QPoint(560, 120), QPoint(60, 200)}) {
        QVERIFY2(near(shot.pixelColor(p), picture.pixelColor(p)),
                 qPrintable(QStringLiteral("%1,%2").arg(p.x()).arg(p.y())));
    }
}

void TestAboutBox::localeReadAtEachOpening()
{
    qputenv("LC_ALL", "ko_KR.UTF-8");
    {
        showabout box;
        box.show();
        QCOMPARE(box.BackgroundId(), 230 + 171);
    }
    qputenv("LC_ALL", "pl_PL.UTF-8");
    showabout box;
    box.show();
    QCOMPARE(box.BackgroundId(), 230 + 199);
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
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(version->palette().color(QPalette::WindowText), QColor(Qt::white));
    QVERIFY(std::abs(QFontMetrics(version->font()).height() - 20) <= 1);
    QVERIFY(!box.mask().contains(QPoint(0, 0)));
    QVERIFY(box.mask().contains(QPoint(8, 0)));
    QVERIFY(ok->hasFocus());
}

QTEST_MAIN(TestAboutBox)
#include "TestAboutBox.moc"
