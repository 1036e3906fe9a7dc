// The two language decisions: the About picture offset from the regional locale, and the
// string table from the interface language, both read from the POSIX locale variables.

#include "Cqv_discoveryDlg.h"
#include "FakeDiscovery.h"
#include "Language.h"
#include "ModalWatcher.h"
#include "protocol.h"

#include <QtTest>

class TestLanguage : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        for (const char* name : {"LC_ALL", "LC_TIME", "LC_NUMERIC", "LC_MONETARY", "LC_MESSAGES", "LANG", "LANGUAGE"}) {
            qunsetenv(name);
        }
    }
    void cleanupTestCase() { init(); }

    void regionalOffset_data();
    void regionalOffset();
    void localeTextParsing_data();
    void localeTextParsing();
    void variablePrecedence();
    void stringLookupOrder_data();
    void stringLookupOrder();
    void windowTextsFollowInterfaceLanguage();
};

void TestLanguage::regionalOffset_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<int>("languageId");
    QTest::addColumn<int>("offset");
    // Every entry of the offset table.
    QTest::newRow("zh") << QByteArray("zh") << 0x0004 << 255;
    QTest::newRow("zh_CN") << QByteArray("zh_CN.UTF-8") << 0x0804 << 255;
    QTest::newRow("zh_TW") << QByteArray("zh_TW.UTF-8") << 0x0404 << 31;
    QTest::newRow("zh_Hant") << QByteArray("zh_Hant") << 0x7C04 << 31;
    QTest::newRow("ar_DZ") << QByteArray("ar_DZ.UTF-8") << 0x1401 << 45;
    QTest::newRow("cs_CZ") << QByteArray("cs_CZ.UTF-8") << 0x0405 << 59;
    QTest::newRow("nl_BE") << QByteArray("nl_BE.UTF-8") << 0x0813 << 73;
    QTest::newRow("fr_BE@euro") << QByteArray("fr_BE.UTF-8@euro") << 0x080C << 87;
    QTest::newRow("de_AT") << QByteArray("de_AT.UTF-8") << 0x0C07 << 101;
    QTest::newRow("he_IL") << QByteArray("he_IL.UTF-8") << 0x040D << 115;
    QTest::newRow("hu_HU") << QByteArray("hu_HU") << 0x040E << 129;
    QTest::newRow("it_IT") << QByteArray("it_IT.ISO-8859-1") << 0x0410 << 143;
    QTest::newRow("ja_JP") << QByteArray("ja_JP.eucJP") << 0x0411 << 157;
    QTest::newRow("ko_KR") << QByteArray("ko_KR.UTF-8") << 0x0412 << 171;
    QTest::newRow("no_NO") << QByteArray("no_NO") << 0x0414 << 185;
    QTest::newRow("pl_PL") << QByteArray("pl_PL.UTF-8") << 0x0415 << 199;
    QTest::newRow("pt_BR") << QByteArray("pt_BR.UTF-8") << 0x0416 << 213;
    QTest::newRow("pt_PT") << QByteArray("pt_PT.UTF-8") << 0x0816 << 227;
    QTest::newRow("ru_RU") << QByteArray("ru_RU.UTF-8") << 0x0419 << 241;
    QTest::newRow("es_AR") << QByteArray("es_AR.UTF-8") << 0x2C0A << 269;
    QTest::newRow("sv_FI") << QByteArray("sv_FI.UTF-8") << 0x081D << 283;
    QTest::newRow("tr_TR") << QByteArray("tr_TR.UTF-8") << 0x041F << 297;
    QTest::newRow("BCP 47 spelling") << QByteArray("de-AT") << 0x0C07 << 101;
    // The main locales of languages with a block have none themselves.
    QTest::newRow("de_DE") << QByteArray("de_DE.UTF-8") << 0x0407 << 0;
    QTest::newRow("es_ES") << QByteArray("es_ES.UTF-8") << 0x0C0A << 0;
    QTest::newRow("zh_HK") << QByteArray("zh_HK.UTF-8") << 0x0C04 << 0;
    QTest::newRow("C") << QByteArray("C.UTF-8") << 0x0409 << 0;
    QTest::newRow("unknown territory") << QByteArray("fr_XX") << 0x040C << 0;
    QTest::newRow("unknown language") << QByteArray("xx_YY.UTF-8") << 0 << 0;
    QTest::newRow("garbage") << QByteArray("!!") << 0 << 0;
}

void TestLanguage::regionalOffset()
{
    QFETCH(QByteArray, locale);
    QFETCH(int, languageId);
    QFETCH(int, offset);
    QCOMPARE(LanguageIdFromLocaleName(locale), languageId);
    qputenv("LC_ALL", locale);
    QCOMPARE(GetLanguageOffset(), offset);
}

void TestLanguage::localeTextParsing_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("offset");
    QTest::newRow("lower case") << QByteArray("0c07") << 101;
    QTest::newRow("upper case") << QByteArray("7C04") << 31;
    QTest::newRow("leading blanks") << QByteArray("  \t0411") << 157;
    QTest::newRow("stops at non-hex") << QByteArray("0804zz") << 255;
    QTest::newRow("short form") << QByteArray("4") << 255;
    QTest::newRow("leading zeros") << QByteArray("000000000c07") << 101;
    QTest::newRow("huge saturates") << QByteArray("ffffffffffffffff0c07") << 0;
    QTest::newRow("not hex") << QByteArray("xyz") << 0;
    QTest::newRow("empty") << QByteArray("") << 0;
}

void TestLanguage::localeTextParsing()
{
    QFETCH(QByteArray, text);
    QFETCH(int, offset);
    QCOMPARE(LanguageOffsetFromText(text.constData()), offset);
}

void TestLanguage::variablePrecedence()
{
    // The picture follows LC_ALL, LC_TIME, ..., LANG; empty counts as unset.
    qputenv("LANG", "ja_JP.UTF-8");
    QCOMPARE(GetLanguageOffset(), 157);
    qputenv("LC_TIME", "de_AT.UTF-8");
    qputenv("LC_ALL", "");
    QCOMPARE(GetLanguageOffset(), 101);
    qputenv("LC_ALL", "ko_KR.UTF-8");
    qputenv("LANGUAGE", "ru_RU"); // the interface language does not choose the picture
    qputenv("LC_MESSAGES", "ru_RU");
    QCOMPARE(GetLanguageOffset(), 171);
    // The texts follow the first known entry of LANGUAGE, then LC_ALL, LC_MESSAGES, LANG.
    QCOMPARE(InterfaceLanguageId(), 0x0419);
    qputenv("LANGUAGE", "xx:de_DE:fr");
    QCOMPARE(InterfaceLanguageId(), 0x0407);
    qputenv("LANGUAGE", "::");
    QCOMPARE(InterfaceLanguageId(), 0x0412);
    qunsetenv("LC_ALL");
    QCOMPARE(InterfaceLanguageId(), 0x0419);
    qunsetenv("LC_MESSAGES");
    QCOMPARE(InterfaceLanguageId(), 0x0411);
    qunsetenv("LANG");
    QCOMPARE(InterfaceLanguageId(), 0); // LC_TIME does not choose the texts
}

void TestLanguage::stringLookupOrder_data()
{
    QTest::addColumn<int>("languageId");
    QTest::addColumn<QString>("refresh");
    QTest::newRow("0x0407 via primary 7") << 0x0407 << QStringLiteral("Aktualisieren");
    QTest::newRow("0x0C07 via primary 7") << 0x0C07 << QStringLiteral("Aktualisieren");
    QTest::newRow("exact 1028, not primary 4") << 0x0404 << QStringLiteral("重新整理");
    QTest::newRow("exact 2052") << 0x0804 << QStringLiteral("刷新");
    QTest::newRow("zh_HK: no table, no primary") << 0x0C04 << QStringLiteral("Refresh");
    QTest::newRow("primary 29 of sv_FI") << 0x081D << QStringLiteral("Uppdatera");
    QTest::newRow("en_GB falls to 1033") << 0x0809 << QStringLiteral("Refresh");
    QTest::newRow("unknown") << 0 << QStringLiteral("Refresh");
}

void TestLanguage::stringLookupOrder()
{
    QFETCH(int, languageId);
    QFETCH(QString, refresh);
    QCOMPARE(LoadStringFor(languageId, 125), refresh);
    QVERIFY(LoadStringFor(languageId, 9999).isEmpty());
    QCOMPARE(LoadStringFor(languageId, 110), QStringLiteral("&About QV Link"));
}

void TestLanguage::windowTextsFollowInterfaceLanguage()
{
    qputenv("LANG", "en_US.UTF-8");
    qputenv("LANGUAGE", "de_DE");
    qvd::timing().pollIntervalMs.store(5);
    fake::SetScript({});
    ModalWatcher watcher;
    Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
    QCOMPARE(window.ControlById(qvd::IdRefreshButton)->property("text").toString(), QStringLiteral("Aktualisieren"));
    QCOMPARE(window.findChild<QWidget*>(QStringLiteral("deviceHeading"))->property("text").toString(),
             QStringLiteral("Netzwerkspeicher gefunden"));
    // The search ends with the no-device box, in German too.
    QTRY_COMPARE(watcher.seen, QStringList{QStringLiteral("CMsgBox")});
    QCOMPARE(watcher.lastTexts.value(QStringLiteral("textLabel")), LoadStringFor(7, 130));
    QTRY_VERIFY(!window.IsSearching());
}

QTEST_MAIN(TestLanguage)
#include "TestLanguage.moc"
