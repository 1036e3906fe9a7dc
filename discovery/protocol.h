// Protocol text, limits and timings of the LAN search and the description fetch.
//
// Thread-safety: the constants are immutable. The Timing values are atomics so that a
// test may scale them down before it starts a search; the program never changes them.
#pragma once

#include <atomic>
#include <cstddef>

namespace qvd {

// SSDP
inline constexpr char SsdpGroup[] = "239.255.255.250";
inline constexpr char SsdpPort[] = "1900";
inline constexpr char SsdpSearchTarget[] = "upnp:rootdevice";
inline constexpr unsigned SsdpMx = 1;
// The interface that routes toward this address sends the search.
inline constexpr char RouteProbeAddress[] = "223.255.255.255";
inline constexpr char MSearchFormat[] =
    "M-SEARCH * HTTP/1.1\r\nHOST: %s:1900\r\nST: %s\r\nMAN: \"ssdp:discover\"\r\nMX: %u\r\n\r\n";
inline constexpr std::size_t DatagramBufferSize = 1536;
inline constexpr int SearchTurns = 8;
// A flood of distinct USNs must not grow memory without bound; answers past this are ignored.
inline constexpr int MaxKeptReplies = 4096;
// The most failed fetches of one search, whatever the hosts; the per-host bound is a Timing.
inline constexpr int MaxSearchFailedFetches = 200;

// HTTP
inline constexpr char HttpRequestFormat[] =
    "GET %s HTTP/%s\r\nHost: %s:%d\r\nConnection: Close\r\nUser-Agent: Windows, UPnP/1.0, QVLink/1.00.01\r\n\r\n";
inline constexpr char HttpVersion[] = "1.1";
inline constexpr std::size_t HostTextSize = 65; // 64 characters and the terminator
inline constexpr std::size_t LocalAddressSize = 64;
inline constexpr std::size_t RequestBufferSize = 2048;
inline constexpr std::size_t ReceiveBufferSize = 2048;
inline constexpr std::size_t InitialBufferSize = 2048;
inline constexpr std::size_t MaxChunkDigits = 31;
// Descriptions are a few KiB; a device that sends without end is cut off here and what
// arrived is used.
inline constexpr std::size_t MaxBodyBytes = 1024 * 1024;
// Headers are never this long in practice; past it the answer is treated as ended.
inline constexpr std::size_t MaxHeaderBytes = 64 * 1024;

struct Timing
{
    std::atomic<int> turnWaitMs{1000};    // one SSDP listening turn
    std::atomic<int> readWaitMs{5000};    // one wait for HTTP bytes
    std::atomic<int> connectWaitMs{3000}; // one TCP connect attempt
    std::atomic<int> pollIntervalMs{500}; // the window's look at the device table
    // Real devices answer a fetch in milliseconds and a search in a second or two; these only
    // stop a device that drips bytes or floods answers from holding the search.
    std::atomic<int> fetchDeadlineMs{10000};  // one whole fetch, connect to last byte
    std::atomic<int> searchDeadlineMs{60000}; // one whole search, first wait to last fetch
    std::atomic<int> failedFetchLimit{20};    // failed fetches after which a host is fetched no more
    // Failed fetches after which a search fetches no more (at most MaxSearchFailedFetches).
    std::atomic<int> failedFetchSearchLimit{MaxSearchFailedFetches};
};

// Process-wide timings; defaults are the product's values.
Timing& timing();

} // namespace qvd
