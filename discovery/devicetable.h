// The device table shared by the discovery worker, the polling routine and the device actions.
//
// Thread-safety: one writer, the worker, fills the record at index `count` and publishes it
// with a release store to `count`; it stores `done` = 1 (release) after its last record.
// Readers load `done` and then `count` with acquire and read only records below the count
// they loaded. The polling routine alone resets the table, and only while `done` is not 0,
// so no worker is writing then. There is no lock.
#pragma once

#include <atomic>
#include <cstddef>

namespace qvd {

inline constexpr int DeviceFieldSize = 128;
inline constexpr int MaxDevices = 50;

struct DeviceRecord
{
    char deviceType[DeviceFieldSize];
    char friendlyName[DeviceFieldSize];
    char hostPort[DeviceFieldSize];
    char manufacturer[DeviceFieldSize];
    char manufacturerURL[DeviceFieldSize];
    char modelDescription[DeviceFieldSize];
    char modelName[DeviceFieldSize];
    char modelNumber[DeviceFieldSize];
    char modelURL[DeviceFieldSize];
    char UDN[DeviceFieldSize];
    char presentationURL[DeviceFieldSize];
    char elementName[DeviceFieldSize];
};

struct DeviceList
{
    DeviceRecord records[MaxDevices];
    std::atomic<int> count{0};
    std::atomic<int> done{-1};
};

// The process-wide table (static storage, lives for the whole run).
DeviceList& deviceList();

// Zeroes the table and marks a search as running: count 0, all records zero, done 0.
// Only while done != 0.
void resetDeviceList(DeviceList& list);

// Rewrites deviceType to its fourth ':'-separated token when it has at least four.
void shortenDeviceType(DeviceRecord& record);
// deviceType is exactly one of the five accepted short types.
bool isKnownDeviceType(const DeviceRecord& record);
// Rewrites hostPort (a location URL) to its second '/'-separated token.
void cutToHostPort(DeviceRecord& record);

// Copies at most DeviceFieldSize - 1 bytes of text into field and terminates it.
void copyField(char (&field)[DeviceFieldSize], const char* text, std::size_t length);

} // namespace qvd
