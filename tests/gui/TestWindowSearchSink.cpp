// The window's side of the search: calls from the search thread wait until the window's thread
// has carried them out, and never outlive the window.

#include "CSkinListCtrl.h"
#include "Cqv_discoveryDlg.h"
#include "FakeDiscovery.h"
#include "ModalWatcher.h"
#include "WindowSearchSink.h"
#include "protocol.h"

#include <QtTest>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Waits for flag without running the window's event loop.
bool waitWithoutEvents(const std::atomic<bool>& flag, int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        // Acquire: pairs with the release store of the calling thread.
        if (flag.load(std::memory_order_acquire)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

} // namespace

class TestWindowSearchSink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qvd::timing().pollIntervalMs.store(10); }
    void cleanup() { fake::Release(); }

    void callWaitsForTheWindowThread();
    void closedSinkDoesNothing();
    void pendingCallEndsWhenTheWindowGoes();
};

void TestWindowSearchSink::callWaitsForTheWindowThread()
{
    fake::SetScript({}, 0, true);
    ModalWatcher watcher;
    Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
    QTRY_VERIFY(!window.ControlById(qvd::IdRefreshButton)->isEnabled()); // its own search is under way
    WindowSearchSink sink(&window);
    std::atomic<bool> returned{false};
    std::thread caller([&] {
        sink.appendDeviceRow("Name \xc3\xa9", "10.1.2.3");
        sink.setControlEnabled(qvd::IdMapDriveButton, true);
        // Release: the test thread may look at the window once it sees this.
        returned.store(true, std::memory_order_release);
    });
    // Without the window's thread running, the call cannot have been carried out, so it waits.
    QVERIFY(!waitWithoutEvents(returned, 100));
    QTRY_VERIFY(returned.load(std::memory_order_acquire));
    caller.join();
    QVERIFY(window.ControlById(qvd::IdMapDriveButton)->isEnabled());
    auto* list = qobject_cast<CSkinListCtrl*>(window.ControlById(qvd::IdDeviceList));
    QVERIFY(list != nullptr);
    QCOMPARE(list->GetItemText(0, 0), QStringLiteral("Name é"));
    QCOMPARE(list->GetItemText(0, 1), QStringLiteral("10.1.2.3"));
    fake::Release();
    QTRY_VERIFY(!window.IsSearching());
}

void TestWindowSearchSink::closedSinkDoesNothing()
{
    fake::SetScript({}, 0, true);
    ModalWatcher watcher;
    Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
    WindowSearchSink sink(&window);
    sink.Close();
    std::atomic<bool> returned{false};
    std::thread caller([&] {
        sink.setControlEnabled(qvd::IdBrowseButton, true);
        sink.setControlVisible(qvd::IdSearchAnimation, true);
        sink.animationPlay();
        sink.showNoDeviceBox();
        // Release: pairs with the test thread's acquire.
        returned.store(true, std::memory_order_release);
    });
    QVERIFY(waitWithoutEvents(returned, 2000));
    caller.join();
    QCoreApplication::processEvents();
    QVERIFY(!window.ControlById(qvd::IdBrowseButton)->isEnabled());
    QVERIFY(watcher.seen.isEmpty());
    fake::Release();
    QTRY_VERIFY(!window.IsSearching());
}

void TestWindowSearchSink::pendingCallEndsWhenTheWindowGoes()
{
    fake::SetScript({}, 0, true);
    auto* window = new Cqv_discoveryDlg(nullptr, fake::WorkerEntry);
    auto sink = std::make_shared<WindowSearchSink>(window);
    std::atomic<bool> returned{false};
    std::thread caller([&] {
        sink->clearList(qvd::IdDeviceList);
        // Release: pairs with the test thread's acquire.
        returned.store(true, std::memory_order_release);
    });
    QVERIFY(!waitWithoutEvents(returned, 50)); // posted, not yet run
    // The window goes before its thread ever ran the call: the caller is let go all the same.
    sink->Close();
    delete window;
    QVERIFY(waitWithoutEvents(returned, 2000));
    caller.join();
    fake::Release();
    QTRY_COMPARE(fake::FinishedWorkers(), 1);
}

QTEST_MAIN(TestWindowSearchSink)
#include "TestWindowSearchSink.moc"
