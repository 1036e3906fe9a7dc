#include "polling.h"

#include "devicetable.h"
#include "filter.h"
#include "protocol.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

namespace qvd {

namespace {

constexpr int ActionButtons[] = {IdShortcutButton, IdRefreshButton, IdConfigureButton, IdMapDriveButton,
                                 IdBrowseButton};

void pause()
{
    // Relaxed: a test knob set before the routine starts; nothing else is ordered by it.
    const int intervalMs = timing().pollIntervalMs.load(std::memory_order_relaxed);
    std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
}

void prepareWindow(SearchSink& sink, RowToRecord& rowToRecord)
{
    sink.clearList(IdDeviceList);
    sink.clearList(IdShareList);
    sink.setControlEnabled(IdDeviceList, false);
    sink.setControlVisible(IdSearchAnimation, true);
    sink.animationStop();
    sink.animationPlay();
    for (const int id : ActionButtons) {
        sink.setControlEnabled(id, false);
    }
    for (std::atomic<int>& entry : rowToRecord) {
        // Release: pairs with the window's acquire load when it looks up a clicked row.
        entry.store(-1, std::memory_order_release);
    }
}

// Lists the record at index when it is one of the maker's devices and a row is free.
void lookAtRecord(SearchSink& sink, RowToRecord& rowToRecord, int index, int& rows)
{
    DeviceRecord record = deviceList().records[index];
    // The writer always terminates its texts; a copy that says otherwise still ends here.
    record.friendlyName[DeviceFieldSize - 1] = '\0';
    record.hostPort[DeviceFieldSize - 1] = '\0';
    if (!isListedDevice(record) || rows >= MaxListedDevices) {
        return;
    }
    char ip[DeviceFieldSize];
    const std::size_t ipLength = std::strcspn(record.hostPort, ":");
    std::memcpy(ip, record.hostPort, ipLength);
    ip[ipLength] = '\0';

    sink.appendDeviceRow(record.friendlyName, ip);
    // Release: pairs with the window's acquire load when it looks up a clicked row.
    rowToRecord[static_cast<std::size_t>(rows)].store(index, std::memory_order_release);
    ++rows;
    sink.setControlEnabled(IdShortcutButton, true);
    sink.setControlEnabled(IdConfigureButton, true);
    sink.animationStop();
    sink.setControlVisible(IdSearchAnimation, false);
    sink.setControlEnabled(IdDeviceList, true);
}

// The table is process-wide, so calls take turns even when their callers do not (a poller whose
// window has gone may still be reading records): the lock orders one call's last reads of the
// table before the next call's reset.
std::mutex& pollingTurn()
{
    static std::mutex turn;
    return turn;
}

} // namespace

int searchAndListDevices(SearchSink& sink, RowToRecord& rowToRecord, WorkerEntry entry)
{
    const std::lock_guard<std::mutex> turn(pollingTurn());
    prepareWindow(sink, rowToRecord);
    DeviceList& list = deviceList();
    // Acquire: a finished worker's last records are complete before the table is reset.
    if (list.done.load(std::memory_order_acquire) != 0) {
        resetDeviceList(list);
        startDetachedWorker(entry);
    }

    int examined = 0;
    int rows = 0;
    int count = 0;
    for (;;) {
        // Acquire, done before count: a count loaded after seeing done == 1 is final, and the
        // records below it are complete.
        const int done = list.done.load(std::memory_order_acquire);
        count = list.count.load(std::memory_order_acquire);
        if (count > MaxDevices) {
            count = MaxDevices; // never written so; keeps the index inside the table regardless
        }
        if (examined < count) {
            lookAtRecord(sink, rowToRecord, examined, rows);
            ++examined;
            pause();
            continue;
        }
        if (done == 1) {
            break;
        }
        pause();
    }

    sink.setControlEnabled(IdRefreshButton, true);
    sink.animationStop();
    sink.setControlVisible(IdSearchAnimation, false);
    if (count == 0) {
        sink.showNoDeviceBox();
    }
    return 0;
}

} // namespace qvd
