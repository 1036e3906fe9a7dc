// The description fetch: URL split, bounded TCP connect, one GET with "Connection: Close", the
// whole fetch bounded by its deadline; the answer reader is in httpresponse.cpp.
#include "http.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace qvd {
namespace {

constexpr std::uint16_t DefaultHttpPort = 80;
constexpr std::size_t MaxHostChars = HostTextSize - 1;
constexpr std::size_t PortTextSize = 8;

using Clock = std::chrono::steady_clock;

// Port digits wrap at 65536 like the 16-bit value they fill; the first non-digit ends them.
std::uint16_t readPort(const char* text)
{
    std::uint16_t port = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        port = static_cast<std::uint16_t>(port * 10u + static_cast<unsigned>(*text - '0'));
    }
    return port;
}

void copyHost(char* host, const char* begin, std::size_t count)
{
    const std::size_t n = std::min(count, MaxHostChars);
    std::memcpy(host, begin, n);
    host[n] = '\0';
}

// The resolver wants an IPv6 literal without its brackets.
void resolverHostFrom(const char* host, char* out)
{
    const char* begin = host[0] == '[' ? host + 1 : host;
    std::size_t n = 0;
    while (n < MaxHostChars && begin[n] != '\0' && !(host[0] == '[' && begin[n] == ']')) {
        ++n;
    }
    std::memcpy(out, begin, n);
    out[n] = '\0';
}

// Returns 0 once connected, else the error code. Waits at most waitMs for the handshake.
int connectBounded(int fd, const sockaddr* address, socklen_t addressLength, int waitMs)
{
    if (::connect(fd, address, addressLength) == 0) {
        return 0;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        return errno;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
    for (;;) {
        pollfd entry{fd, POLLOUT, 0};
        const int ready = ::poll(&entry, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return errno;
        }
        if (ready == 0) {
            return ETIMEDOUT;
        }
        int error = 0;
        socklen_t errorLength = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &errorLength) != 0) {
            return errno;
        }
        return error;
    }
}

// The connected socket goes back to blocking mode; its waits are bounded by poll and by a
// send time-out instead.
int finishConnectedSocket(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return errno;
    }
    // Acquire pairs with the release store of whoever scaled the timings down.
    const int waitMs = std::max(timing().readWaitMs.load(std::memory_order_acquire), 1);
    timeval sendWait{};
    sendWait.tv_sec = waitMs / 1000;
    sendWait.tv_usec = (waitMs % 1000) * 1000;
    if (::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendWait, sizeof sendWait) != 0) {
        return errno;
    }
    return 0;
}

Deadline fetchDeadlineFromNow()
{
    // Acquire pairs with the release store of whoever scaled the timings down.
    const int ms = timing().fetchDeadlineMs.load(std::memory_order_acquire);
    return Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
}

void fillLocalAddress(int fd, char* localAddress)
{
    localAddress[0] = '\0';
    sockaddr_storage address{};
    socklen_t addressLength = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &addressLength) != 0) {
        std::perror("getsockname");
        return;
    }
    const int rc = ::getnameinfo(reinterpret_cast<sockaddr*>(&address), addressLength, localAddress, LocalAddressSize,
                                 nullptr, 0, NI_NUMERICHOST | NI_NUMERICSERV);
    if (rc != 0) {
        localAddress[0] = '\0';
        std::fprintf(stderr, "getnameinfo() failed : %d\n", rc);
    }
}

bool sendAll(int fd, const char* data, std::size_t size, int& error)
{
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : EPIPE;
            std::perror("send");
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

void reportSocketError(const char* call, int code)
{
    std::printf("Socket error: %s, %d\n", call, code);
}

int remainingMs(Deadline deadline)
{
    // Rounded up: a wait cut short by a fraction would end a turn or a fetch early.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, INT_MAX));
}

ReceiveResult receiveWithTimeout(int fd, char* buffer, std::size_t size, int timeoutMs)
{
    ReceiveResult result;
    if (fd < 0) {
        reportSocketError("select", EBADF);
        return result;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || (ready > 0 && (entry.revents & POLLNVAL) != 0)) {
            reportSocketError("select", ready < 0 ? errno : EBADF);
            return result;
        }
        if (ready == 0) {
            result.status = ReceiveStatus::TimedOut;
            return result;
        }
        break;
    }
    const std::size_t wanted = std::min<std::size_t>(size, INT_MAX);
    sockaddr_storage from{};
    socklen_t fromLength = sizeof from;
    ssize_t n = 0;
    do {
        n = ::recvfrom(fd, buffer, wanted, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        reportSocketError("recv", errno);
        return result;
    }
    if (fromLength >= sizeof(sockaddr_in) && from.ss_family == AF_INET) {
        result.sourceAddress = reinterpret_cast<const sockaddr_in*>(&from)->sin_addr.s_addr;
    }
    if (n > 0) {
        result.status = ReceiveStatus::Data;
        result.size = static_cast<std::size_t>(n);
        return result;
    }
    // Zero bytes: only the socket's type tells an empty datagram from the end of a stream.
    int type = 0;
    socklen_t typeLength = sizeof type;
    const bool datagram = ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) == 0 && type == SOCK_DGRAM;
    result.status = datagram ? ReceiveStatus::EmptyDatagram : ReceiveStatus::Closed;
    return result;
}

ReceiveResult SocketByteSource::receive(char* buffer, std::size_t size, int waitMs)
{
    return receiveWithTimeout(m_fd, buffer, size, waitMs);
}

std::optional<HttpUrl> parseHttpUrl(const char* url)
{
    if (url == nullptr || std::strncmp(url, "http", 4) != 0) {
        return std::nullopt;
    }
    const char* separator = std::strstr(url, "://");
    if (separator == nullptr) {
        return std::nullopt;
    }
    const char* rest = separator + 3;
    const char* slash = std::strchr(rest, '/');
    HttpUrl result;
    if (rest[0] == '[') {
        const char* close = std::strchr(rest, ']');
        if (close != nullptr && slash != nullptr) {
            copyHost(result.host, rest, static_cast<std::size_t>(close - rest) + 1);
            result.port = close[1] == ':' ? readPort(close + 2) : DefaultHttpPort;
            result.path = slash;
            return result;
        }
    }
    if (slash == nullptr) {
        return std::nullopt;
    }
    const char* colon = std::strchr(rest, ':');
    if (colon != nullptr && colon < slash) {
        copyHost(result.host, rest, static_cast<std::size_t>(colon - rest));
        result.port = readPort(colon + 1);
    } else {
        copyHost(result.host, rest, static_cast<std::size_t>(slash - rest));
        result.port = DefaultHttpPort;
    }
    result.path = slash;
    return result;
}

UniqueFd connectHostPort(const char* host, std::uint16_t port, Deadline deadline, int* failure)
{
    if (failure != nullptr) {
        *failure = 0;
    }
    if (host == nullptr) {
        return UniqueFd();
    }
    char portText[PortTextSize];
    std::snprintf(portText, sizeof portText, "%hu", port);
    char resolverHost[HostTextSize];
    resolverHostFrom(host, resolverHost);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(resolverHost, portText, &hints, &found);
    if (rc != 0) {
        std::fprintf(stderr, "getaddrinfo() error : %d\n", rc);
        if (failure != nullptr) {
            *failure = EHOSTUNREACH;
        }
        return UniqueFd();
    }
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(found, &::freeaddrinfo);

    // Acquire pairs with the release store of whoever scaled the timings down.
    const int waitMs = timing().connectWaitMs.load(std::memory_order_acquire);
    const char* failedCall = "connect";
    int lastError = 0;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        UniqueFd fd(::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, entry->ai_protocol));
        if (!fd.valid()) {
            failedCall = "socket";
            lastError = errno;
            continue;
        }
        failedCall = "connect";
        lastError =
            connectBounded(fd.get(), entry->ai_addr, entry->ai_addrlen, std::min(waitMs, remainingMs(deadline)));
        if (lastError == 0) {
            lastError = finishConnectedSocket(fd.get());
        }
        if (lastError == 0) {
            return fd;
        }
    }
    reportSocketError(failedCall, lastError);
    if (failure != nullptr) {
        *failure = lastError;
    }
    return UniqueFd();
}

std::optional<HttpBody> readHttpResponse(int fd, std::size_t* length)
{
    SocketByteSource source(fd);
    return readHttpResponse(source, length, fetchDeadlineFromNow());
}

namespace {

// How a failed connect reads in a fetch report.
void reportConnectFailure(FetchReport* report, int error)
{
    if (report == nullptr) {
        return;
    }
    report->systemError = error;
    report->error = error == ECONNREFUSED ? FetchError::Refused
                    : error == ETIMEDOUT  ? FetchError::TimedOut
                                          : FetchError::Unreachable;
}

} // namespace

std::optional<HttpBody> httpGet(const char* host, std::uint16_t port, const char* path, std::size_t* length,
                                char* localAddress, FetchReport* report)
{
    if (length != nullptr) {
        *length = 0;
    }
    if (host == nullptr || path == nullptr) {
        return std::nullopt;
    }
    // A request that does not fit would go out cut short; such a path is never sent at all.
    char request[RequestBufferSize];
    const int requestLength =
        std::snprintf(request, sizeof request, HttpRequestFormat, path, HttpVersion, host, static_cast<int>(port));
    if (requestLength < 0 || static_cast<std::size_t>(requestLength) >= sizeof request) {
        return std::nullopt;
    }
    const Deadline deadline = fetchDeadlineFromNow();
    int failure = 0;
    const UniqueFd fd = connectHostPort(host, port, deadline, &failure);
    if (!fd.valid()) {
        reportConnectFailure(report, failure);
        return std::nullopt;
    }
    if (localAddress != nullptr) {
        fillLocalAddress(fd.get(), localAddress);
    }
    if (!sendAll(fd.get(), request, static_cast<std::size_t>(requestLength), failure)) {
        if (report != nullptr) {
            report->error = FetchError::CutOff;
            report->systemError = failure;
        }
        return std::nullopt;
    }
    SocketByteSource source(fd.get());
    return readHttpResponse(source, length, deadline, report);
}

std::optional<HttpBody> httpGetUrl(const char* url, std::size_t* length, char* localAddress, FetchReport* report)
{
    if (report != nullptr) {
        *report = FetchReport();
    }
    if (length != nullptr) {
        *length = 0;
    }
    if (localAddress != nullptr) {
        localAddress[0] = '\0';
    }
    const std::optional<HttpUrl> parts = parseHttpUrl(url);
    if (!parts) {
        return std::nullopt;
    }
    return httpGet(parts->host, parts->port, parts->path, length, localAddress, report);
}

} // namespace qvd
