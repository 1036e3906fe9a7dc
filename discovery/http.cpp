// The description fetch: URL split, bounded TCP connect, one GET with "Connection: Close",
// and an answer reader for content-length, chunked and read-to-close bodies.
//
// Every byte count that comes from the network is checked before it is used: an announced
// length is only a limit, never an allocation, and both the header block and the body have a
// fixed ceiling, so a hostile device costs at most a little over MaxBodyBytes.
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
constexpr std::size_t ChunkedWordLength = 7;

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

bool sendAll(int fd, const char* data, std::size_t size)
{
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
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

UniqueFd connectHostPort(const char* host, std::uint16_t port, Deadline deadline)
{
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
    return UniqueFd();
}

namespace {

// What the reader has learnt so far about one answer.
struct ResponseState
{
    HttpBody header;
    bool headerEnded = false;
    HttpBody body;
    long long contentLength = -1; // > 0 only when the server announced a usable length
    bool chunked = false;
    std::size_t headerScanned = 0; // the end-of-headers scan resumes here
    std::uint32_t chunkSize = 0;   // bytes the open chunk still wants; 0 when none is open
    // Where the reading of a chunk-size line stands, so that a line split across reads is read
    // exactly as the whole line would be.
    enum class SizeLine
    {
        Start,       // a CR ending the previous chunk's data may follow
        AfterLeadCr, // its LF may follow
        Digits,
        Extension, // the digits have ended; everything up to the line end is skipped
        AfterCr,   // the line has ended but for its LF
    } sizeLine = SizeLine::Start;
    std::size_t chunkDigitCount = 0;
    std::uint32_t chunkDigitValue = 0; // the digits collected so far, wrapping like the size
};

// Appends what fits under cap, growing the buffer geometrically only as bytes arrive.
// Returns true once the buffer is full.
bool appendCapped(HttpBody& buffer, const char* data, std::size_t size, std::size_t cap)
{
    const std::size_t take = std::min(size, cap - std::min(cap, buffer.size()));
    const std::size_t needed = buffer.size() + take;
    if (needed > buffer.capacity()) {
        buffer.reserve(std::min(cap, std::max(needed, buffer.capacity() * 2)));
    }
    buffer.insert(buffer.end(), data, data + take);
    return buffer.size() >= cap;
}

// The position just after the first CR LF CR LF or LF LF at or after from, or 0 when there is
// none yet.
std::size_t findHeaderEnd(const char* data, std::size_t used, std::size_t from)
{
    for (std::size_t i = from; i + 1 < used; ++i) {
        if (data[i] == '\n' && data[i + 1] == '\n') {
            return i + 2;
        }
        if (i + 3 < used && data[i] == '\r' && data[i + 1] == '\n' && data[i + 2] == '\r' && data[i + 3] == '\n') {
            return i + 4;
        }
    }
    return 0;
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A header name counts when it is, in any case, the start of word (so "Content" is taken
// for "content-length"); a longer name never matches.
bool isStartOf(const char* name, std::size_t nameLength, const char* word)
{
    if (nameLength == 0 || nameLength > std::strlen(word)) {
        return false;
    }
    for (std::size_t i = 0; i < nameLength; ++i) {
        if (asciiLower(name[i]) != word[i]) {
            return false;
        }
    }
    return true;
}

// A signed decimal that saturates instead of overflowing; no digits give 0.
long long readContentLength(const char* value, const char* end)
{
    while (value < end && (*value == ' ' || *value == '\t')) {
        ++value;
    }
    bool negative = false;
    if (value < end && (*value == '+' || *value == '-')) {
        negative = *value == '-';
        ++value;
    }
    long long result = 0;
    for (; value < end && *value >= '0' && *value <= '9'; ++value) {
        const int digit = *value - '0';
        result = result > (LLONG_MAX - digit) / 10 ? LLONG_MAX : result * 10 + digit;
    }
    return negative ? -result : result;
}

void applyHeader(ResponseState& state, const char* name, std::size_t nameLength, const char* value,
                 const char* valueEnd)
{
    if (isStartOf(name, nameLength, "content-length")) {
        state.contentLength = readContentLength(value, valueEnd);
        return;
    }
    if (isStartOf(name, nameLength, "transfer-encoding") &&
        static_cast<std::size_t>(valueEnd - value) >= ChunkedWordLength &&
        isStartOf(value, ChunkedWordLength, "chunked")) {
        state.chunked = true;
    }
}

void parseHeaderLines(ResponseState& state, const char* data, std::size_t end)
{
    std::size_t pos = 0;
    while (pos < end) {
        const std::size_t lineStart = pos;
        std::size_t nameLength = 0;
        std::size_t valueStart = 0;
        bool hasValue = false;
        while (pos < end && data[pos] != '\r' && data[pos] != '\n') {
            if (!hasValue && data[pos] == ':') {
                nameLength = pos - lineStart;
                hasValue = true;
                ++pos;
                while (pos < end && (data[pos] == ' ' || data[pos] == '\t')) {
                    ++pos;
                }
                valueStart = pos;
                continue;
            }
            ++pos;
        }
        if (pos < end && hasValue) {
            applyHeader(state, data + lineStart, nameLength, data + valueStart, data + pos);
        }
        while (pos < end && (data[pos] == '\r' || data[pos] == '\n')) {
            ++pos;
        }
    }
}

bool finishChunkSizeLine(ResponseState& state)
{
    state.chunkSize = state.chunkDigitValue;
    state.chunkDigitValue = 0;
    state.chunkDigitCount = 0;
    state.sizeLine = ResponseState::SizeLine::Start;
    return true;
}

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char lower = asciiLower(c);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// Reads (the rest of) one chunk-size line. Returns false when the bytes ran out before its
// end; where the line stands is kept for the next read.
bool readChunkSizeLine(ResponseState& state, const char*& p, const char* end)
{
    using SizeLine = ResponseState::SizeLine;
    while (p < end) {
        const char c = *p;
        switch (state.sizeLine) {
        case SizeLine::Start:
            state.sizeLine = SizeLine::AfterLeadCr;
            p += c == '\r' ? 1 : 0;
            break;
        case SizeLine::AfterLeadCr:
            state.sizeLine = SizeLine::Digits;
            p += c == '\n' ? 1 : 0;
            break;
        case SizeLine::Digits:
            if (state.chunkDigitCount < MaxChunkDigits && hexDigitValue(c) >= 0) {
                state.chunkDigitValue = state.chunkDigitValue * 16u + static_cast<std::uint32_t>(hexDigitValue(c));
                ++state.chunkDigitCount;
                ++p;
            } else {
                state.sizeLine = SizeLine::Extension;
            }
            break;
        case SizeLine::Extension:
            // Chunk extensions, and digits past the ones kept.
            ++p;
            if (c == '\r') {
                state.sizeLine = SizeLine::AfterCr;
            } else if (c == '\n') {
                return finishChunkSizeLine(state);
            }
            break;
        case SizeLine::AfterCr:
            p += c == '\n' ? 1 : 0;
            return finishChunkSizeLine(state);
        }
    }
    return false;
}

// Returns true when the body is complete (the last chunk) or full.
bool consumeChunked(ResponseState& state, const char* p, const char* end)
{
    while (p < end) {
        if (state.chunkSize == 0) {
            if (!readChunkSizeLine(state, p, end)) {
                return false;
            }
            if (state.chunkSize == 0) {
                return true;
            }
            continue;
        }
        const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(end - p), state.chunkSize);
        if (appendCapped(state.body, p, take, MaxBodyBytes)) {
            return true;
        }
        state.chunkSize -= static_cast<std::uint32_t>(take);
        p += take;
    }
    return false;
}

// Returns true when the body is full.
bool consumePlain(ResponseState& state, const char* p, std::size_t size)
{
    if (state.contentLength > 0) {
        const auto announced = static_cast<unsigned long long>(state.contentLength);
        const unsigned long long missing = announced > state.body.size() ? announced - state.body.size() : 0;
        size = static_cast<std::size_t>(std::min<unsigned long long>(size, missing));
    }
    return appendCapped(state.body, p, size, MaxBodyBytes);
}

// Takes one read. Returns true when reading should stop.
bool takeBytes(ResponseState& state, const char* data, std::size_t size)
{
    if (!state.headerEnded) {
        state.header.insert(state.header.end(), data, data + size);
        const std::size_t end = findHeaderEnd(state.header.data(), state.header.size(), state.headerScanned);
        if (end == 0) {
            // An end that the next read completes starts at most three bytes back.
            state.headerScanned = state.header.size() < 3 ? 0 : state.header.size() - 3;
            return state.header.size() >= MaxHeaderBytes;
        }
        parseHeaderLines(state, state.header.data(), end);
        state.headerEnded = true;
        data = state.header.data() + end;
        size = state.header.size() - end;
    }
    const bool ended = state.chunked ? consumeChunked(state, data, data + size) : consumePlain(state, data, size);
    if (ended) {
        return true;
    }
    return state.contentLength > 0 && state.body.size() >= static_cast<unsigned long long>(state.contentLength);
}

} // namespace

std::optional<HttpBody> readHttpResponse(ByteSource& source, std::size_t* length, Deadline deadline)
{
    if (length != nullptr) {
        *length = 0;
    }
    ResponseState state;
    state.header.reserve(InitialBufferSize);
    state.body.reserve(InitialBufferSize);
    // Acquire pairs with the release store of whoever scaled the timings down.
    const int waitMs = timing().readWaitMs.load(std::memory_order_acquire);
    char buffer[ReceiveBufferSize];
    for (;;) {
        const int leftMs = remainingMs(deadline);
        if (leftMs == 0) {
            break;
        }
        const ReceiveResult received = source.receive(buffer, sizeof buffer, std::min(waitMs, leftMs));
        if (received.status != ReceiveStatus::Data || takeBytes(state, buffer, received.size)) {
            break;
        }
    }
    HttpBody().swap(state.header);
    if (length != nullptr) {
        *length = state.body.size();
    }
    if (state.body.empty()) {
        return std::nullopt;
    }
    return std::move(state.body);
}

std::optional<HttpBody> readHttpResponse(int fd, std::size_t* length)
{
    SocketByteSource source(fd);
    return readHttpResponse(source, length, fetchDeadlineFromNow());
}

std::optional<HttpBody> httpGet(const char* host, std::uint16_t port, const char* path, std::size_t* length,
                                char* localAddress)
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
    const UniqueFd fd = connectHostPort(host, port, deadline);
    if (!fd.valid()) {
        return std::nullopt;
    }
    if (localAddress != nullptr) {
        fillLocalAddress(fd.get(), localAddress);
    }
    if (!sendAll(fd.get(), request, static_cast<std::size_t>(requestLength))) {
        return std::nullopt;
    }
    SocketByteSource source(fd.get());
    return readHttpResponse(source, length, deadline);
}

std::optional<HttpBody> httpGetUrl(const char* url, std::size_t* length, char* localAddress)
{
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
    return httpGet(parts->host, parts->port, parts->path, length, localAddress);
}

} // namespace qvd
