// Feeds raw bytes to the description parser and checks that every field of the record stays
// terminated inside its 128 bytes, whatever the input.
#include "description.h"
#include "devicetable.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qvd::DeviceRecord record;
    std::memset(&record, 0, sizeof record);
    qvd::parseDescription(reinterpret_cast<const char*>(data), size, record);

    // The record is twelve char arrays and nothing else, so it can be walked as bytes.
    const char* bytes = reinterpret_cast<const char*>(&record);
    constexpr std::size_t fieldCount = sizeof record / qvd::DeviceFieldSize;
    static_assert(fieldCount == 12, "a new field needs checking here");
    for (std::size_t i = 0; i < fieldCount; ++i) {
        if (std::memchr(bytes + i * qvd::DeviceFieldSize, '\0', qvd::DeviceFieldSize) == nullptr) {
            std::abort();
        }
    }
    return 0;
}
