// The window's device filter: the type test and the maker test.
#pragma once

namespace qvd {

struct DeviceRecord;

inline constexpr char MakerName[] = "Halvren Storage Corporation";

// manufacturer contains MakerName (case-sensitive).
bool isMakerDevice(const DeviceRecord& record);
// The type test and the maker test together: the record belongs in the device list.
bool isListedDevice(const DeviceRecord& record);

} // namespace qvd
