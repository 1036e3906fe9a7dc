// The polling routine against a recording window and a scripted worker.
#include "devicetable.h"
#include "polling.h"
#include "protocol.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <thread>
#include <vector>

using namespace qvd;

namespace {

// Records every call of the routine as one line of text, in order. The routine calls it from
// the test's own thread, so no locking is needed.
class RecordingSink : public SearchSink
{
public:
    void clearList(int id) override { calls.push_back("clear " + std::to_string(id)); }
    void appendDeviceRow(const char* name, const char* ip) override
    {
        calls.push_back(std::string("row ") + name + " | " + ip);
    }
    void setControlEnabled(int id, bool on) override
    {
        calls.push_back((on ? "enable " : "disable ") + std::to_string(id));
        enabled[id] = on;
    }
    void setControlVisible(int id, bool on) override { calls.push_back((on ? "show " : "hide ") + std::to_string(id)); }
    void animationStop() override { calls.push_back("stop"); }
    void animationPlay() override { calls.push_back("play"); }
    void showNoDeviceBox() override { calls.push_back("no device"); }

    std::vector<std::string> rows() const
    {
        std::vector<std::string> out;
        for (const std::string& c : calls) {
            if (c.rfind("row ", 0) == 0) {
                out.push_back(c.substr(4));
            }
        }
        return out;
    }
    int countOf(const std::string& call) const
    {
        int n = 0;
        for (const std::string& c : calls) {
            n += c == call ? 1 : 0;
        }
        return n;
    }

    std::vector<std::string> calls;
    std::map<int, bool> enabled;
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

DeviceRecord device(const char* name, const char* hostPort, const char* manufacturer = "Halvren Storage Corporation",
                    const char* type = "QvNAS")
{
    DeviceRecord r{};
    copyField(r.deviceType, type, std::strlen(type));
    copyField(r.friendlyName, name, std::strlen(name));
    copyField(r.hostPort, hostPort, std::strlen(hostPort));
    copyField(r.manufacturer, manufacturer, std::strlen(manufacturer));
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
        // As at program start: no search has run.
        std::memset(deviceList().records, 0, sizeof deviceList().records);
        deviceList().count.store(0);
        deviceList().done.store(-1);
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

const std::vector<std::string> Preparation = {
    "clear 1000",   "clear 1001",   "disable 1000", "show 1016",    "stop",         "play",
    "disable 1017", "disable 1006", "disable 1005", "disable 1008", "disable 1009",
};

} // namespace

TEST_F(Polling, PreparesTheWindowInOrderThenListsAndRestores)
{
    g_script = {device("Vault", "192.168.1.20:80")};
    run();
    std::vector<std::string> expected = Preparation;
    const std::vector<std::string> listing = {"row Vault | 192.168.1.20",
                                              "enable 1017",
                                              "enable 1005",
                                              "stop",
                                              "hide 1016",
                                              "enable 1000",
                                              "enable 1006",
                                              "stop",
                                              "hide 1016"};
    expected.insert(expected.end(), listing.begin(), listing.end());
    EXPECT_EQ(sink.calls, expected);
    EXPECT_EQ(g_workerStarts.load(), 1);
}

TEST_F(Polling, ListsTheMakersDevicesInPublishingOrder)
{
    g_script = {
        device("One", "10.0.0.1:80"),
        device("Other maker", "10.0.0.2:80", "Acme Media"),
        device("Two", "10.0.0.3:8080", "Halvren Storage Corporation, Taipei", "MediaServer"),
        device("Shouting", "10.0.0.4:80", "HALVREN STORAGE CORPORATION"),
        device("Wrong type", "10.0.0.5:80", "Halvren Storage Corporation", "InternetGatewayDevice"),
        device("Three", "10.0.0.6:80", "Halvren Storage Corporation", "QvNAS-KTC32"),
    };
    run();
    EXPECT_EQ(sink.rows(), (std::vector<std::string>{"One | 10.0.0.1", "Two | 10.0.0.3", "Three | 10.0.0.6"}));
    std::vector<int> expected(MaxListedDevices, -1);
    expected[0] = 0;
    expected[1] = 2;
    expected[2] = 5;
    EXPECT_EQ(rowEntries(), expected);
    EXPECT_EQ(sink.countOf("no device"), 0);
    EXPECT_TRUE(sink.enabled[IdDeviceList]);
    EXPECT_TRUE(sink.enabled[IdRefreshButton]);
    EXPECT_FALSE(sink.enabled[IdMapDriveButton]);
    EXPECT_FALSE(sink.enabled[IdBrowseButton]);
}

TEST_F(Polling, OnlyOtherMakersLeavesTheListEmptyAndDisabledWithoutMessage)
{
    g_script = {device("Media box", "10.0.0.2:80", "Acme Media", "MediaServer")};
    run();
    EXPECT_TRUE(sink.rows().empty());
    EXPECT_FALSE(sink.enabled[IdDeviceList]);
    EXPECT_FALSE(sink.enabled[IdShortcutButton]);
    EXPECT_FALSE(sink.enabled[IdConfigureButton]);
    EXPECT_TRUE(sink.enabled[IdRefreshButton]);
    EXPECT_EQ(sink.countOf("no device"), 0);
    EXPECT_EQ(rowEntries(), std::vector<int>(MaxListedDevices, -1));
    EXPECT_EQ(sink.calls.back(), "hide 1016");
}

TEST_F(Polling, NothingPublishedShowsTheNoDeviceBoxLast)
{
    run();
    EXPECT_TRUE(sink.rows().empty());
    ASSERT_GE(sink.calls.size(), 4U);
    const std::vector<std::string> ending(sink.calls.end() - 4, sink.calls.end());
    EXPECT_EQ(ending, (std::vector<std::string>{"enable 1006", "stop", "hide 1016", "no device"}));
    EXPECT_EQ(sink.countOf("no device"), 1);
}

TEST_F(Polling, ListsAtMostTwentyRows)
{
    for (int i = 0; i < 25; ++i) {
        const std::string name = "Box " + std::to_string(i);
        const std::string host = "10.0.1." + std::to_string(i) + ":80";
        g_script.push_back(device(name.c_str(), host.c_str()));
    }
    run();
    const std::vector<std::string> rows = sink.rows();
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(MaxListedDevices));
    EXPECT_EQ(rows.front(), "Box 0 | 10.0.1.0");
    EXPECT_EQ(rows.back(), "Box 19 | 10.0.1.19");
    for (int k = 0; k < MaxListedDevices; ++k) {
        EXPECT_EQ(rowToRecord[static_cast<std::size_t>(k)].load(), k);
    }
}

TEST_F(Polling, IpColumnIsTheHostUpToTheFirstColon)
{
    g_script = {device("Bare", "192.168.1.30"), device("Six", "[fe80::1]:80"), device("Empty", "")};
    run();
    EXPECT_EQ(sink.rows(), (std::vector<std::string>{"Bare | 192.168.1.30", "Six | [fe80", "Empty | "}));
}

TEST_F(Polling, ACallDuringARunningSearchStartsNoWorkerAndListsFromTheStart)
{
    DeviceList& list = deviceList();
    list.done.store(0);
    list.records[0] = device("Early", "10.0.0.1:80");
    list.records[1] = device("Later", "10.0.0.2:80");
    list.count.store(2);
    // The earlier call's worker finishes a little later.
    std::thread finisher([&list] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        list.done.store(1, std::memory_order_release);
    });
    run();
    finisher.join();
    EXPECT_EQ(g_workerStarts.load(), 0);
    EXPECT_EQ(sink.rows(), (std::vector<std::string>{"Early | 10.0.0.1", "Later | 10.0.0.2"}));
    EXPECT_EQ(list.count.load(), 2) << "the running search's table was not reset";
}

TEST_F(Polling, AFinishedSearchIsResetBeforeTheNewWorkerStarts)
{
    DeviceList& list = deviceList();
    list.records[0] = device("Stale", "10.0.0.9:80");
    list.records[MaxDevices - 1] = device("Stale too", "10.0.0.8:80");
    list.count.store(1);
    list.done.store(1);
    run();
    EXPECT_EQ(g_workerStarts.load(), 1);
    EXPECT_TRUE(sink.rows().empty());
    EXPECT_EQ(sink.countOf("no device"), 1);
    const DeviceRecord zero{};
    EXPECT_EQ(std::memcmp(&list.records[MaxDevices - 1], &zero, sizeof zero), 0);
    EXPECT_EQ(list.done.load(), 1);
}

TEST_F(Polling, EveryListedRowRestoresTheControls)
{
    g_script = {device("A", "10.0.0.1:80"), device("B", "10.0.0.2:80")};
    run();
    EXPECT_EQ(sink.countOf("enable 1017"), 2);
    EXPECT_EQ(sink.countOf("enable 1000"), 2);
    // Twice with the rows, once at the start, once at the end.
    EXPECT_EQ(sink.countOf("stop"), 4);
}

// Two windows' searches overlapping (the first window closed while its search ran): the second
// call waits for the first to end before it touches the table, so the first never reads a
// table being reset under it.
TEST(PollingTurns, OverlappingCallsTakeTurns)
{
    timing().pollIntervalMs.store(5);
    g_script = {device("Only", "10.0.0.1:80")};
    deviceList().count.store(0);
    deviceList().done.store(-1);

    // A sink whose first call blocks until released, standing in for a window thread that is
    // busy: the first call holds its turn meanwhile.
    class GatedSink : public RecordingSink
    {
    public:
        void clearList(int id) override
        {
            while (!open.load(std::memory_order_acquire)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            RecordingSink::clearList(id);
        }
        std::atomic<bool> open{false};
    };
    GatedSink first;
    RecordingSink second;
    RowToRecord rowsA;
    RowToRecord rowsB;
    std::atomic<bool> firstDone{false};
    std::atomic<bool> secondDone{false};
    std::thread a([&] {
        searchAndListDevices(first, rowsA, scriptedWorker);
        firstDone.store(true, std::memory_order_release);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::thread b([&] {
        searchAndListDevices(second, rowsB, scriptedWorker);
        secondDone.store(true, std::memory_order_release);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(secondDone.load(std::memory_order_acquire));
    EXPECT_TRUE(second.calls.empty()) << "the second call started while the first held its turn";
    first.open.store(true, std::memory_order_release);
    a.join();
    b.join();
    EXPECT_TRUE(firstDone.load());
    EXPECT_EQ(first.rows(), std::vector<std::string>{"Only | 10.0.0.1"});
    EXPECT_EQ(second.rows(), std::vector<std::string>{"Only | 10.0.0.1"});
}
