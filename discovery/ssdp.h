// The SSDP search: one M-SEARCH to the multicast group, answers read in one-second turns.
//
// Thread-safety: ssdpSearch runs on the discovery worker thread alone; its socket, buffer and
// reply list are its own. Its only shared effect is through the reply handler.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace qvd {

enum class SearchResult : int
{
    SearchFailed = -1,
    SearchOk = 0,
    SearchSocketError = -101,
    SearchOutOfMemory = -102,
};

// One kept answer. One allocation holds the node and its three terminated texts.
struct SsdpReply
{
    SsdpReply* next; // the reply kept before this one (newest first)
    char* location;
    char* searchTarget;
    char* usn; // empty when the answer had none
};

// The bound of the turn counter and the turn at which it rests; the texts are never sent.
inline constexpr const char* SearchTargetList[] = {
    "urn:schemas-upnp-org:device:MediaRenderer:3", "urn:schemas-upnp-org:device:MediaRenderer:2",
    "urn:schemas-upnp-org:device:MediaRenderer:1", "urn:schemas-upnp-org:device:MediaServer:4",
    "urn:schemas-upnp-org:device:MediaServer:3",   "urn:schemas-upnp-org:device:MediaServer:2",
    "urn:schemas-upnp-org:device:MediaServer:1",   "urn:schemas-upnp-org:device:ZeNAS:1",
};

struct SearchReplyHeaders
{
    std::optional<std::string_view> location;
    std::optional<std::string_view> searchTarget;
    std::optional<std::string_view> usn;
};

// Reads the header lines of one answer; the views point into data.
SearchReplyHeaders parseSearchReply(const char* data, std::size_t size);

using ReplyHandler = void (*)(const SsdpReply& reply);

// Runs one search. Every newly kept reply goes to handler (addDeviceFromReply by default)
// before the next datagram is read. The caller releases the returned list with freeReplyList.
SsdpReply* ssdpSearch(SearchResult* error, int startTurn, ReplyHandler handler = nullptr);
void freeReplyList(SsdpReply* head);

} // namespace qvd
