// Location URLs come from any device on the LAN; the split must hold for every byte string.
#include "http.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<char> url(size + 1, '\0');
    if (size != 0) {
        std::memcpy(url.data(), data, size);
    }
    const auto parts = qvd::parseHttpUrl(url.data());
    if (parts) {
        // The host is always terminated within its buffer and the path lies inside the URL.
        if (std::memchr(parts->host, '\0', sizeof parts->host) == nullptr) {
            __builtin_trap();
        }
        if (parts->path < url.data() || parts->path >= url.data() + url.size() || *parts->path != '/') {
            __builtin_trap();
        }
    }
    return 0;
}
