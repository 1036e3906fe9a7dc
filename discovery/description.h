// Reading a UPnP device description into a DeviceRecord.
//
// Thread-safety: works on the record it is given; the caller owns that record.
#pragma once

#include <cstddef>

namespace qvd {

struct DeviceRecord;

// Fills the (zeroed) record from the description body; never fails outward.
void parseDescription(const char* body, std::size_t length, DeviceRecord& record);

void onStartElement(DeviceRecord* record, const char* name, std::size_t length);
void onEndElement(DeviceRecord* record, const char* name, std::size_t length);
void onElementText(DeviceRecord* record, const char* text, std::size_t length);

} // namespace qvd
