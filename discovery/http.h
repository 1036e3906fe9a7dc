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

// Waits until fd is readable for at most timeoutMs, then receives once. A zero-byte receive is
// an empty datagram on a datagram socket and the peer's close on a stream socket.
ReceiveResult receiveWithTimeout(int fd, char* buffer, std::size_t size, int timeoutMs);

// Milliseconds left until deadline, 0 once it has passed.
int remainingMs(Deadline deadline);

std::optional<HttpUrl> parseHttpUrl(const char* url);

// A connected stream socket, or an invalid UniqueFd. Each attempt is bounded by
// timing().connectWaitMs and by the deadline.
UniqueFd connectHostPort(const char* host, std::uint16_t port, Deadline deadline = Deadline::max());

// Reads an answer from a connected socket. *length is set to the body's length; no body
// (nullopt) when that is 0. Reading stops at the deadline (by default timing().fetchDeadlineMs
// from now); what arrived until then is used.
std::optional<HttpBody> readHttpResponse(int fd, std::size_t* length);
std::optional<HttpBody> readHttpResponse(ByteSource& source, std::size_t* length, Deadline deadline);

// localAddress, when given, is a buffer of LocalAddressSize characters that receives the
// numeric local address of the connection.
// The whole fetch, connect to last byte, ends by timing().fetchDeadlineMs.
std::optional<HttpBody> httpGet(const char* host, std::uint16_t port, const char* path, std::size_t* length,
                                char* localAddress);
std::optional<HttpBody> httpGetUrl(const char* url, std::size_t* length, char* localAddress = nullptr);

// Writes "Socket error: <call>, <code>\n" to stdout, the one diagnostic form of socket failures.
void reportSocketError(const char* call, int code);

} // namespace qvd
