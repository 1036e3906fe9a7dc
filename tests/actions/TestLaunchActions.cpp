// Configure, Browse and Create Desktop Shortcut on the real main window, with a scripted
// search and fake platform services: what each command starts or writes, the page-address
// and model-table rules, the availability waits and the warning's new search.
#include "BackgroundJobs.h"
#include "BrowseShare.h"
#include "CSkinListCtrl.h"
#include "ConfigureDevice.h"
#include "Cqv_discoveryDlg.h"
#include "DesktopShortcut.h"
#include "FakeLauncher.h"
#include "FakeReachability.h"
#include "FakeShares.h"
#include "LaunchServices.h"
#include "LaunchTestSupport.h"
#include "ModalWatcher.h"
#include "PaintCounter.h"
#include "Resources.h"
#include "RowRecord.h"
#include "SelectedHost.h"
#include "protocol.h"

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QtTest>
#include <atomic>
#include <memory>

namespace {

using Argv = std::vector<std::string>;

struct ScriptDevice
{
    std::string name, hostPort, modelNumber, presentationURL;
};

std::vector<ScriptDevice> script; // set while no search runs
std::atomic<bool> holdWorker{false};
std::atomic<int> workersStarted{0};

// The discovery worker of the window's searches: publishes the script as the worker does.
void ScriptedWorker()
{
    workersStarted.fetch_add(1, std::memory_order_relaxed); // a counter only
    qvd::DeviceList& list = qvd::deviceList();
    int index = 0;
    for (const ScriptDevice& device : script) {
        qvd::DeviceRecord& record = list.records[index];
        qvd::copyField(record.deviceType, "MediaServer", 11);
        qvd::copyField(record.manufacturer, "Halvren Storage Corporation", 27);
        qvd::copyField(record.friendlyName, device.name.data(), device.name.size());
        qvd::copyField(record.hostPort, device.hostPort.data(), device.hostPort.size());
        qvd::copyField(record.modelNumber, device.modelNumber.data(), device.modelNumber.size());
        qvd::copyField(record.presentationURL, device.presentationURL.data(), device.presentationURL.size());
        // Release: the record is complete before a reader sees the count that includes it.
        list.count.store(++index, std::memory_order_release);
    }
    // Acquire: pairs with the test's release of the hold (a plain flag; bounded to 10 s).
    for (int i = 0; i < 1000 && holdWorker.load(std::memory_order_acquire); ++i) {
        QThread::msleep(10);
    }
    // Release: the table is complete before the poller sees the search ended.
    list.done.store(1, std::memory_order_release);
}

// Each availability wait, scaled down; wide enough that a loaded machine keeps the three
// outcomes (at once, in the second wait, after both) apart.
constexpr int WaitMs = 400;

} // namespace

class TestLaunchActions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void pageAddressRules_data();
    void pageAddressRules();
    void modelTable_data();
    void modelTable();
    void recordBehindARow();
    void lateAnswerOfAnOlderCheck();

    void configureOpensTheBrowser_data();
    void configureOpensTheBrowser();
    void unavailableDeviceWarnsAndSearchesAgain_data();
    void unavailableDeviceWarnsAndSearchesAgain();
    void newSearchQueuesBehindARunningOne();
    void browsePassesTheShareUrl();
    void shortcutFiles();
    void nothingWithoutASelection();
    void lookupsLeaveTheWindowPainting();
    void shellQuotedExecLineGetsNoShellWords();

private:
    Cqv_discoveryDlg& open(std::vector<ScriptDevice> devices, bool hold = false)
    {
        script = std::move(devices);
        holdWorker.store(hold, std::memory_order_release);  // release: before the worker starts
        workersStarted.store(0, std::memory_order_relaxed); // a counter only
        m_watcher = std::make_unique<ModalWatcher>();
        m_window = std::make_unique<Cqv_discoveryDlg>(nullptr, ScriptedWorker);
        m_window->show();
        auto* list = m_window->findChild<CSkinListCtrl*>(QStringLiteral("deviceListView"));
        if (!QTest::qWaitFor([&] { return list->GetItemCount() == static_cast<int>(script.size()); }, 5000)) {
            qWarning("the devices were not listed");
        }
        if (!hold && !QTest::qWaitFor([&] { return !m_window->IsSearching(); }, 5000)) {
            qWarning("the first search did not end");
        }
        return *m_window;
    }
    CSkinListCtrl* list(const char* name) { return m_window->findChild<CSkinListCtrl*>(QLatin1String(name)); }
    QAbstractButton* button(const char* name) { return m_window->findChild<QAbstractButton*>(QLatin1String(name)); }
    void click(const char* name)
    {
        QAbstractButton* b = button(name);
        b->setEnabled(true); // the share side enables Browse; here the click itself is tested
        b->click();
    }
    std::string desktop() const { return m_dir->path() + "/Desktop"; }

    fake::FakeStarter m_starter;
    fake::FakeProbe m_probe;
    std::string m_browserId;
    // How long the browser and desktop folder lookups take (the desktop helpers can be slow).
    std::atomic<int> m_lookupDelayMs{0};
    std::unique_ptr<launchtest::TempDir> m_dir;
    std::unique_ptr<ModalWatcher> m_watcher;
    std::unique_ptr<Cqv_discoveryDlg> m_window;
};

void TestLaunchActions::initTestCase()
{
    qvd::timing().pollIntervalMs.store(10);
    m_dir = std::make_unique<launchtest::TempDir>();
    QVERIFY(QDir().mkpath(QString::fromStdString(desktop())));
    launchtest::writeFile(m_dir->path() + "/data/applications/web.desktop",
                          "[Desktop Entry]\nName=Web\nExec=/opt/web --new-tab \"%u\" %i\n");
    launchtest::writeFile(m_dir->path() + "/data/applications/shell.desktop",
                          "[Desktop Entry]\nName=Shell\nExec=sh -c \"browser '%u'\"\n");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(m_dir->path() + "/data"));
    qputenv("XDG_DATA_DIRS", QByteArray::fromStdString(m_dir->path() + "/none"));
    qunsetenv("BROWSER");
    LaunchServices& services = launchServices();
    services.starter = &m_starter;
    services.probe = &m_probe;
    services.browserId = [this] {
        QThread::msleep(static_cast<unsigned long>(m_lookupDelayMs.load()));
        return m_browserId;
    };
    services.desktopFolder = [this] {
        QThread::msleep(static_cast<unsigned long>(m_lookupDelayMs.load()));
        return desktop();
    };
    services.dataHome = [this] { return m_dir->path() + "/data"; };
    services.availabilityWaitMs = WaitMs;
}

void TestLaunchActions::cleanup()
{
    holdWorker.store(false, std::memory_order_release); // release: pairs with the worker's acquire
    if (m_window) {
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->IsSearching(), 5000);
    }
    m_window.reset();
    m_watcher.reset();
    m_starter.started.clear();
    m_starter.results.clear();
    m_probe.answer.store(true);
    m_probe.delayMs.store(0);
    m_probe.Clear();
    m_browserId.clear();
    QTRY_COMPARE(BackgroundJobsRunning(), 0);
    m_lookupDelayMs.store(0);
    QDir(QString::fromStdString(desktop())).removeRecursively();
    QVERIFY(QDir().mkpath(QString::fromStdString(desktop())));
}

void TestLaunchActions::pageAddressRules_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("hostPort");
    QTest::addColumn<QString>("presentation");
    QTest::addColumn<QString>("expected");
    QTest::newRow("absolute with the address: port and path kept") << "10.0.0.5"
                                                                   << "10.0.0.5:80"
                                                                   << "http://10.0.0.5:8080/setup"
                                                                   << "10.0.0.5:8080/setup";
    QTest::newRow("absolute elsewhere: the address alone") << "10.0.0.5"
                                                           << "10.0.0.5:80"
                                                           << "http://192.168.9.9/setup"
                                                           << "10.0.0.5";
    QTest::newRow("relative with a slash: both slashes") << "10.0.0.5"
                                                         << "10.0.0.5:49152"
                                                         << "/index.html"
                                                         << "10.0.0.5:49152//index.html";
    QTest::newRow("relative without a slash") << "10.0.0.5"
                                              << "10.0.0.5:80"
                                              << "cgi/x?a=1"
                                              << "10.0.0.5:80/cgi/x?a=1";
    QTest::newRow("empty") << "10.0.0.5"
                           << "10.0.0.5:80"
                           << ""
                           << "10.0.0.5";
    QTest::newRow("https is relative") << "10.0.0.5"
                                       << "10.0.0.5:80"
                                       << "https://10.0.0.5/"
                                       << "10.0.0.5:80/https://10.0.0.5/";
    QTest::newRow("http:// inside: the first seven characters go") << "10.0.0.5"
                                                                   << "10.0.0.5:80"
                                                                   << "go=http://10.0.0.5/"
                                                                   << "://10.0.0.5/";
    QTest::newRow("address as a prefix of another") << "10.0.0.5"
                                                    << "10.0.0.5:80"
                                                    << "http://10.0.0.55/"
                                                    << "10.0.0.55/";
}

void TestLaunchActions::pageAddressRules()
{
    QFETCH(QString, address);
    QFETCH(QString, hostPort);
    QFETCH(QString, presentation);
    QFETCH(QString, expected);
    qvd::DeviceRecord record{};
    const std::string hp = hostPort.toStdString();
    const std::string url = presentation.toStdString();
    qvd::copyField(record.hostPort, hp.data(), hp.size());
    qvd::copyField(record.presentationURL, url.data(), url.size());
    QCOMPARE(QString::fromStdString(MakePageAddress(address.toStdString(), record)), expected);
}

void TestLaunchActions::modelTable_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("icon");
    const char* const codes[] = {"KTA101", "KTA102", "KTA103", "KTA104", "KTA105", "KTA106", "KTA107", "KTA108",
                                 "KTA109", "KTB201", "KTB202", "KTB203", "KTA110", "KTC31",  "KTA111", "KTC32"};
    const int icons[] = {1, 1, 2, 2, 2, 3, 3, 4, 4, 5, 6, 7, 8, 8, 9, 9};
    for (int i = 0; i < 16; ++i) {
        QTest::newRow(codes[i]) << QStringLiteral("QV-%1-EU").arg(QLatin1String(codes[i])) << icons[i];
    }
    QTest::newRow("both: the table's order decides") << "KTA111 KTC31" << 8;
    QTest::newRow("KTC320 holds KTC32") << "KTC320" << 9;
    QTest::newRow("case matters") << "kta104" << 0;
    QTest::newRow("none") << "QV-0" << 0;
    QTest::newRow("no record") << "" << 0;
}

void TestLaunchActions::modelTable()
{
    QFETCH(QString, model);
    QFETCH(int, icon);
    QCOMPARE(IconIndexForModel(model.toLatin1().constData()), icon);
    if (icon > 0) {
        QCOMPARE(QString::fromStdString(DeviceIconName(icon)), QStringLiteral("qvlink-device-%1").arg(245 + icon));
    }
}

void TestLaunchActions::recordBehindARow()
{
    open({{"Alpha", "10.0.0.5:80", "KTA104", ""}, {"Beta", "10.0.0.6:80", "KTB201", ""}});
    const qvd::RowToRecord& map = m_window->RowToRecordTable();
    QCOMPARE(QByteArray(RecordForRow(map, 1).modelNumber), QByteArray("KTB201"));
    QCOMPARE(QByteArray(RecordForRow(map, 2).friendlyName), QByteArray()); // map entry -1
    QCOMPARE(QByteArray(RecordForRow(map, -1).friendlyName), QByteArray());
    QCOMPARE(QByteArray(RecordForRow(map, qvd::MaxListedDevices).friendlyName), QByteArray());
    qvd::RowToRecord stale;
    for (auto& entry : stale) {
        entry.store(-1);
    }
    stale[0].store(2); // an index at the table's count is not a record
    QCOMPARE(QByteArray(RecordForRow(stale, 0).friendlyName), QByteArray());
}

void TestLaunchActions::lateAnswerOfAnOlderCheck()
{
    const std::uint32_t older = AvailabilityFlag.Reset();
    const std::uint32_t current = AvailabilityFlag.Reset();
    AvailabilityFlag.Answer(older, true);
    QCOMPARE(AvailabilityFlag.Value(), 0);
    AvailabilityFlag.Answer(current, false);
    QCOMPARE(AvailabilityFlag.Value(), -1);
    AvailabilityFlag.Answer(current, true); // one answer per check
    QCOMPARE(AvailabilityFlag.Value(), -1);
    AvailabilityFlag.Reset();
    AvailabilityFlag.Answer(current, true);
    QCOMPARE(AvailabilityFlag.Value(), 0);
}

void TestLaunchActions::configureOpensTheBrowser_data()
{
    QTest::addColumn<QString>("browserId");
    QTest::addColumn<QList<int>>("results");
    QTest::addColumn<QStringList>("expected"); // the starts, argv joined by '|'
    // The probe is given the page address as it is; the browser, with "$" encoded.
    const QString url = QStringLiteral("http://10.0.0.5:8080/setup?a=%24(x)");
    QTest::newRow("desktop entry") << "web.desktop" << QList<int>{} << QStringList{"/opt/web|--new-tab|" + url};
    QTest::newRow("IE in the name: the opener") << "myIEweb.desktop" << QList<int>{} << QStringList{"xdg-open|" + url};
    QTest::newRow("no entry, no BROWSER: blank program, then the opener")
        << "none.desktop" << QList<int>{2} << QStringList{"|" + url, "xdg-open|" + url};
    for (int result : {3, 11}) {
        QTest::newRow(qPrintable(QStringLiteral("fallback after %1").arg(result)))
            << "web.desktop" << QList<int>{result} << QStringList{"/opt/web|--new-tab|" + url, "xdg-open|" + url};
    }
    QTest::newRow("other failures are not looked at")
        << "web.desktop" << QList<int>{0} << QStringList{"/opt/web|--new-tab|" + url};
}

void TestLaunchActions::configureOpensTheBrowser()
{
    QFETCH(QString, browserId);
    QFETCH(QList<int>, results);
    QFETCH(QStringList, expected);
    m_browserId = browserId.toStdString();
    m_starter.results.assign(results.begin(), results.end());
    open(
        {{"Other", "10.0.0.9:80", "", ""}, {"Alpha", "10.0.0.5:49152", "KTA104", "http://10.0.0.5:8080/setup?a=$(x)"}});
    list("deviceListView")->SetSelectedRow(1);
    QElapsedTimer timer;
    timer.start();
    click("configureButton");
    QVERIFY(timer.elapsed() < WaitMs); // an answer ends the first wait early
    QTRY_COMPARE(BackgroundJobsRunning(), 0);
    QStringList starts;
    for (const Argv& argv : m_starter.started) {
        QStringList args;
        for (const std::string& arg : argv) {
            args << QString::fromStdString(arg);
        }
        starts << args.join(QLatin1Char('|'));
    }
    QCOMPARE(starts, expected);
    QCOMPARE(m_probe.Asked(), (std::vector<std::string>{"10.0.0.5:8080/setup?a=$(x)"}));
    QCOMPARE(m_probe.Timeouts(), (std::vector<int>{2 * WaitMs}));
    QCOMPARE(QByteArray(SelectedHost), QByteArray("10.0.0.5:8080/setup?a=$(x)"));
    QVERIFY(m_watcher->seen.isEmpty());
    QCOMPARE(workersStarted.load(), 1);
}

void TestLaunchActions::unavailableDeviceWarnsAndSearchesAgain_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    QTest::newRow("refused: at once") << false << 0 << 0 << WaitMs;
    QTest::newRow("silent: after both waits") << true << 10 * WaitMs << 2 * WaitMs << 4 * WaitMs;
    QTest::newRow("answers in the second wait") << true << WaitMs + WaitMs / 2 << -1 << -1;
}

void TestLaunchActions::unavailableDeviceWarnsAndSearchesAgain()
{
    QFETCH(bool, answer);
    QFETCH(int, delayMs);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    m_browserId = "web.desktop";
    m_probe.answer.store(answer);
    m_probe.delayMs.store(delayMs);
    // A long address: SelectedHost keeps 63 bytes, the check gets all of it.
    const std::string longPath(100, 'p');
    open({{"Alpha", "10.0.0.5:80", "", "/" + longPath}});
    list("deviceListView")->SetSelectedRow(0);
    qint64 shownAfter = -1;
    QElapsedTimer timer;
    m_watcher->onSeen = [&](QDialog&) { shownAfter = timer.elapsed(); };
    timer.start();
    click("configureButton");
    const std::string page = "10.0.0.5:80//" + longPath;
    QCOMPARE(m_probe.Asked(), std::vector<std::string>{page});
    QCOMPARE(QByteArray(SelectedHost), QByteArray::fromStdString(page.substr(0, 63)));
    if (minMs < 0) {
        QTRY_COMPARE(BackgroundJobsRunning(), 0);
        QCOMPARE(m_starter.started.size(), std::size_t{1});
        QVERIFY(m_watcher->seen.isEmpty());
        return;
    }
    QVERIFY(m_starter.started.empty());
    QCOMPARE(m_watcher->seen, QStringList{QStringLiteral("QMessageBox")});
    auto* box = m_window->findChild<QMessageBox*>(QStringLiteral("unavailableWarning"));
    QVERIFY(box == nullptr); // closed and gone
    QVERIFY2(shownAfter >= minMs && shownAfter <= maxMs, qPrintable(QString::number(shownAfter)));
    QTRY_COMPARE(workersStarted.load(), 2);
    QTRY_VERIFY(!m_window->IsSearching());
    QCOMPARE(list("deviceListView")->GetItemCount(), 1);
}

void TestLaunchActions::newSearchQueuesBehindARunningOne()
{
    m_probe.answer.store(false);
    open({{"Alpha", "10.0.0.5:80", "", ""}}, true);
    QVERIFY(m_window->IsSearching());
    list("deviceListView")->SetSelectedRow(0);
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    m_watcher->onSeen = [&](QDialog& dialog) {
        auto& box = static_cast<QMessageBox&>(dialog);
        text = box.text();
        caption = box.windowTitle();
        icon = box.icon();
    };
    click("configureButton"); // returns while the first search still runs
    QCOMPARE(text, QStringLiteral("Device is no longer available."));
    QCOMPARE(caption, QStringLiteral("Warning"));
    QCOMPARE(icon, QMessageBox::Warning);
    QVERIFY(m_window->IsSearching());
    QTest::qWait(100);
    QCOMPARE(workersStarted.load(), 1);
    holdWorker.store(false, std::memory_order_release); // release: pairs with the worker's acquire
    QTRY_COMPARE(workersStarted.load(), 2);
    QTest::qWait(200);
    QCOMPARE(workersStarted.load(), 2); // one new search, not one per look
}

void TestLaunchActions::browsePassesTheShareUrl()
{
    // Browse opens a folder of the device whose shares are listed: Beta's, listed by a click.
    fake::FakeShareServices shareFakes;
    const std::string hostile = "-rf $(touch x);`id`|\"a b\"/../%\n\xc3\xa9";
    shareFakes.lister.Script(
        "10.0.0.6", {{qvp::ShareListOk, {{"public", qvp::ShareTypeDisk, ""}, {hostile, qvp::ShareTypeDisk, ""}}},
                     std::nullopt,
                     {}});
    open({{"Alpha", "10.0.0.5:80", "", ""}, {"Beta", "10.0.0.6:80", "", ""}});
    CSkinListCtrl* shares = list("shareListView");
    CSkinListCtrl* devices = list("deviceListView");
    QTest::mouseClick(devices->viewport(), Qt::LeftButton, {},
                      devices->visualItemRect(devices->topLevelItem(1)).center());
    QTRY_COMPARE(shares->GetItemCount(), 2);
    shares->SetSelectedRow(0);
    click("browseButton");
    shares->SetSelectedRow(1);
    click("browseButton");
    QCOMPARE(
        m_starter.started,
        (std::vector<Argv>{
            {"xdg-open", "smb://10.0.0.6/public"},
            {"xdg-open", "smb://10.0.0.6/-rf%20%24%28touch%20x%29%3B%60id%60%7C%22a%20b%22%2F..%2F%25%0A%C3%A9"}}));
    QVERIFY(m_probe.Asked().empty()); // no reachability check
    QCOMPARE(ShareUrl(QStringLiteral("fe80::1"), QStringLiteral("a")), std::string("smb://[fe80::1]/a"));
}

void TestLaunchActions::shortcutFiles()
{
    open({{"Living Room", "192.168.1.20:80", "QV-KTA104", ""},
          {"Living Room", "192.168.1.21:80", "QV-0", ""},
          {"../../escape", "192.168.1.22:80", "KTA101", ""},
          {"Odd $(touch x) `id`;|*?\"", "192.168.1.23:80", "KTC32", ""}});
    CSkinListCtrl* devices = list("deviceListView");
    for (int row = 0; row < 4; ++row) {
        devices->SetSelectedRow(row);
        click("shortcutButton");
    }
    QTRY_COMPARE(BackgroundJobsRunning(), 0);
    click("shortcutButton"); // the last one again: replaced
    QTRY_COMPARE(BackgroundJobsRunning(), 0);
    const QDir dir(QString::fromStdString(desktop()));
    QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
             (QStringList{"Living Room (192.168.1.20).desktop", "Living Room (192.168.1.21).desktop",
                          "Odd $(touch x) `id`;|*?\" (192.168.1.23).desktop"}));
    QCOMPARE(QString::fromStdString(launchtest::readFile(desktop() + "/Living Room (192.168.1.20).desktop")),
             QStringLiteral("[Desktop Entry]\nVersion=1.0\nType=Link\nName=Living Room (192.168.1.20)\n"
                            "URL=smb://192.168.1.20/\nIcon=qvlink-device-247\n"));
    QVERIFY(launchtest::readFile(desktop() + "/Living Room (192.168.1.21).desktop").find("Icon=") == std::string::npos);
    QVERIFY(launchtest::readFile(desktop() + "/Odd $(touch x) `id`;|*?\" (192.168.1.23).desktop")
                .ends_with("Icon=qvlink-device-254\n"));
    QVERIFY(!launchtest::exists(m_dir->path() + "/escape (192.168.1.22).desktop"));
    QVERIFY(!launchtest::exists(desktop() + "/x"));
    // The nine device icons, in every size, as the resources hold them.
    for (int size : {256, 128, 48, 32, 24, 16}) {
        for (int id = 246; id <= 254; ++id) {
            QFile exported(QStringLiteral("%1/data/icons/hicolor/%2x%2/apps/qvlink-device-%3.png")
                               .arg(QString::fromStdString(m_dir->path()))
                               .arg(size)
                               .arg(id));
            QFile resource(qvres::IconFile(id, size));
            QVERIFY2(exported.open(QIODevice::ReadOnly), qPrintable(exported.fileName()));
            QVERIFY(resource.open(QIODevice::ReadOnly));
            QCOMPARE(exported.readAll(), resource.readAll());
        }
    }
    QVERIFY(m_starter.started.empty());
}

void TestLaunchActions::nothingWithoutASelection()
{
    m_probe.answer.store(false);
    open({{"Alpha", "10.0.0.5:80", "KTA104", ""}});
    CSkinListCtrl* shares = list("shareListView");
    shares->AppendRow(QStringLiteral("public"));
    shares->SetSelectedRow(0);
    click("configureButton");
    click("browseButton");
    click("shortcutButton");
    list("deviceListView")->SetSelectedRow(0);
    shares->SetSelectedRow(-1);
    click("browseButton"); // a device but no share
    QTest::qWait(2 * WaitMs + 50);
    QCOMPARE(BackgroundJobsRunning(), 0);
    QVERIFY(m_starter.started.empty());
    QVERIFY(m_probe.Asked().empty());
    QVERIFY(m_watcher->seen.isEmpty());
    QVERIFY(QDir(QString::fromStdString(desktop())).isEmpty());
    QCOMPARE(workersStarted.load(), 1);
}

void TestLaunchActions::lookupsLeaveTheWindowPainting()
{
    constexpr int LookupMs = 1500;
    m_browserId = "web.desktop";
    m_lookupDelayMs.store(LookupMs);
    open({{"Alpha", "10.0.0.5:80", "KTA104", ""}});
    list("deviceListView")->SetSelectedRow(0);
    for (const char* button : {"configureButton", "shortcutButton"}) {
        QElapsedTimer timer;
        timer.start();
        click(button);
        // Back in the event loop long before the lookup has answered.
        QVERIFY2(timer.elapsed() < LookupMs / 2, button);
        QVERIFY(BackgroundJobsRunning() > 0);
        PaintCounter paints;
        m_window->installEventFilter(&paints);
        m_window->update();
        QTRY_VERIFY(paints.paints > 0);
        m_window->removeEventFilter(&paints);
        QTRY_COMPARE_WITH_TIMEOUT(BackgroundJobsRunning(), 0, 3 * LookupMs);
    }
    QCOMPARE(m_starter.started, (std::vector<Argv>{{"/opt/web", "--new-tab", "http://10.0.0.5"}}));
    QVERIFY(launchtest::exists(desktop() + "/Alpha (10.0.0.5).desktop"));
}

void TestLaunchActions::shellQuotedExecLineGetsNoShellWords()
{
    m_browserId = "shell.desktop";
    open({{"Alpha", "10.0.0.5:80", "", "http://10.0.0.5/x'$(touch y)`id`\\ \"q"}});
    list("deviceListView")->SetSelectedRow(0);
    click("configureButton");
    QTRY_COMPARE(BackgroundJobsRunning(), 0);
    QCOMPARE(m_starter.started,
             (std::vector<Argv>{{"sh", "-c", "browser 'http://10.0.0.5/x%27%24(touch%20y)%60id%60%5C%20%22q'"}}));
}

QTEST_MAIN(TestLaunchActions)
#include "TestLaunchActions.moc"
