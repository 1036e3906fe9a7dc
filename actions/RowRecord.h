// The device-table record behind a device-list row.
//
// Thread-safety: UI thread. Reads only records below the table's published count.
#pragma once

#include "devicetable.h"
#include "polling.h"

// A copy of the record that rowToRecord maps row to, when that is a valid index below the
// table's count; otherwise an all-empty record.
qvd::DeviceRecord RecordForRow(const qvd::RowToRecord& rowToRecord, int row);
