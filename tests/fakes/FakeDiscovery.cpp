#include "FakeDiscovery.h"

#include "devicetable.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace fake {
namespace {

std::mutex scriptMutex; // guards the four script values below
std::condition_variable released;
std::vector<FakeDevice> scriptDevices;
int scriptGapMs = 0;
bool scriptHold = false;
bool isReleased = false;
// Relaxed throughout: plain counters polled by the test thread; no data hangs on them.
std::atomic<int> started{0};
std::atomic<int> finished{0};

} // namespace

void SetScript(std::vector<FakeDevice> devices, int gapMs, bool hold)
{
    const std::lock_guard<std::mutex> lock(scriptMutex);
    scriptDevices = std::move(devices);
    scriptGapMs = gapMs;
    scriptHold = hold;
    isReleased = false;
    started.store(0, std::memory_order_relaxed);  // a counter only
    finished.store(0, std::memory_order_relaxed); // a counter only
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
    return started.load(std::memory_order_relaxed); // a counter only
}

int FinishedWorkers()
{
    return finished.load(std::memory_order_relaxed); // a counter only
}

void WorkerEntry()
{
    started.fetch_add(1, std::memory_order_relaxed); // a counter only
    std::unique_lock<std::mutex> lock(scriptMutex);
    const std::vector<FakeDevice> devices = scriptDevices;
    const int gapMs = scriptGapMs;
    const bool hold = scriptHold;
    lock.unlock();
    qvd::DeviceList& list = qvd::deviceList();
    const int count = std::min<int>(static_cast<int>(devices.size()), qvd::MaxDevices);
    for (int i = 0; i < count; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        const FakeDevice& device = devices[static_cast<std::size_t>(i)];
        qvd::DeviceRecord& record = list.records[i];
        qvd::copyField(record.deviceType, device.deviceType.data(), device.deviceType.size());
        qvd::copyField(record.friendlyName, device.friendlyName.data(), device.friendlyName.size());
        qvd::copyField(record.hostPort, device.hostPort.data(), device.hostPort.size());
        qvd::copyField(record.manufacturer, device.manufacturer.data(), device.manufacturer.size());
        // Release: the record is complete before a reader sees the count that includes it.
        list.count.store(i + 1, std::memory_order_release);
    }
    if (hold) {
        lock.lock();
        released.wait_for(lock, std::chrono::seconds(10), [] { return isReleased; });
        lock.unlock();
    }
    finished.fetch_add(1, std::memory_order_relaxed); // a counter only
    // Release: every record and the final count are visible to whoever sees done == 1.
    list.done.store(1, std::memory_order_release);
}

} // namespace fake
