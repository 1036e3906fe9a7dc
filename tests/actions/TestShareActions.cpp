// The share actions in the real main window, on fakes of the platform: the drive-letter box,
// the share rows and their Location, superseded clicks and Map Drive (the credentials path is in
// TestCredentials).
#include "BackgroundJobs.h"
#include "CMsgBox.h"
#include "CSkinListCtrl.h"
#include "Cqv_discoveryDlg.h"
#include "DriveLetters.h"
#include "FakeDiscovery.h"
#include "FakeLauncher.h"
#include "FakeReachability.h"
#include "FakeShares.h"
#include "LaunchServices.h"
#include "ModalWatcher.h"
#include "SelectedHost.h"
#include "ShareActions.h"
#include "ShareWindowFixture.h"
#include "protocol.h"

#include <QComboBox>
#include <QtTest>
#include <memory>

using TypeMap = QMap<QString, unsigned>;

namespace {

const std::string NasA = "10.77.0.2";
const std::string NasB = "10.77.0.3";

qvp::ShareEntry Disk(const std::string& name, const std::string& remark = {})
{
    return {name, qvp::ShareTypeDisk, remark};
}

qvp::ShareListResult Listing(std::vector<qvp::ShareEntry> entries)
{
    return {qvp::ShareListOk, std::move(entries)};
}

QStringList Items(const QComboBox& box)
{
    QStringList items;
    for (int i = 0; i < box.count(); ++i) {
        items << box.itemText(i);
    }
    return items;
}

QStringList Letters(char from, char to)
{
    QStringList letters;
    for (char c = from; c <= to; ++c) {
        letters << QStringLiteral("%1:").arg(QLatin1Char(c));
    }
    return letters;
}

// The share list as "name=location" texts.
QStringList Rows(const CSkinListCtrl& list)
{
    QStringList rows;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        rows << list.GetItemText(row, 0) + QLatin1Char('=') + list.GetItemText(row, 1);
    }
    return rows;
}

} // namespace

class TestShareActions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void driveLetterBox_data();
    void driveLetterBox();
    void shareRowsAndLocation_data();
    void shareRowsAndLocation();
    void emptyClickAndKeyboard();
    void newerClickWins();
    void mapDrive_data();
    void mapDrive();
    void versionRefusalChangesNothing();
    void mapTheListedDevice();
    void browseTheListedDevice();
    void listingAnsweredAfterASearchStarted_data();
    void listingAnsweredAfterASearchStarted();
    void lateLocationMatchesTheListedHost();

private:
    void OpenWindow();
    void Click(int row);
    CSkinListCtrl* List(const char* name) { return m_window->findChild<CSkinListCtrl*>(QString::fromLatin1(name)); }
    ShareActions* Actions() { return m_window->findChild<ShareActions*>(QStringLiteral("shareActions")); }

    QWidget* Control(const char* name) { return m_window->findChild<QWidget*>(QString::fromLatin1(name)); }

    fake::FakeStarter m_starter;
    fake::FakeProbe m_probe;
    std::unique_ptr<fake::FakeShareServices> m_fakes;
    std::unique_ptr<Cqv_discoveryDlg> m_window;
    std::unique_ptr<ModalWatcher> m_watcher;
};

void TestShareActions::initTestCase()
{
    qvd::timing().pollIntervalMs.store(10);
    LaunchServices& services = launchServices();
    services.starter = &m_starter;
    services.probe = &m_probe;
    services.browserId = [] { return std::string(); };
    services.availabilityWaitMs = 100;
}

void TestShareActions::init()
{
    m_fakes = std::make_unique<fake::FakeShareServices>();
    m_fakes->driveTypes.types = {{"C:", qvp::DriveFixed}};
}

void TestShareActions::cleanup()
{
    fake::CloseShareWindow(m_window, m_watcher, m_fakes);
    m_starter.started.clear();
    m_probe.answer.store(true);
    // Taking the probe's lock orders the check threads' records before their destruction.
    m_probe.Clear();
}

void TestShareActions::OpenWindow()
{
    fake::SetScript({fake::MakerDevice("Nas A", NasA + ":80"), fake::MakerDevice("Nas B", NasB + ":80")});
    m_window = std::make_unique<Cqv_discoveryDlg>(nullptr, fake::WorkerEntry);
    m_watcher = std::make_unique<ModalWatcher>();
    m_window->show();
    QTRY_COMPARE(List("deviceListView")->GetItemCount(), 2);
    QTRY_VERIFY(!m_window->IsSearching());
}

void TestShareActions::Click(int row)
{
    CSkinListCtrl* list = List("deviceListView");
    const QRect rect = row >= 0 ? list->visualItemRect(list->topLevelItem(row)) : QRect(5, 120, 1, 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

void TestShareActions::driveLetterBox_data()
{
    QTest::addColumn<TypeMap>("types");
    QTest::addColumn<QStringList>("connected"); // "G:host\\share"
    QTest::addColumn<QStringList>("offered");

    QTest::newRow("C fixed, D CD-ROM") << TypeMap{{"C:", 3}, {"D:", 5}} << QStringList() << Letters('E', 'Z');
    QTest::newRow("removable and RAM disk") << TypeMap{{"C:", 3}, {"F:", 2}, {"R:", 6}, {"A:", 1}} << QStringList()
                                            << (Letters('D', 'E') + Letters('G', 'Q') + Letters('S', 'Z'));
    QTest::newRow("remote and unknown types count")
        << TypeMap{{"C:", 3}, {"E:", 4}, {"F:", 0}} << QStringList() << Letters('D', 'Z');
    QStringList all;
    for (char c = 'D'; c <= 'Z'; ++c) {
        all << QStringLiteral("%1:h\\s%1").arg(QLatin1Char(c));
    }
    QTest::newRow("every letter from C taken") << TypeMap{{"C:", 3}} << all << QStringList();
    QTest::newRow("a letter of another server is not offered")
        << TypeMap{{"C:", 3}} << QStringList{"G:10.0.0.9\\music"} << (Letters('D', 'F') + Letters('H', 'Z'));
}

void TestShareActions::driveLetterBox()
{
    QFETCH(TypeMap, types);
    QFETCH(QStringList, connected);
    QFETCH(QStringList, offered);
    m_fakes->driveTypes.types.clear();
    for (auto it = types.begin(); it != types.end(); ++it) {
        m_fakes->driveTypes.types[it.key().toStdString()] = it.value();
    }
    for (const QString& line : connected) {
        const QStringList parts = line.mid(2).split(QLatin1Char('\\'));
        m_fakes->connections.Set(line[0].toLatin1(), parts[0].toStdString(), parts[1].toStdString());
    }
    RefreshDriveLetterTable();
    QComboBox box;
    box.addItem(QStringLiteral("stale"));
    FillDriveLetterBox(box);
    QCOMPARE(Items(box), offered);
    QCOMPARE(box.currentIndex(), offered.isEmpty() ? -1 : 0);
    QCOMPARE(QString::fromLatin1(DriveLetterTable[0].localName), QStringLiteral("Z:"));
    QCOMPARE(QString::fromLatin1(DriveLetterTable[25].localName), QStringLiteral("A:"));
}

void TestShareActions::shareRowsAndLocation_data()
{
    QTest::addColumn<std::vector<qvp::ShareEntry>>("entries");
    QTest::addColumn<QStringList>("rows");

    const std::vector<qvp::ShareEntry> mixed = {
        Disk("public", "Public files"),
        Disk("config", "System Configuration"),
        {"admin$", qvp::ShareTypeDisk | qvp::ShareTypeSpecial, ""},
        {"laser", qvp::ShareTypePrinter, "Printer"},
        {"print$", qvp::ShareTypeDisk | qvp::ShareTypeSpecial, ""},
        {"IPC$", qvp::ShareTypeIpc | qvp::ShareTypeSpecial, "IPC Service"},
        Disk("media", "system configuration"),
        Disk("music"),
        Disk("caf\xC3\xA9"),
    };
    QTest::newRow("filter and locations")
        << mixed << QStringList{"public=G:", "media=", "music=", QString::fromUtf8("café=M:")};
    QTest::newRow("only the configuration share")
        << std::vector<qvp::ShareEntry>{Disk("cfg", "System Configuration")} << QStringList();
    QTest::newRow("hostile names are plain rows")
        << std::vector<qvp::ShareEntry>{Disk("a\"b'c"), Disk("../up"), Disk(std::string(127, 'x')), Disk("bad\xFF")}
        << QStringList{"a\"b'c=", "../up=", QString(127, QLatin1Char('x')) + "=",
                       QStringLiteral("bad") + QChar::ReplacementCharacter + "="};
}

void TestShareActions::shareRowsAndLocation()
{
    QFETCH(std::vector<qvp::ShareEntry>, entries);
    QFETCH(QStringList, rows);
    // public on both G: and K: shows G:; music on another server's X: shows nothing.
    m_fakes->connections.Set('K', NasA, "public");
    m_fakes->connections.Set('G', NasA, "public");
    m_fakes->connections.Set('X', "10.0.0.9", "music");
    m_fakes->connections.Set('M', NasA, "caf\xC3\xA9");
    m_fakes->connections.Set('N', "Nas A", "media"); // by friendly name: not matched on a click
    m_fakes->lister.Script(NasA, {Listing(entries), std::nullopt, {}});
    OpenWindow();
    QCOMPARE(Items(*m_window->findChild<QComboBox*>("driveLetterBox")).contains("K:"), false);
    Click(0);
    QTRY_VERIFY(!Actions()->IsListing());
    QCOMPARE(Rows(*List("shareListView")), rows);
    QCOMPARE(QByteArray(SelectedHost), QByteArray::fromStdString(NasA));
    const bool enabled = !rows.isEmpty();
    QCOMPARE(m_window->findChild<QWidget*>("mapDriveButton")->isEnabled(), enabled);
    QCOMPARE(m_window->findChild<QWidget*>("browseButton")->isEnabled(), enabled);
}

void TestShareActions::emptyClickAndKeyboard()
{
    m_fakes->lister.Script(NasA, {Listing({Disk("public")}), std::nullopt, {}});
    m_fakes->lister.Script(NasB, {Listing({Disk("other")}), std::nullopt, {}});
    OpenWindow();
    Click(0);
    QTRY_COMPARE(Rows(*List("shareListView")), QStringList{"public="});
    // The keyboard moves the selection without listing.
    QTest::keyClick(List("deviceListView"), Qt::Key_Down);
    QCOMPARE(List("deviceListView")->GetSelectedRow(), 1);
    QTest::qWait(50);
    QCOMPARE(Rows(*List("shareListView")), QStringList{"public="});
    QCOMPARE(m_fakes->lister.requests.size(), 1U);
    // An empty part of the list: no row, no listing, buttons off.
    List("deviceListView")->clearSelection();
    Click(-1);
    QTRY_VERIFY(!Actions()->IsListing());
    QCOMPARE(List("shareListView")->GetItemCount(), 0);
    QVERIFY(!m_window->findChild<QWidget*>("mapDriveButton")->isEnabled());
    QCOMPARE(QByteArray(SelectedHost), QByteArray());
    QCOMPARE(m_fakes->lister.requests.size(), 1U);
}

void TestShareActions::newerClickWins()
{
    m_fakes->lister.Script(NasA, {Listing({Disk("from-a")}), std::nullopt, {}});
    m_fakes->lister.Script(NasB, {Listing({Disk("from-b")}), std::nullopt, {}});
    OpenWindow();
    m_fakes->lister.Hold();
    Click(0);
    Click(1);
    // The newer answer arrives first, then the older one: the older one is dropped.
    m_fakes->lister.ReleaseHost(NasB);
    QTRY_COMPARE(Rows(*List("shareListView")), QStringList{"from-b="});
    m_fakes->lister.ReleaseHost(NasA);
    QTest::qWait(100);
    QCOMPARE(Rows(*List("shareListView")), QStringList{"from-b="});
    // And the other way round: the older answer comes while the newer is still out.
    Click(0);
    Click(1);
    m_fakes->lister.ReleaseAll();
    QTRY_VERIFY(!Actions()->IsListing());
    QTest::qWait(50);
    QCOMPARE(Rows(*List("shareListView")), QStringList{"from-b="});
}

void TestShareActions::mapDrive_data()
{
    QTest::addColumn<bool>("mountOk");
    QTest::addColumn<int>("shareRow");
    QTest::addColumn<QStringList>("rowsAfter");
    QTest::addColumn<QString>("box"); // kind and text of the box shown
    QTest::addColumn<QString>("connections");

    // public is on G:; media is on N: under the device's friendly name.
    const QString before = "G: \\\\10.77.0.2\\public\nN: \\\\Nas%20A\\media\n";
    QTest::newRow("move G to K") << true << 1 << QStringList{"docs=", "public=K:", "media=N:"}
                                 << "0 Successfully mapped drive to K:"
                                 << "K: \\\\10.77.0.2\\public\nN: \\\\Nas%20A\\media\n";
    QTest::newRow("rows above the selected one untouched")
        << true << 2 << QStringList{"docs=", "public=G:", "media=K:"} << "0 Successfully mapped drive to K:"
        << "K: \\\\10.77.0.2\\media\nN: \\\\Nas%20A\\media\nG: \\\\10.77.0.2\\public\n";
    QTest::newRow("failed mount loses nothing")
        << false << 1 << QStringList{"docs=", "public=G:", "media="} << "1 Failed to map drive." << before;
}

void TestShareActions::mapDrive()
{
    QFETCH(bool, mountOk);
    QFETCH(int, shareRow);
    QFETCH(QStringList, rowsAfter);
    QFETCH(QString, box);
    QFETCH(QString, connections);
    m_fakes->connections.Set('G', NasA, "public");
    m_fakes->connections.Set('N', "Nas A", "media");
    m_fakes->bookmarks.text = "file:///home/u/Music Music\nsmb://10.77.0.2/public G: public on 10.77.0.2\n";
    m_fakes->mounter.succeed = mountOk;
    m_fakes->lister.Script(NasA, {Listing({Disk("docs"), Disk("public"), Disk("media")}), std::nullopt, {}});
    OpenWindow();
    Click(0);
    QTRY_COMPARE(List("shareListView")->GetItemCount(), 3);
    // Location by address only on the click: media's N: (by name) is not shown yet.
    QCOMPARE(Rows(*List("shareListView")), (QStringList{"docs=", "public=G:", "media="}));
    List("shareListView")->SetSelectedRow(shareRow);
    auto* letters = m_window->findChild<QComboBox*>("driveLetterBox");
    QVERIFY(!Items(*letters).contains("G:"));
    letters->setCurrentIndex(letters->findText("K:"));
    QString shownBox;
    m_watcher->onSeen = [&](QDialog& dialog) {
        auto* msg = qobject_cast<CMsgBox*>(&dialog);
        QVERIFY(msg != nullptr);
        shownBox = QString::number(msg->kind) + " " + msg->text;
    };
    QSignalSpy finished(Actions(), &ShareActions::mapFinished);
    QTest::mouseClick(m_window->findChild<QWidget*>("mapDriveButton"), Qt::LeftButton);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), mountOk);
    QCOMPARE(shownBox, box);
    QCOMPARE(m_fakes->mounter.mounts,
             std::vector<std::string>{NasA + "/" + List("shareListView")->GetItemText(shareRow, 0).toStdString()});
    QCOMPARE(Rows(*List("shareListView")), rowsAfter);
    // The file as the real store would write it, in letter order.
    const std::string text = qvp::formatConnections(m_fakes->connections.snapshot);
    QStringList wanted = connections.split('\n', Qt::SkipEmptyParts);
    wanted.sort();
    QCOMPARE(QString::fromStdString(text).split('\n', Qt::SkipEmptyParts), wanted);
    if (mountOk && shareRow == 1) {
        QCOMPARE(m_fakes->bookmarks.text,
                 std::string("file:///home/u/Music Music\nsmb://10.77.0.2/public K: public on 10.77.0.2\n"));
        QVERIFY(Items(*letters).contains("G:"));
        QVERIFY(!Items(*letters).contains("K:"));
        QVERIFY(m_fakes->mounter.unmounts.empty()); // the share is still used, by K:
    } else if (!mountOk) {
        QCOMPARE(m_fakes->connections.saves, 0);
        QVERIFY(!Items(*letters).contains("G:"));
    }
}

void TestShareActions::versionRefusalChangesNothing()
{
    m_fakes->connections.Set('G', NasA, "public");
    m_fakes->version.record = qvp::OsVersionRecord{2, 4, 0, 1381}; // "Windows NT 4"
    m_fakes->lister.Script(NasA, {Listing({Disk("public")}), std::nullopt, {}});
    OpenWindow();
    Click(0);
    QTRY_COMPARE(List("shareListView")->GetItemCount(), 1);
    List("shareListView")->SetSelectedRow(0);
    QSignalSpy finished(Actions(), &ShareActions::mapFinished);
    QTest::mouseClick(m_window->findChild<QWidget*>("mapDriveButton"), Qt::LeftButton);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(m_watcher->seen, QStringList{"CMsgBox"});
    QVERIFY(m_fakes->mounter.mounts.empty());
    QCOMPARE(m_fakes->connections.saves, 0);
    // Every 6.x version is "Vista", which maps.
    m_fakes->version.record = qvp::OsVersionRecord{2, 6, 1, 7601};
    char name[64];
    GetWindowsVersionName(name, sizeof name);
    QCOMPARE(QByteArray(name), QByteArray("Vista"));
    QTest::mouseClick(m_window->findChild<QWidget*>("mapDriveButton"), Qt::LeftButton);
    QTRY_COMPARE(finished.size(), 2);
    QCOMPARE(finished.at(1).at(0).toBool(), true);
    QCOMPARE(m_fakes->mounter.mounts.size(), 1U);
}

// The keyboard moves the selection without listing, so the share list still shows the device
// clicked before: Map Drive and Browse act on that device, and its name finds its letters.
void TestShareActions::mapTheListedDevice()
{
    m_fakes->connections.Set('G', NasA, "public");
    m_fakes->connections.Set('N', "Nas A", "docs");
    m_fakes->lister.Script(NasA, {Listing({Disk("public"), Disk("docs")}), std::nullopt, {}});
    m_fakes->lister.Script(NasB, {Listing({Disk("public")}), std::nullopt, {}});
    OpenWindow();
    Click(0);
    QTRY_COMPARE(Rows(*List("shareListView")), (QStringList{"public=G:", "docs="}));
    QTest::keyClick(List("deviceListView"), Qt::Key_Down);
    QCOMPARE(List("deviceListView")->GetSelectedRow(), 1);
    QCOMPARE(Actions()->ListedHost(), QString::fromStdString(NasA));
    QCOMPARE(Actions()->ListedName(), QStringLiteral("Nas A"));

    List("shareListView")->SetSelectedRow(0);
    auto* letters = m_window->findChild<QComboBox*>("driveLetterBox");
    letters->setCurrentIndex(letters->findText("K:"));
    QSignalSpy finished(Actions(), &ShareActions::mapFinished);
    QTest::mouseClick(Control("mapDriveButton"), Qt::LeftButton);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(m_fakes->mounter.mounts, std::vector<std::string>{NasA + "/public"});
    QVERIFY(m_fakes->mounter.unmounts.empty()); // A's folder moved to K:, still mounted
    QCOMPARE(QByteArray(SelectedHost), QByteArray::fromStdString(NasA));
    QCOMPARE(
        QString::fromStdString(qvp::formatConnections(m_fakes->connections.snapshot)).split('\n', Qt::SkipEmptyParts),
        (QStringList{"K: \\\\10.77.0.2\\public", "N: \\\\Nas%20A\\docs"}));
    // Rows from the mapped one down, by the listed device's address and name.
    QCOMPARE(Rows(*List("shareListView")), (QStringList{"public=K:", "docs=N:"}));
}

void TestShareActions::browseTheListedDevice()
{
    m_fakes->lister.Script(NasA, {Listing({Disk("public"), Disk("docs")}), std::nullopt, {}});
    OpenWindow();
    Click(0);
    QTRY_COMPARE(List("shareListView")->GetItemCount(), 2);
    QTest::keyClick(List("deviceListView"), Qt::Key_Down);
    List("shareListView")->SetSelectedRow(1);
    QTest::mouseClick(Control("browseButton"), Qt::LeftButton);
    QCOMPARE(m_starter.started, (std::vector<std::vector<std::string>>{{"xdg-open", "smb://10.77.0.2/docs"}}));
}

void TestShareActions::listingAnsweredAfterASearchStarted_data()
{
    QTest::addColumn<bool>("byWarning"); // the search of the unavailable-device warning, else Refresh
    QTest::newRow("Refresh") << false;
    QTest::newRow("unavailable-device warning") << true;
}

// A search empties the share list and disables Map Drive and Browse; a listing that answers
// after it started belongs to nothing shown and changes neither.
void TestShareActions::listingAnsweredAfterASearchStarted()
{
    QFETCH(bool, byWarning);
    m_fakes->connections.Set('G', NasA, "public");
    m_fakes->lister.Script(NasA, {Listing({Disk("public")}), std::nullopt, {}});
    OpenWindow();
    m_fakes->lister.Hold();
    Click(0);
    QVERIFY(Actions()->IsListing());
    if (byWarning) {
        m_probe.answer.store(false);
        QTest::mouseClick(Control("configureButton"), Qt::LeftButton);
        QCOMPARE(m_watcher->seen, QStringList{"QMessageBox"});
    } else {
        QTest::mouseClick(Control("refreshButton"), Qt::LeftButton);
    }
    QVERIFY(m_window->IsSearching());
    QTRY_VERIFY(!m_window->IsSearching());
    QCOMPARE(List("deviceListView")->GetItemCount(), 2);
    m_fakes->lister.ReleaseAll();
    QTRY_VERIFY(!Actions()->IsListing());
    QTest::qWait(100);
    QCOMPARE(List("shareListView")->GetItemCount(), 0);
    QVERIFY(!Control("mapDriveButton")->isEnabled());
    QVERIFY(!Control("browseButton")->isEnabled());
    QVERIFY(Actions()->ListedHost().isEmpty());
    // The next click lists as ever.
    Click(0);
    QTRY_COMPARE(Rows(*List("shareListView")), QStringList{"public=G:"});
    QVERIFY(Control("mapDriveButton")->isEnabled());
}

// Configure writes SelectedHost while a listing is out; the answer's letters are still those of
// the device that was asked.
void TestShareActions::lateLocationMatchesTheListedHost()
{
    m_fakes->connections.Set('G', NasA, "public");
    m_fakes->lister.Script(NasA, {Listing({Disk("public")}), std::nullopt, {}});
    OpenWindow();
    m_fakes->lister.Hold();
    Click(0);
    QTest::keyClick(List("deviceListView"), Qt::Key_Down);
    QTest::mouseClick(Control("configureButton"), Qt::LeftButton);
    QCOMPARE(QByteArray(SelectedHost), QByteArray::fromStdString(NasB));
    QTRY_COMPARE(BackgroundJobsRunning(), 0);
    QCOMPARE(m_starter.started.size(), 1U); // B's page went to the browser
    QCOMPARE(m_probe.Asked().size(), 1U);
    m_fakes->lister.ReleaseAll();
    QTRY_VERIFY(!Actions()->IsListing());
    QCOMPARE(Rows(*List("shareListView")), QStringList{"public=G:"});
    QVERIFY(Control("mapDriveButton")->isEnabled());
}

QTEST_MAIN(TestShareActions)
#include "TestShareActions.moc"
