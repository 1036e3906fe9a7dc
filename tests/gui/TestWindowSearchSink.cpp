// The window's side of the search: calls from the search thread wait until the window's thread
// has carried them out, and never outlive the window.

#include "CSkinListCtrl.h"
#include "Cqv_discoveryDlg.h"
#include "FakeDiscovery.h"
#include "ModalWatcher.h"
#include "WindowSearchSink.h"
#include "protocol.h"

#include <QtTest>
#include <chrono>
#include <future>
#include <memory>

// Whether the calls have returned within ms, waited for without running the event loop.
static bool returned(const std::future<void>& calls, int ms)
{
    return calls.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
}

class TestWindowSearchSink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qvd::timing().pollIntervalMs.store(10); }
    void init()
    {
        // The window's own search holds until released, so it never touches what is tested.
        fake::SetScript({}, 0, true);
        m_watcher = std::make_unique<ModalWatcher>();
        m_window = std::make_unique<Cqv_discoveryDlg>(nullptr, fake::WorkerEntry);
        // Its worker starts only after every preparing call has been carried out.
        QTRY_COMPARE(fake::StartedWorkers(), 1);
    }
    void cleanup()
    {
        fake::Release();
        if (m_window) {
            QTRY_VERIFY(!m_window->IsSearching());
        }
        QTRY_COMPARE(fake::FinishedWorkers(), 1);
        m_window.reset();
        m_watcher.reset();
    }

    void callWaitsForTheWindowThread();
    void closedSinkDoesNothing();
    void pendingCallEndsWhenTheWindowGoes();

private:
    std::unique_ptr<ModalWatcher> m_watcher;
    std::unique_ptr<Cqv_discoveryDlg> m_window;
};

void TestWindowSearchSink::callWaitsForTheWindowThread()
{
    WindowSearchSink sink(m_window.get());
    const std::future<void> caller = std::async(std::launch::async, [&] {
        sink.appendDeviceRow("Name \xc3\xa9", "10.1.2.3");
        sink.appendDeviceRow("Smith &amp; Sons &#x42;ackup &bogus;", "10.1.2.4");
        sink.setControlEnabled(qvd::IdMapDriveButton, true);
    });
    // Without the window's thread running, the call cannot have been carried out, so it waits.
    QVERIFY(!returned(caller, 100));
    QTRY_VERIFY(returned(caller, 0));
    QVERIFY(m_window->ControlById(qvd::IdMapDriveButton)->isEnabled());
    auto* list = qobject_cast<CSkinListCtrl*>(m_window->ControlById(qvd::IdDeviceList));
    QCOMPARE(list->GetItemText(0, 0) + "|" + list->GetItemText(0, 1), QStringLiteral("Name é|10.1.2.3"));
    // The cells show character references resolved; unknown ones as sent.
    QCOMPARE(list->GetItemText(1, 0), QStringLiteral("Smith & Sons Backup &bogus;"));
}

void TestWindowSearchSink::closedSinkDoesNothing()
{
    WindowSearchSink sink(m_window.get());
    sink.Close();
    const std::future<void> caller = std::async(std::launch::async, [&] {
        sink.setControlEnabled(qvd::IdBrowseButton, true);
        sink.setControlVisible(qvd::IdSearchAnimation, true);
        sink.animationPlay();
        sink.showNoDeviceBox();
    });
    const bool withoutTheWindowThread = returned(caller, 2000);
    QTRY_VERIFY(returned(caller, 0)); // should it wait after all, let it end before failing
    QVERIFY(withoutTheWindowThread);
    QCoreApplication::processEvents(); // nothing was posted either
    QVERIFY(!m_window->ControlById(qvd::IdBrowseButton)->isEnabled());
    QVERIFY(m_watcher->seen.isEmpty());
}

void TestWindowSearchSink::pendingCallEndsWhenTheWindowGoes()
{
    WindowSearchSink sink(m_window.get());
    const std::future<void> caller = std::async(std::launch::async, [&] { sink.clearList(qvd::IdDeviceList); });
    QVERIFY(!returned(caller, 50)); // posted, not yet run
    // The window goes before its thread ever ran the call: the caller is let go all the same.
    sink.Close();
    m_window.reset();
    QVERIFY(returned(caller, 2000));
}

QTEST_MAIN(TestWindowSearchSink)
#include "TestWindowSearchSink.moc"
