#include "searchsockets.h"

#include "http.h"
#include "protocol.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace qvd {

namespace {

// The local address of the interface that routes toward target: connecting a datagram socket
// sends nothing but makes the kernel pick the route and the source address.
bool routeSourceAddress(const char* target, in_addr& address)
{
    UniqueFd probe(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!probe.valid()) {
        return false;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(1900);
    if (::inet_pton(AF_INET, target, &to.sin_addr) != 1) {
        return false;
    }
    if (::connect(probe.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        return false;
    }
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(probe.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0 || local.sin_family != AF_INET) {
        return false;
    }
    address = local.sin_addr;
    return true;
}

void setError(SearchResult* error, SearchResult value)
{
    if (error != nullptr) {
        *error = value;
    }
}

bool bindTo(int fd, in_addr address)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = address;
    local.sin_port = 0;
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

} // namespace

UniqueFd openSearchSocket(SearchResult* error, std::uint32_t* chosenOut)
{
    *chosenOut = 0;
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        setError(error, SearchResult::SearchSocketError);
        reportSocketError("socket", errno);
        return fd;
    }
    in_addr local{};
    local.s_addr = htonl(INADDR_ANY);
    in_addr chosen{};
    if (routeSourceAddress(RouteProbeAddress, chosen)) {
        if (::setsockopt(fd.get(), IPPROTO_IP, IP_MULTICAST_IF, &chosen, sizeof chosen) != 0) {
            reportSocketError("setsockopt", errno);
        }
        local = chosen;
        *chosenOut = chosen.s_addr;
    }
    const int reuse = 1;
    if (::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0) {
        setError(error, SearchResult::SearchSocketError);
        reportSocketError("setsockopt", errno);
        fd.reset();
        return fd;
    }
    if (!bindTo(fd.get(), local)) {
        setError(error, SearchResult::SearchSocketError);
        reportSocketError("bind", errno);
        fd.reset();
    }
    return fd;
}

std::uint32_t groupSourceAddress()
{
    in_addr address{};
    return routeSourceAddress(SsdpGroup, address) ? address.s_addr : 0;
}

UniqueFd openInterfaceSocket(const SearchInterface& interface)
{
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        reportSocketError("socket", errno);
        return fd;
    }
    in_addr address{};
    address.s_addr = interface.address;
    const int reuse = 1;
    if (::setsockopt(fd.get(), IPPROTO_IP, IP_MULTICAST_IF, &address, sizeof address) != 0 ||
        ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0) {
        reportSocketError("setsockopt", errno);
        fd.reset();
        return fd;
    }
    if (!bindTo(fd.get(), address)) {
        reportSocketError("bind", errno);
        fd.reset();
    }
    return fd;
}

bool sendDatagram(int fd, const char* datagram, std::size_t length, const addrinfo* group)
{
    for (const addrinfo* ai = group; ai != nullptr; ai = ai->ai_next) {
        if (::sendto(fd, datagram, length, 0, ai->ai_addr, ai->ai_addrlen) < 0) {
            reportSocketError("sendto", errno);
            return false;
        }
    }
    return true;
}

MultiSocketByteSource::MultiSocketByteSource(const int* fds, int count)
    : m_count(std::clamp(count, 0, MaxSearchInterfaces))
{
    for (int i = 0; i < m_count; ++i) {
        m_fds[i] = fds[i];
        m_active[i] = fds[i] >= 0;
    }
}

ReceiveResult MultiSocketByteSource::receive(char* buffer, std::size_t size, int waitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
    for (;;) {
        pollfd entries[MaxSearchInterfaces];
        int channels[MaxSearchInterfaces];
        int n = 0;
        for (int k = 0; k < m_count; ++k) {
            const int channel = (m_next + k) % m_count;
            if (m_active[channel]) {
                entries[n] = {m_fds[channel], POLLIN, 0};
                channels[n++] = channel;
            }
        }
        if (n == 0) {
            return ReceiveResult();
        }
        const int ready = ::poll(entries, static_cast<nfds_t>(n), remainingMs(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            reportSocketError("select", errno);
            return ReceiveResult();
        }
        if (ready == 0) {
            ReceiveResult result;
            result.status = ReceiveStatus::TimedOut;
            return result;
        }
        // The first ready socket after the one read last: every interface gets its turn.
        const int i = static_cast<int>(
            std::find_if(entries, entries + n, [](const pollfd& e) { return e.revents != 0; }) - entries);
        const int channel = channels[i];
        ReceiveResult result = (entries[i].revents & POLLNVAL) != 0
                                   ? ReceiveResult()
                                   : receiveWithTimeout(m_fds[channel], buffer, size, 0);
        if ((entries[i].revents & POLLNVAL) != 0) {
            reportSocketError("select", EBADF);
        }
        if (result.status == ReceiveStatus::Failed || result.status == ReceiveStatus::Closed) {
            m_active[channel] = false;
            continue;
        }
        m_next = (channel + 1) % m_count;
        if (result.status == ReceiveStatus::TimedOut) {
            continue;
        }
        result.channel = channel;
        return result;
    }
}

} // namespace qvd
