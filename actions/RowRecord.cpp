#include "RowRecord.h"

qvd::DeviceRecord RecordForRow(const qvd::RowToRecord& rowToRecord, int row)
{
    qvd::DeviceRecord copy{};
    if (row < 0 || row >= qvd::MaxListedDevices) {
        return copy;
    }
    // Acquire: pairs with the polling routine's release store of the entry.
    const int index = rowToRecord[static_cast<std::size_t>(row)].load(std::memory_order_acquire);
    qvd::DeviceList& list = qvd::deviceList();
    // Acquire: the records below the count are complete before we copy one.
    if (index >= 0 && index < list.count.load(std::memory_order_acquire)) {
        copy = list.records[index];
    }
    return copy;
}
