#include "devicetable.h"

#include <cstring>
#include <string_view>

namespace qvd {

namespace {

constexpr std::string_view KnownDeviceTypes[] = {"MediaServer", "MediaRenderer", "ZeNAS", "QvNAS", "QvNAS-KTC32"};

// The text of a field up to its terminator; a field that lost its terminator still ends at
// the field's edge.
std::string_view fieldText(const char (&field)[DeviceFieldSize])
{
    return {field, ::strnlen(field, DeviceFieldSize)};
}

// The n-th (0-based) token of text split at sep, where a run of separators counts as one and
// leading separators are skipped. Reentrant: works on the view it is given, keeps no state.
bool nthToken(std::string_view text, char sep, int n, std::string_view& token)
{
    std::size_t pos = 0;
    for (int index = 0;; ++index) {
        while (pos < text.size() && text[pos] == sep) {
            ++pos;
        }
        if (pos == text.size()) {
            return false;
        }
        const std::size_t stop = text.find(sep, pos);
        const std::size_t length = (stop == std::string_view::npos ? text.size() : stop) - pos;
        if (index == n) {
            token = text.substr(pos, length);
            return true;
        }
        pos += length;
    }
}

// Rewrites field to its n-th token; leaves it unchanged when there is no such token.
void keepToken(char (&field)[DeviceFieldSize], char sep, int n)
{
    char copy[DeviceFieldSize];
    const std::string_view text = fieldText(field);
    std::memcpy(copy, text.data(), text.size());
    std::string_view token;
    if (!nthToken(std::string_view(copy, text.size()), sep, n, token)) {
        return;
    }
    std::memset(field, 0, DeviceFieldSize);
    copyField(field, token.data(), token.size());
}

} // namespace

DeviceList& deviceList()
{
    static DeviceList list;
    return list;
}

void resetDeviceList(DeviceList& list)
{
    // Release: a reader that sees the new count does not go on to read the old records.
    list.count.store(0, std::memory_order_release);
    std::memset(list.records, 0, sizeof list.records);
    // Release: the zeroed table happens-before everything that observes done == 0 (the worker
    // started after it and any reader).
    list.done.store(0, std::memory_order_release);
}

void shortenDeviceType(DeviceRecord& record)
{
    keepToken(record.deviceType, ':', 3);
}

bool isKnownDeviceType(const DeviceRecord& record)
{
    const std::string_view type = fieldText(record.deviceType);
    for (const std::string_view known : KnownDeviceTypes) {
        if (type == known) {
            return true;
        }
    }
    return false;
}

void cutToHostPort(DeviceRecord& record)
{
    keepToken(record.hostPort, '/', 1);
}

void copyField(char (&field)[DeviceFieldSize], const char* text, std::size_t length)
{
    constexpr std::size_t limit = DeviceFieldSize - 1;
    const std::size_t kept = length < limit ? length : limit;
    if (kept > 0) {
        std::memmove(field, text, kept);
    }
    field[kept] = '\0';
}

} // namespace qvd
