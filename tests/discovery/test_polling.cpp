// The polling routine against a recording window and a scripted worker.
#include "devicetable.h"
#include "polling.h"
#include "protocol.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using namespace qvd;
using Lines = std::vector<std::string>;

namespace {

// Every call of the routine as one line of text, in order; the routine calls from one thread.
struct RecordingSink : SearchSink
{
    void clearList(int id) override { note("clear", id); }
    void appendDeviceRow(const char* name, const char* ip) override
    {
        rows.push_back(std::string(name) + " | " + ip);
        calls.push_back("row " + rows.back());
    }
    void setControlEnabled(int id, bool on) override { note(on ? "enable" : "disable", id); }
    void setControlVisible(int id, bool on) override { note(on ? "show" : "hide", id); }
    void animationStop() override { calls.push_back("stop"); }
    void animationPlay() override { calls.push_back("play"); }
    void showNoDeviceBox() override { calls.push_back("no device"); }
    void note(const char* what, int id) { calls.push_back(what + (" " + std::to_string(id))); }

    Lines calls;
    Lines rows;
};

// What the scripted worker publishes; written before the routine starts the worker thread.
std::vector<DeviceRecord> g_script;
std::atomic<int> g_workerStarts{0};

void scriptedWorker()
{
    // Relaxed: a counter the test reads after done == 1 (acquire) has ordered it.
    g_workerStarts.fetch_add(1, std::memory_order_relaxed);
    DeviceList& list = deviceList();
    int index = 0;
    for (const DeviceRecord& record : g_script) {
        list.records[index] = record;
        // Release: publishes the record just written.
        list.count.store(++index, std::memory_order_release);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Release: the worker's last act; every record above happens-before it.
    list.done.store(1, std::memory_order_release);
}

DeviceRecord device(const std::string& name, const std::string& hostPort,
                    const std::string& maker = "Halvren Storage Corporation", const std::string& type = "QvNAS")
{
    DeviceRecord r{};
    copyField(r.deviceType, type.data(), type.size());
    copyField(r.friendlyName, name.data(), name.size());
    copyField(r.hostPort, hostPort.data(), hostPort.size());
    copyField(r.manufacturer, maker.data(), maker.size());
    return r;
}

class Polling : public testing::Test
{
protected:
    void SetUp() override
    {
        timing().pollIntervalMs.store(5);
        g_script.clear();
        g_workerStarts.store(0);
        resetDeviceList(deviceList());
        deviceList().done.store(-1); // as at program start: no search has run
        for (std::atomic<int>& entry : rowToRecord) {
            entry.store(7);
        }
    }

    void run() { EXPECT_EQ(searchAndListDevices(sink, rowToRecord, scriptedWorker), 0); }

    std::vector<int> rowEntries() const
    {
        std::vector<int> out;
        for (const std::atomic<int>& entry : rowToRecord) {
            out.push_back(entry.load());
        }
        return out;
    }

    RecordingSink sink;
    RowToRecord rowToRecord;
};

} // namespace

TEST_F(Polling, PreparesTheWindowInOrderAndRestoresItForEveryListedRow)
{
    g_script = {device("Vault", "192.168.1.20:80"), device("Other maker", "10.0.0.2:80", "Acme Media"),
                device("Cellar", "192.168.1.21:80")};
    run();
    const Lines restore = {"enable 1017", "enable 1005", "stop", "hide 1016", "enable 1000"};
    Lines expected = {"clear 1000",   "clear 1001",   "disable 1000", "show 1016",    "stop",        "play",
                      "disable 1017", "disable 1006", "disable 1005", "disable 1008", "disable 1009"};
    for (const char* row : {"row Vault | 192.168.1.20", "row Cellar | 192.168.1.21"}) {
        expected.push_back(row);
        expected.insert(expected.end(), restore.begin(), restore.end());
    }
    expected.insert(expected.end(), {"enable 1006", "stop", "hide 1016"});
    EXPECT_EQ(sink.calls, expected);
    EXPECT_EQ(g_workerStarts.load(), 1);
}

// Listed: a known short type and the maker's name, case-sensitive, anywhere in manufacturer.
TEST_F(Polling, ListsUpToTwentyOfTheMakersDevicesInPublishingOrderWithTheHostUpToTheFirstColon)
{
    const std::string maker = "Halvren Storage Corporation";
    g_script = {
        device("One", "10.0.0.1:80"),
        device("Other maker", "10.0.0.2:80", "Acme Media"),
        device("Two", "10.0.0.3:8080", "  " + maker + ", Taipei", "MediaServer"),
        device("Wrong type", "10.0.0.5:80", maker, "InternetGatewayDevice"),
        device("Type not shortened", "10.0.0.6:80", maker, "urn:schemas-upnp-org:device:MediaServer:1"),
        device("Shouting", "10.0.0.7:80", "HALVREN STORAGE CORPORATION"),
        device("Near miss", "10.0.0.8:80", "Halvren Storage Corp."),
        device("Bare", "192.168.1.30"),
        device("Six", "[fe80::1]:80"),
    };
    std::vector<int> expected = {0, 2, 7, 8};
    for (int i = 0; i < 20; ++i) {
        g_script.push_back(device("Box " + std::to_string(i), "10.0.1." + std::to_string(i) + ":80"));
        expected.push_back(9 + i);
    }
    run();
    expected.resize(MaxListedDevices);
    EXPECT_EQ(rowEntries(), expected);
    ASSERT_EQ(sink.rows.size(), static_cast<std::size_t>(MaxListedDevices));
    EXPECT_EQ(Lines(sink.rows.begin(), sink.rows.begin() + 4),
              (Lines{"One | 10.0.0.1", "Two | 10.0.0.3", "Bare | 192.168.1.30", "Six | [fe80"}));
    EXPECT_EQ(sink.rows.back(), "Box 15 | 10.0.1.15");
}

TEST_F(Polling, TheNoDeviceBoxShowsOnlyWhenNothingIsPublished)
{
    g_script = {device("Media box", "10.0.0.2:80", "Acme Media", "MediaServer")};
    run();
    EXPECT_TRUE(sink.rows.empty());
    EXPECT_EQ(rowEntries(), std::vector<int>(MaxListedDevices, -1));
    EXPECT_EQ(sink.calls.back(), "hide 1016") << "no box";

    // The next call finds the search finished: it resets the table and starts a new worker.
    deviceList().records[MaxDevices - 1] = device("Stale", "10.0.0.8:80");
    g_script.clear();
    sink.calls.clear();
    run();
    EXPECT_EQ(g_workerStarts.load(), 2);
    EXPECT_EQ(Lines(sink.calls.end() - 4, sink.calls.end()), (Lines{"enable 1006", "stop", "hide 1016", "no device"}));
    const DeviceRecord zero{};
    EXPECT_EQ(std::memcmp(&deviceList().records[MaxDevices - 1], &zero, sizeof zero), 0);
}

TEST_F(Polling, ACallDuringARunningSearchStartsNoWorkerAndListsFromTheStart)
{
    DeviceList& list = deviceList();
    list.done.store(0);
    list.records[0] = device("Early", "10.0.0.1:80");
    list.records[1] = device("Later", "10.0.0.2:80");
    list.count.store(2);
    struct SignallingSink : RecordingSink
    {
        void appendDeviceRow(const char* name, const char* ip) override
        {
            RecordingSink::appendDeviceRow(name, ip);
            listed.store(true, std::memory_order_release); // the routine has passed its start
        }
        std::atomic<bool> listed{false};
    } rowSink;
    // The earlier call's worker finishes a little later: only once the routine has looked at
    // done, or a slow start of the routine would see it finished and start a worker after all.
    std::thread finisher([&list, &rowSink] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!rowSink.listed.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        list.done.store(1, std::memory_order_release); // as a worker's last act: the records precede it
    });
    EXPECT_EQ(searchAndListDevices(rowSink, rowToRecord, scriptedWorker), 0);
    finisher.join();
    EXPECT_EQ(g_workerStarts.load(), 0);
    EXPECT_EQ(rowSink.rows, (Lines{"Early | 10.0.0.1", "Later | 10.0.0.2"}));
    EXPECT_EQ(list.count.load(), 2) << "the running search's table was not reset";
}

// Two windows' searches overlapping (the first window closed while its search ran): the second
// call waits for the first to end before it touches the table, so the first never reads a
// table being reset under it.
TEST_F(Polling, OverlappingCallsTakeTurns)
{
    g_script = {device("Only", "10.0.0.1:80")};
    // The first call's window is busy: its first call blocks until released.
    struct GatedSink : RecordingSink
    {
        void clearList(int id) override
        {
            while (!open.load(std::memory_order_acquire)) { // pairs with the release below
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            RecordingSink::clearList(id);
        }
        std::atomic<bool> open{false};
    } first;
    RowToRecord rowsB;
    std::thread a([&] { searchAndListDevices(first, rowToRecord, scriptedWorker); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::thread b([&] { searchAndListDevices(sink, rowsB, scriptedWorker); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const bool secondStarted = !sink.calls.empty();
    first.open.store(true, std::memory_order_release); // the check above happens before the release
    a.join();
    b.join();
    EXPECT_FALSE(secondStarted) << "the second call started while the first held its turn";
    EXPECT_EQ(first.rows, Lines{"Only | 10.0.0.1"});
    EXPECT_EQ(sink.rows, Lines{"Only | 10.0.0.1"});
}
