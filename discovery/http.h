// A small HTTP/1.1 client for device descriptions, and the bounded wait-and-receive that the
// SSDP search shares with it.
//
// Thread-safety: every function works on its own arguments only; safe from any thread.
// Diagnostics go to stdout/stderr as single lines; nothing throws.
#pragma once

#include "UniqueFd.h"
#include "protocol.h"

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

// Waits until fd is readable for at most timeoutMs, then receives once.
// Returns the byte count (> 0), 0 on time-out or orderly close, -1 on failure.
int receiveWithTimeout(int fd, char* buffer, std::size_t size, int timeoutMs);

std::optional<HttpUrl> parseHttpUrl(const char* url);

// A connected stream socket, or an invalid UniqueFd. Each attempt is bounded by
// timing().connectWaitMs.
UniqueFd connectHostPort(const char* host, std::uint16_t port);

// Reads an answer from a connected socket. *length is set to the body's length; no body
// (nullopt) when that is 0.
std::optional<HttpBody> readHttpResponse(int fd, std::size_t* length);

// localAddress, when given, is a buffer of LocalAddressSize characters that receives the
// numeric local address of the connection.
std::optional<HttpBody> httpGet(const char* host, std::uint16_t port, const char* path, std::size_t* length,
                                char* localAddress);
std::optional<HttpBody> httpGetUrl(const char* url, std::size_t* length, char* localAddress = nullptr);

// Writes "Socket error: <call>, <code>\n" to stdout, the one diagnostic form of socket failures.
void reportSocketError(const char* call, int code);

} // namespace qvd
