// The SSDP answer reader on arbitrary datagrams: it must stay inside the bytes it is given and
// every value it returns must lie within them.
#include "protocol.h"
#include "ssdp.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace {

void checkInside(const std::optional<std::string_view>& value, const char* begin, const char* end)
{
    if (!value) {
        return;
    }
    const char* first = value->data();
    if (first < begin || first > end || value->size() > static_cast<std::size_t>(end - first)) {
        std::abort();
    }
    // A value never spans a line end.
    for (const char c : *value) {
        if (c == '\r' || c == '\n') {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // At most one datagram buffer, as the search never reads more at once.
    if (size > qvd::DatagramBufferSize) {
        return 0;
    }
    const char* bytes = reinterpret_cast<const char*>(data);
    const qvd::SearchReplyHeaders headers = qvd::parseSearchReply(bytes, size);
    checkInside(headers.location, bytes, bytes + size);
    checkInside(headers.searchTarget, bytes, bytes + size);
    checkInside(headers.usn, bytes, bytes + size);
    return 0;
}
