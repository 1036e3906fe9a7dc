// The two language decisions: the About picture offset from the regional locale, and the
// string table from the interface language, both read from the POSIX locale variables.

#include "CSkinListCtrl.h"
#include "CSkinVerticleScrollbar.h"
#include "ConfigureDevice.h"
#include "Cqv_discoveryDlg.h"
#include "FakeDiscovery.h"
#include "Language.h"
#include "LaunchServices.h"
#include "ModalWatcher.h"
#include "NamedText.h"
#include "Resources.h"
#include "protocol.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QtTest>

class TestLanguage : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        for (const char* name : {"LC_ALL", "LC_TIME", "LC_NUMERIC", "LC_MONETARY", "LC_MESSAGES", "LANG", "LANGUAGE"})
            qunsetenv(name);
    }
    void cleanupTestCase() { init(); }

    // First, while no string table has been read in this process.
    void onlyTheTablesOfTheLookupAreRead();
    void regionalOffset();
    void localeTextParsing();
    void variablePrecedence();
    void stringLookupOrder();
    void windowTextsFollowInterfaceLanguage();
    void namedTextLookupOrder();
    void namedWindowTextsFollowInterfaceLanguage();
    void headingsFitInEveryLanguage();
};

void TestLanguage::onlyTheTablesOfTheLookupAreRead()
{
    QCOMPARE(qvres::LoadedStringTables(), QList<int>());
    // German (Austria) has no table of its own: its primary language's table serves it, and
    // the exact table's absence costs no read.
    qputenv("LANGUAGE", "de_AT");
    QCOMPARE(LoadAppString(125), QStringLiteral("Aktualisieren"));
    QCOMPARE(qvres::LoadedStringTables(), QList<int>{7});
    // An id no table has: still only that table.
    QVERIFY(LoadAppString(9999).isEmpty());
    QCOMPARE(qvres::LoadedStringTables(), QList<int>{7});
    // The language changes between lookups (Danish: neither table exists): US English now.
    qputenv("LANGUAGE", "da_DK");
    QCOMPARE(LoadAppString(125), QStringLiteral("Refresh"));
    QCOMPARE(qvres::LoadedStringTables(), QList<int>({7, 1033}));
    // And back: the table read first still answers.
    qputenv("LANGUAGE", "de_DE");
    QCOMPARE(LoadAppString(113), QStringLiteral("Netzwerkspeicher"));
    QCOMPARE(qvres::LoadedStringTables(), QList<int>({7, 1033}));
}

void TestLanguage::regionalOffset()
{
    // Every entry of the offset table in the spellings the variables carry (BCP 47 too), then
    // main locales of languages with a block, which have none themselves, and unknowns.
    const struct
    {
        const char* locale;
        int languageId, offset;
    } rows[] = {{"zh", 0x0004, 255},          {"zh_CN.UTF-8", 0x0804, 255},
                {"zh_TW.UTF-8", 0x0404, 31},  {"zh_Hant", 0x7C04, 31},
                {"ar_DZ.UTF-8", 0x1401, 45},  {"cs_CZ.UTF-8", 0x0405, 59},
                {"nl_BE.UTF-8", 0x0813, 73},  {"fr_BE.UTF-8@euro", 0x080C, 87},
                {"de_AT.UTF-8", 0x0C07, 101}, {"he_IL.UTF-8", 0x040D, 115},
                {"hu_HU", 0x040E, 129},       {"it_IT.ISO-8859-1", 0x0410, 143},
                {"ja_JP.eucJP", 0x0411, 157}, {"ko_KR.UTF-8", 0x0412, 171},
                {"no_NO", 0x0414, 185},       {"pl_PL.UTF-8", 0x0415, 199},
                {"pt_BR.UTF-8", 0x0416, 213}, {"pt_PT.UTF-8", 0x0816, 227},
                {"ru_RU.UTF-8", 0x0419, 241}, {"es_AR.UTF-8", 0x2C0A, 269},
                {"sv_FI.UTF-8", 0x081D, 283}, {"tr_TR.UTF-8", 0x041F, 297},
                {"de-AT", 0x0C07, 101},       {"de_DE.UTF-8", 0x0407, 0},
                {"es_ES.UTF-8", 0x0C0A, 0},   {"zh_HK.UTF-8", 0x0C04, 0},
                {"C.UTF-8", 0x0409, 0},       {"fr_XX", 0x040C, 0},
                {"xx_YY.UTF-8", 0, 0},        {"!!", 0, 0}};
    for (const auto& row : rows) {
        QCOMPARE(LanguageIdFromLocaleName(row.locale), row.languageId);
        qputenv("LC_ALL", row.locale);
        QVERIFY2(GetLanguageOffset() == row.offset, row.locale);
    }
}

void TestLanguage::localeTextParsing()
{
    // A huge value saturates rather than wrapping onto a table entry.
    const std::pair<const char*, int> rows[] = {
        {"0c07", 101}, {"7C04", 31},          {"  \t0411", 157},           {"0804zz", 255},
        {"4", 255},    {"000000000c07", 101}, {"ffffffffffffffff0c07", 0}, {"xyz", 0},
        {"", 0}};
    for (const auto& [text, offset] : rows)
        QVERIFY2(LanguageOffsetFromText(text) == offset, text);
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

void TestLanguage::stringLookupOrder()
{
    // Exact table, else the primary language's, else US English.
    const std::pair<int, const char*> rows[] = {
        {0x0407, "Aktualisieren"}, {0x0C07, "Aktualisieren"}, {0x0404, "重新整理"}, {0x0804, "刷新"},
        {0x0C04, "Refresh"},       {0x081D, "Uppdatera"},     {0x0809, "Refresh"},  {0, "Refresh"}};
    for (const auto& [languageId, refresh] : rows) {
        QCOMPARE(LoadStringFor(languageId, 125), QString::fromUtf8(refresh));
        QVERIFY(LoadStringFor(languageId, 9999).isEmpty());
    }
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
    QCOMPARE(window.ControlById(qvd::IdDeviceHeading)->property("text").toString(), QStringLiteral("Netzwerkspeicher"));
    // The search ends with the no-device box, in German too.
    QTRY_COMPARE(watcher.seen, QStringList{QStringLiteral("CMsgBox")});
    QCOMPARE(watcher.lastTexts.value(QStringLiteral("textLabel")), LoadStringFor(7, 130));
    QTRY_VERIFY(!window.IsSearching());
}

void TestLanguage::namedTextLookupOrder()
{
    // Exact table, else the primary language's, else US English, as for the numbered texts.
    const std::pair<int, const char*> rows[] = {{0x0407, "Abbrechen"}, {0x0C07, "Abbrechen"}, {0x0404, "取消"},
                                                {0x0804, "取消"},      {0x0C04, "Cancel"},    {0x081D, "Avbryt"},
                                                {0x0809, "Cancel"},    {0x0416, "Cancelar"},  {0x0816, "Cancelar"},
                                                {0x041F, "İptal"},     {0, "Cancel"}};
    for (const auto& [languageId, cancel] : rows) {
        QCOMPARE(qvres::NamedTextFor(languageId, qvres::text::ButtonCancel), QString::fromUtf8(cancel));
        QVERIFY(qvres::NamedTextFor(languageId, "no.such.text").isEmpty());
    }
    QCOMPARE(qvres::NamedTextFor(0x0816, qvres::text::CredentialsPassword), QStringLiteral("&Palavra-passe:"));
    QCOMPARE(qvres::NamedTextFor(0x0416, qvres::text::CredentialsPassword), QStringLiteral("&Senha:"));
    // The process-wide language: what the device actions speak.
    qvres::SetInterfaceLanguage(0x0419);
    QCOMPARE(qvres::InterfaceLanguage(), 0x0419);
    QCOMPARE(qvres::NamedText(qvres::text::WarningTitle), QStringLiteral("Предупреждение"));
    qvres::SetInterfaceLanguage(0);
    QCOMPARE(qvres::NamedText(qvres::text::WarningTitle), QStringLiteral("Warning"));
    // The window's own lookup follows the variables, as its numbered texts do.
    qputenv("LANGUAGE", "fr_CA");
    QCOMPARE(LoadAppText(qvres::text::MenuClose), QStringLiteral("&Fermer"));
}

// Under LANGUAGE=de the texts without a number are German too: the names read out for the
// title-bar buttons, the animation and the scroll bars, the window menu, and the warning that
// the device actions show, with its button.
void TestLanguage::namedWindowTextsFollowInterfaceLanguage()
{
    qputenv("LANG", "en_US.UTF-8");
    qputenv("LANGUAGE", "de");
    qvd::timing().pollIntervalMs.store(5);
    fake::SetScript({fake::MakerDevice("Alpha", "10.0.0.1")});
    ModalWatcher watcher;
    Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
    const auto accessible = [&window](const char* name) {
        return window.findChild<QWidget*>(QString::fromLatin1(name))->accessibleName();
    };
    QCOMPARE(accessible("closeButton"), QStringLiteral("Schließen"));
    QCOMPARE(accessible("minimiseButton"), QStringLiteral("Minimieren"));
    QCOMPARE(accessible("searchAnimation"), QStringLiteral("Suche läuft"));
    auto* devices = window.findChild<CSkinListCtrl*>(QStringLiteral("deviceListView"));
    QCOMPARE(devices->GetVerticalBar()->accessibleName(), QStringLiteral("Bildlaufleiste für Netzwerkspeicher"));
    QStringList menu;
    for (QAction* action : window.SystemMenu()->actions()) {
        if (!action->isSeparator()) {
            menu << action->text();
        }
    }
    QCOMPARE(menu, QStringList({"&Wiederherstellen", "&Verschieben", "&Größe ändern", "Mi&nimieren", "Ma&ximieren",
                                "&Schließen", "&About QV Link"}));

    window.show();
    QTRY_VERIFY(!window.IsSearching());
    launchServices().availabilityWaitMs = 10;
    QString shown;
    watcher.onSeen = [&shown](QDialog& dialog) {
        auto* box = qobject_cast<QMessageBox*>(&dialog);
        QVERIFY(box != nullptr);
        shown = box->windowTitle() + "|" + box->text() + "|" + box->button(QMessageBox::Ok)->text();
    };
    // No answer within the waits: the warning, in the window's language.
    AvailabilityFlag.Reset();
    QCOMPARE(WaitForDeviceAvailable(&window, {}), 0);
    QCOMPARE(shown, QStringLiteral("Warnung|Das Gerät ist nicht mehr verfügbar.|OK"));
    // And the About box's title.
    watcher.onSeen = [&shown](QDialog& dialog) { shown = dialog.windowTitle(); };
    QTest::mouseClick(window.findChild<QWidget*>(QStringLiteral("aboutButton")), Qt::LeftButton);
    QCOMPARE(shown, QStringLiteral("Über QV Link"));
}

// The headings and the drive-letter label are one line of fixed size: every language's text
// fits on it in the window's own font, or the label cuts it off.
void TestLanguage::headingsFitInEveryLanguage()
{
    fake::SetScript({}, 0, true);
    ModalWatcher watcher; // the search's no-device box
    Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
    const std::pair<const char*, int> labels[] = {
        {"deviceHeading", 113}, {"shareHeading", 116}, {"driveLetterLabel", 119}};
    for (const auto& [name, stringId] : labels) {
        const auto* label = window.findChild<QLabel*>(QString::fromLatin1(name));
        QVERIFY(label != nullptr);
        const QFontMetrics metrics(label->font());
        const QRect room = label->contentsRect();
        QVERIFY2(metrics.height() <= room.height(), name);
        for (int table : qvres::StringTableIds()) {
            const QString text = qvres::TableString(table, stringId);
            const int width = metrics.horizontalAdvance(text);
            QVERIFY2(width <= room.width(),
                     qPrintable(QStringLiteral("%1 in %2: \"%3\" is %4 pixels wide, the label %5")
                                    .arg(QLatin1String(name))
                                    .arg(table)
                                    .arg(text)
                                    .arg(width)
                                    .arg(room.width())));
        }
    }
    fake::Release();
    QTRY_VERIFY(!window.IsSearching());
}

QTEST_MAIN(TestLanguage)
#include "TestLanguage.moc"
