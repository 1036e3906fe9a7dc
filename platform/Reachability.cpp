#include "Reachability.h"

#include "UniqueFd.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

namespace qvp {
namespace {

using qvd::UniqueFd;
using Clock = std::chrono::steady_clock;

struct AddrInfoFree
{
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

int msLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool connectOne(const addrinfo& address, Clock::time_point deadline)
{
    UniqueFd fd(socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address.ai_protocol));
    if (!fd.valid()) {
        return false;
    }
    if (connect(fd.get(), address.ai_addr, address.ai_addrlen) == 0) {
        return true;
    }
    if (errno != EINPROGRESS) {
        return false;
    }
    for (;;) {
        const int wait = msLeft(deadline);
        if (wait == 0) {
            return false;
        }
        pollfd pfd{fd.get(), POLLOUT, 0};
        const int ready = poll(&pfd, 1, wait);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        int error = 0;
        socklen_t length = sizeof error;
        return getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
}

} // namespace

HostPort hostAndPort(std::string_view pageAddress)
{
    HostPort result;
    if (pageAddress.substr(0, 7) == "http://") {
        pageAddress.remove_prefix(7);
    }
    pageAddress = pageAddress.substr(0, pageAddress.find_first_of("/?#"));
    std::string_view port;
    if (!pageAddress.empty() && pageAddress.front() == '[') {
        const std::size_t close = pageAddress.find(']');
        if (close == std::string_view::npos) {
            return result;
        }
        result.host = std::string(pageAddress.substr(1, close - 1));
        std::string_view rest = pageAddress.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return result;
            }
            port = rest.substr(1);
        }
    } else {
        const std::size_t colon = pageAddress.find(':');
        result.host = std::string(pageAddress.substr(0, colon));
        if (colon != std::string_view::npos) {
            port = pageAddress.substr(colon + 1);
        }
    }
    if (result.host.empty()) {
        return result;
    }
    if (!port.empty()) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) {
            return result;
        }
        result.port = static_cast<std::uint16_t>(value);
    }
    result.valid = true;
    return result;
}

bool TcpReachabilityProbe::Probe(const std::string& pageAddress, int timeoutMs)
{
    const HostPort target = hostAndPort(pageAddress);
    if (!target.valid) {
        return false;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // A name is resolved too (a presentation URL may name the device); the resolver is not
    // bounded by the deadline, but the check's thread is its own and a late answer is ignored.
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(target.port);
    if (getaddrinfo(target.host.c_str(), service.c_str(), &hints, &found) != 0) {
        return false;
    }
    const std::unique_ptr<addrinfo, AddrInfoFree> list(found);
    for (const addrinfo* address = list.get(); address != nullptr; address = address->ai_next) {
        if (connectOne(*address, deadline)) {
            return true;
        }
    }
    return false;
}

} // namespace qvp
