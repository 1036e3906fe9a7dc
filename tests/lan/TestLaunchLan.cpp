// The main window in the test LAN with the real launch services: a real search finds two
// devices, and Configure, Browse and Create Desktop Shortcut start the recorder (as the
// browser through a desktop entry, and as xdg-open) or write the shortcut; device C's texts
// are shell words, which must arrive as plain text. Last, device B's host leaves the LAN:
// the warning comes after the two waits. Then device A's
// process is stopped: Configure warns at once and a new search lists device B alone.
// Run by test_launch.sh, which sets up the LAN, PATH, HOME and the recorder.
#include "BackgroundJobs.h"
#include "CSkinListCtrl.h"
#include "Cqv_discoveryDlg.h"
#include "FakeShares.h"
#include "LaunchTestSupport.h"
#include "ModalWatcher.h"
#include "Resources.h"

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QtTest>
#include <csignal>
#include <memory>

namespace {

using Argv = std::vector<std::string>;

std::string env(const char* name)
{
    return qEnvironmentVariable(name).toStdString();
}

} // namespace

class TestLaunchLan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void nothingWithoutASelection();
    void configureOpensTheBrowser();
    void shortcutOnTheDesktop();
    void browseOpensTheShare();
    void stoppedDeviceWarnsAndSearchesAgain();
    void switchedOffDeviceWarnsAfterTheWaits();

private:
    CSkinListCtrl* list(const char* name) { return m_window->findChild<CSkinListCtrl*>(QLatin1String(name)); }
    void click(const char* name)
    {
        auto* button = m_window->findChild<QAbstractButton*>(QLatin1String(name));
        button->setEnabled(true); // Browse is enabled by the share side; the command is tested here
        button->click();
    }
    int rowOf(const std::string& address)
    {
        CSkinListCtrl* devices = list("deviceListView");
        for (int row = 0; row < devices->GetItemCount(); ++row) {
            if (devices->GetItemText(row, 1).toStdString() == address) {
                return row;
            }
        }
        return -1;
    }
    std::vector<Argv> records() { return launchtest::readRecords(m_record); }

    std::string m_record = env("QV_RECORD");
    std::string m_addrA = env("QV_ADDR_A");
    std::string m_addrB = env("QV_ADDR_B");
    std::string m_addrC = env("QV_ADDR_C");
    std::string m_desktop = env("HOME") + "/Desktop";
    std::unique_ptr<ModalWatcher> m_watcher;
    std::unique_ptr<Cqv_discoveryDlg> m_window;
};

void TestLaunchLan::initTestCase()
{
    QVERIFY(!m_record.empty() && !m_addrA.empty() && !m_addrB.empty());
    m_watcher = std::make_unique<ModalWatcher>();
    m_window = std::make_unique<Cqv_discoveryDlg>();
    m_window->show();
    QTRY_VERIFY_WITH_TIMEOUT(list("deviceListView")->GetItemCount() == 3 && !m_window->IsSearching(), 20000);
    QVERIFY(rowOf(m_addrA) >= 0 && rowOf(m_addrB) >= 0 && rowOf(m_addrC) >= 0);
}

void TestLaunchLan::cleanupTestCase()
{
    if (m_window) {
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->IsSearching(), 20000);
    }
    m_window.reset();
}

void TestLaunchLan::nothingWithoutASelection()
{
    list("shareListView")->AppendRow(QStringLiteral("public"));
    list("shareListView")->SetSelectedRow(0);
    click("configureButton");
    click("browseButton");
    click("shortcutButton");
    QTest::qWait(300);
    QVERIFY(records().empty());
    QVERIFY(QDir(QString::fromStdString(m_desktop)).isEmpty());
    QVERIFY(m_watcher->seen.isEmpty());
}

void TestLaunchLan::configureOpensTheBrowser()
{
    const std::string browser = QVD_TEST_DATA_DIR "/launch/record-argv";
    list("deviceListView")->SetSelectedRow(rowOf(m_addrA));
    click("configureButton");
    // The browser starts from a background job: one page at a time keeps the order known.
    QCOMPARE(launchtest::waitForRecords(m_record, 1).size(), std::size_t{1});
    list("deviceListView")->SetSelectedRow(rowOf(m_addrB));
    click("configureButton");
    const auto got = launchtest::waitForRecords(m_record, 2);
    QCOMPARE(got, (std::vector<Argv>{
                      {browser, "--profile", "x y", "http://" + env("QV_HP_A") + "/setup"},
                      {browser, "--profile", "x y", "http://" + env("QV_HP_B") + "//cgi/index.html?x=%24(id)"}}));
    QVERIFY(m_watcher->seen.isEmpty());
}

void TestLaunchLan::shortcutOnTheDesktop()
{
    list("deviceListView")->SetSelectedRow(rowOf(m_addrA));
    click("shortcutButton");
    QTRY_COMPARE(BackgroundJobsRunning(), 0);
    const std::string file = m_desktop + "/QV Launch A (" + m_addrA + ").desktop";
    QCOMPARE(QString::fromStdString(launchtest::readFile(file)),
             QString::fromStdString("[Desktop Entry]\nVersion=1.0\nType=Link\nName=QV Launch A (" + m_addrA +
                                    ")\nURL=smb://" + m_addrA + "/\nIcon=qvlink-device-247\n"));
    QVERIFY(QFileInfo(QString::fromStdString(file)).permissions().testFlag(QFileDevice::ExeOwner));
    // The icon the entry names is in the user's icon folder.
    const QString icon =
        QStringLiteral("%1/icons/hicolor/48x48/apps/qvlink-device-247.png").arg(qEnvironmentVariable("XDG_DATA_HOME"));
    QVERIFY2(QFileInfo(icon).size() > 0, qPrintable(icon));
    // A name of shell words is a plain file name; its model's codes give the table's first icon.
    list("deviceListView")->SetSelectedRow(rowOf(m_addrC));
    click("shortcutButton");
    QTRY_COMPARE(BackgroundJobsRunning(), 0);
    const std::string shown = "-rf $(touch pwned) `touch pwned`;| \"q\" (" + m_addrC + ")";
    QCOMPARE(QString::fromStdString(launchtest::readFile(m_desktop + "/" + shown + ".desktop")),
             QString::fromStdString("[Desktop Entry]\nVersion=1.0\nType=Link\nName=" + shown + "\nURL=smb://" +
                                    m_addrC + "/\nIcon=qvlink-device-253\n"));
    QCOMPARE(QDir(QString::fromStdString(m_desktop)).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void TestLaunchLan::browseOpensTheShare()
{
    const std::size_t before = records().size();
    // Browse opens a folder of the device whose shares are listed. This LAN has no SMB server:
    // the listing comes from a fake lister, the program that opens the folder is real.
    fake::FakeShareServices shareFakes;
    shareFakes.lister.Script(m_addrB,
                             {{qvp::ShareListOk, {{"Media & Music", qvp::ShareTypeDisk, ""}}}, std::nullopt, {}});
    CSkinListCtrl* devices = list("deviceListView");
    QTest::mouseClick(devices->viewport(), Qt::LeftButton, {},
                      devices->visualItemRect(devices->topLevelItem(rowOf(m_addrB))).center());
    CSkinListCtrl* shares = list("shareListView");
    QTRY_COMPARE(shares->GetItemCount(), 1);
    shares->SetSelectedRow(0);
    click("browseButton");
    const auto got = launchtest::waitForRecords(m_record, before + 1);
    QCOMPARE(got.size(), before + 1);
    QCOMPARE(got.back(), (Argv{env("QV_BIN") + "/xdg-open", "smb://" + m_addrB + "/Media%20%26%20Music"}));
}

void TestLaunchLan::stoppedDeviceWarnsAndSearchesAgain()
{
    const pid_t device = static_cast<pid_t>(qEnvironmentVariableIntValue("QV_PID_A"));
    QVERIFY(device > 0);
    QCOMPARE(kill(device, SIGTERM), 0);
    // The script that started it reaps it later: ended is gone or a zombie.
    const auto ended = [device] {
        const std::string stat = launchtest::readFile("/proc/" + std::to_string(device) + "/stat");
        const std::size_t close = stat.rfind(')');
        return close == std::string::npos || stat.compare(close, 3, ") Z") == 0;
    };
    QTRY_VERIFY_WITH_TIMEOUT(ended(), 5000);
    const std::size_t before = records().size();
    QString text;
    qint64 shownAfter = -1;
    QElapsedTimer timer;
    m_watcher->onSeen = [&](QDialog& dialog) {
        shownAfter = timer.elapsed();
        text = static_cast<QMessageBox&>(dialog).text();
        const QString shots = qEnvironmentVariable("QV_SHOT_DIR");
        if (!shots.isEmpty()) {
            // On a display with a window manager, the box with its frame and caption.
            QTest::qWait(700);
            const QRect frame = dialog.frameGeometry();
            QPixmap shot = dialog.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
            if (shot.isNull()) {
                shot = dialog.grab();
            }
            shot.save(shots + QStringLiteral("/unavailable-warning.png"));
        }
    };
    list("deviceListView")->SetSelectedRow(rowOf(m_addrA));
    timer.start();
    click("configureButton");
    QCOMPARE(text, QStringLiteral("Device is no longer available."));
    qInfo("warning shown after %lld ms", shownAfter);
    QVERIFY(shownAfter >= 0 && shownAfter < 2500);
    QCOMPARE(records().size(), before); // no browser
    // The new search lists device B alone.
    QTRY_VERIFY_WITH_TIMEOUT(m_window->IsSearching(), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->IsSearching(), 20000);
    QCOMPARE(list("deviceListView")->GetItemCount(), 2);
    QCOMPARE(rowOf(m_addrA), -1);
    QVERIFY(rowOf(m_addrB) >= 0 && rowOf(m_addrC) >= 0);
}

void TestLaunchLan::switchedOffDeviceWarnsAfterTheWaits()
{
    // Device B's host leaves the LAN: no answer at all, not even a refusal.
    QCOMPARE(QProcess::execute(QStringLiteral("ip"),
                               {QStringLiteral("-n"), qEnvironmentVariable("QV_NS_B"), QStringLiteral("link"),
                                QStringLiteral("set"), qEnvironmentVariable("QV_IF_B"), QStringLiteral("down")}),
             0);
    QString text;
    qint64 shownAfter = -1;
    QElapsedTimer timer;
    m_watcher->onSeen = [&](QDialog& dialog) {
        shownAfter = timer.elapsed();
        text = static_cast<QMessageBox&>(dialog).text();
    };
    list("deviceListView")->SetSelectedRow(rowOf(m_addrB));
    timer.start();
    click("configureButton");
    QCOMPARE(text, QStringLiteral("Device is no longer available."));
    qInfo("warning shown after %lld ms", shownAfter);
    QVERIFY2(shownAfter >= 1900 && shownAfter < 3500, qPrintable(QString::number(shownAfter)));
    QTRY_VERIFY_WITH_TIMEOUT(m_window->IsSearching(), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->IsSearching(), 20000);
    QCOMPARE(list("deviceListView")->GetItemCount(), 1);
    QVERIFY(rowOf(m_addrC) == 0);
}

QTEST_MAIN(TestLaunchLan)
#include "TestLaunchLan.moc"
