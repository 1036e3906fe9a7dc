#include "FakeDiscovery.h"

#include "devicetable.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace fake {

namespace {

constexpr auto MaxHold = std::chrono::seconds(10);

std::mutex scriptMutex;
std::condition_variable released;
std::vector<FakeDevice> scriptDevices;
int scriptGapMs = 0;
bool scriptHold = false;
bool isReleased = false;
std::atomic<int> started{0};
std::atomic<int> finished{0};

void fill(qvd::DeviceRecord& record, const FakeDevice& device)
{
    qvd::copyField(record.deviceType, device.deviceType.data(), device.deviceType.size());
    qvd::copyField(record.friendlyName, device.friendlyName.data(), device.friendlyName.size());
    qvd::copyField(record.hostPort, device.hostPort.data(), device.hostPort.size());
    qvd::copyField(record.manufacturer, device.manufacturer.data(), device.manufacturer.size());
}

} // namespace

FakeDevice MakerDevice(const std::string& name, const std::string& hostPort)
{
    return {"MediaServer", name, hostPort, Maker};
}

void SetScript(std::vector<FakeDevice> devices, int gapMs, bool hold)
{
    const std::lock_guard<std::mutex> lock(scriptMutex);
    scriptDevices = std::move(devices);
    scriptGapMs = gapMs;
    scriptHold = hold;
    isReleased = false;
    // Relaxed: plain counters read by the test thread after QTRY waits; no data hangs on them.
    started.store(0, std::memory_order_relaxed);
    finished.store(0, std::memory_order_relaxed);
}

void Release()
{
    {
        const std::lock_guard<std::mutex> lock(scriptMutex);
        isReleased = true;
    }
    released.notify_all();
}

int StartedWorkers()
{
    // Relaxed: a counter only.
    return started.load(std::memory_order_relaxed);
}

int FinishedWorkers()
{
    // Relaxed: a counter only.
    return finished.load(std::memory_order_relaxed);
}

void WorkerEntry()
{
    // Relaxed: a counter only.
    started.fetch_add(1, std::memory_order_relaxed);
    std::vector<FakeDevice> devices;
    int gapMs = 0;
    bool hold = false;
    {
        const std::lock_guard<std::mutex> lock(scriptMutex);
        devices = scriptDevices;
        gapMs = scriptGapMs;
        hold = scriptHold;
    }
    qvd::DeviceList& list = qvd::deviceList();
    int published = 0;
    for (const FakeDevice& device : devices) {
        if (published == qvd::MaxDevices) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        fill(list.records[published], device);
        ++published;
        // Release: the record is complete before a reader sees the count that includes it.
        list.count.store(published, std::memory_order_release);
    }
    if (hold) {
        std::unique_lock<std::mutex> lock(scriptMutex);
        released.wait_for(lock, MaxHold, [] { return isReleased; });
    }
    // Relaxed: a counter only.
    finished.fetch_add(1, std::memory_order_relaxed);
    // Release: every record and the final count are visible to whoever sees done == 1.
    list.done.store(1, std::memory_order_release);
}

} // namespace fake
