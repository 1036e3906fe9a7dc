// A small HTTP/1.1 client for device descriptions, and the bounded wait-and-receive that the
// SSDP search shares with it.
//
// Thread-safety: every function works on its own arguments only; safe from any thread.
// Diagnostics go to stdout/stderr as single lines; nothing throws.
#pragma once

#include "UniqueFd.h"
#include "bytesource.h"
#include "protocol.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qvd {

using HttpBody = std::vector<char>;

struct HttpUrl
{
    char host[HostTextSize] = {}; // an IPv6 literal keeps its brackets
    std::uint16_t port = 80;
    const char* path = nullptr; // points into the URL given to parseHttpUrl
};

using Deadline = std::chrono::steady_clock::time_point;

// Why a fetch brought no usable description. The fetch itself never looks at these: a body is
// returned whatever they say, as it always was; they only explain.
enum class FetchError : unsigned char
{
    None,
    Refused,     // the connection was refused
    TimedOut,    // the connection or the answer did not come in time
    CutOff,      // the answer ended before its headers or its announced body did
    NotHttp200,  // the status line says something else than 200
    TooLarge,    // the headers or the body reached their ceiling
    Unreachable, // the connection failed otherwise (systemError says how)
    Empty,       // a complete answer without a body
};

struct FetchReport
{
    FetchError error = FetchError::None; // the reason when no body came back, else None
    int httpStatus = 0;                  // from the status line; 0 when there was none
    int systemError = 0;                 // errno of a failed connect or send
    bool incomplete = false;             // a body came back, but cut off or past a wait
    bool tooLarge = false;               // a body came back, cut at MaxBodyBytes
    bool timedOut = false;               // reading stopped at a wait or the deadline
};

// Waits until fd is readable for at most timeoutMs, then receives once. A zero-byte receive is
// an empty datagram on a datagram socket and the peer's close on a stream socket.
ReceiveResult receiveWithTimeout(int fd, char* buffer, std::size_t size, int timeoutMs);

// Milliseconds left until deadline, 0 once it has passed.
int remainingMs(Deadline deadline);

std::optional<HttpUrl> parseHttpUrl(const char* url);

// A connected stream socket, or an invalid UniqueFd. Each attempt is bounded by
// timing().connectWaitMs and by the deadline.
// *failure, when given, receives the error code of the last failed attempt (0 on success).
UniqueFd connectHostPort(const char* host, std::uint16_t port, Deadline deadline = Deadline::max(),
                         int* failure = nullptr);

// Reads an answer from a connected socket. *length is set to the body's length; no body
// (nullopt) when that is 0. Reading stops at the deadline (by default timing().fetchDeadlineMs
// from now); what arrived until then is used.
std::optional<HttpBody> readHttpResponse(int fd, std::size_t* length);
std::optional<HttpBody> readHttpResponse(ByteSource& source, std::size_t* length, Deadline deadline,
                                         FetchReport* report = nullptr);

// localAddress, when given, is a buffer of LocalAddressSize characters that receives the
// numeric local address of the connection.
// The whole fetch, connect to last byte, ends by timing().fetchDeadlineMs.
// report, when given, says how the fetch went (see FetchReport); the result is the same either way.
std::optional<HttpBody> httpGet(const char* host, std::uint16_t port, const char* path, std::size_t* length,
                                char* localAddress, FetchReport* report = nullptr);
std::optional<HttpBody> httpGetUrl(const char* url, std::size_t* length, char* localAddress = nullptr,
                                   FetchReport* report = nullptr);

// Writes "Socket error: <call>, <code>\n" to stdout, the one diagnostic form of socket failures.
void reportSocketError(const char* call, int code);

} // namespace qvd
