#include "filter.h"

#include "devicetable.h"

#include <cstring>
#include <string_view>

namespace qvd {

bool isMakerDevice(const DeviceRecord& record)
{
    // Bounded by the field so that a record without a terminator cannot be read past.
    const std::string_view manufacturer(record.manufacturer, ::strnlen(record.manufacturer, DeviceFieldSize));
    return manufacturer.find(MakerName) != std::string_view::npos;
}

bool isListedDevice(const DeviceRecord& record)
{
    return isKnownDeviceType(record) && isMakerDevice(record);
}

} // namespace qvd
