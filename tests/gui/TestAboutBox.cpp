// The About box: the version number, the picture chosen by the regional locale, its layout.

#include "CxSkinButton.h"
#include "ModalWatcher.h"
#include "Resources.h"
#include "showabout.h"

#include <QLabel>
#include <QtTest>
#include <cstring>
#include <memory>

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

    void versionShown_data();
    void versionShown();
    void versionText();
    void pictureByRegionalLocale_data();
    void pictureByRegionalLocale();
    void layout();
};

void TestAboutBox::versionShown_data()
{
    QTest::addColumn<bool>("compiled");
    QTest::addColumn<QByteArray>("given"); // null: no version information at all
    QTest::addColumn<QString>("shown");
    QTest::newRow("compiled in") << true << QByteArray() << "1.00.01";
    QTest::newRow("missing") << false << QByteArray() << "0.00.01";
    QTest::newRow("empty") << false << QByteArray("") << "0.00.01";
}

void TestAboutBox::versionShown()
{
    QFETCH(bool, compiled);
    QFETCH(QByteArray, given);
    QFETCH(QString, shown);
    auto box = compiled ? std::make_unique<showabout>() : std::make_unique<showabout>(nullptr, given.constData());
    ModalWatcher watcher;
    box->exec();
    QCOMPARE(watcher.lastTexts.value(QStringLiteral("versionLabel"), QStringLiteral("<no box>")), shown);
}

void TestAboutBox::versionText()
{
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    QCOMPARE(GetProductVersionText(buffer, nullptr), 0);
    QVERIFY(buffer[0] == 'x' && buffer[31] == 'x'); // untouched on failure
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
    QTest::newRow("German (Austria), English texts") << QByteArray("de_AT.UTF-8") << QByteArray("en") << 331;
    QTest::newRow("Korean") << QByteArray("ko_KR.UTF-8") << QByteArray() << 401;
    QTest::newRow("Traditional Chinese") << QByteArray("zh_TW.UTF-8") << QByteArray() << 261;
    QTest::newRow("Turkish, last block") << QByteArray("tr_TR.UTF-8") << QByteArray() << 527;
    QTest::newRow("unknown locale") << QByteArray("xx_YY") << QByteArray() << 230;
}

void TestAboutBox::pictureByRegionalLocale()
{
    // Rows run one after another in one process: the locale is read at each opening.
    QFETCH(QByteArray, regional);
    QFETCH(QByteArray, interface);
    QFETCH(int, bitmap);
    qputenv("LC_ALL", regional);
    qputenv("LANGUAGE", interface);
    showabout box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.BackgroundId(), bitmap);
    box.grab();
    QCOMPARE(box.BackgroundBitmap().size(), QSize(585, 218));
    QCOMPARE(box.BackgroundBitmap(), qvres::SkinBitmap(bitmap)); // painted as TestSkinWindow checks
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
