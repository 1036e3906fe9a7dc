// An answer from a device, byte for byte, read the way a fetch reads it: through a stream
// socket that the peer closes after the last byte.
#include "http.h"
#include "protocol.h"

#include <cstddef>
#include <cstdint>
#include <sys/socket.h>
#include <thread>

namespace {

void writeAll(int fd, const std::uint8_t* data, std::size_t size)
{
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            break; // the reader stopped early and closed its end
        }
        sent += static_cast<std::size_t>(n);
    }
    ::shutdown(fd, SHUT_WR);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Release: the reader loads the wait with acquire. The peer always closes, so the wait
    // only matters if the writer thread is slow to run.
    qvd::timing().readWaitMs.store(200, std::memory_order_release);
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return 0;
    }
    qvd::UniqueFd reader(ends[0]);
    qvd::UniqueFd writer(ends[1]);
    std::thread peer([&] { writeAll(writer.get(), data, size); });
    std::size_t length = 1;
    const auto body = qvd::readHttpResponse(reader.get(), &length);
    reader.reset(); // a writer still blocked on a full buffer now fails and ends
    peer.join();
    if ((body && (body->size() != length || length == 0 || length > qvd::MaxBodyBytes)) || (!body && length != 0)) {
        __builtin_trap();
    }
    // The body never holds more bytes than the answer carried.
    if (length > size) {
        __builtin_trap();
    }
    return 0;
}
