// The SSDP search: one M-SEARCH to the multicast group, answers read in one-second turns.
//
// Thread-safety: ssdpSearch runs on the discovery worker thread alone; its socket, buffer and
// reply list are its own. Its only shared effect is through the reply handler.
#pragma once

#include "bytesource.h"
#include "explain.h"
#include "http.h"
#include "interfaces.h"

#include <cstddef>
#include <cstdint>
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
    // The IPv4 address the answer came from, in network byte order; only a location on this
    // very host is fetched.
    std::uint32_t sourceAddress;
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

// What the handler made of a kept reply. Failed fetches count against the sender's budget and
// the search's.
enum class ReplyOutcome
{
    Published,
    NotPublished, // not fetched, or fetched and not of an accepted type
    FetchFailed,  // a fetch was tried and brought no body
};

// record, when not null, is the explanation of this answer, for the handler to complete with
// what became of it (the search fills in the sender, interface, location and usn).
using ReplyHandler = ReplyOutcome (*)(const SsdpReply& reply, AnswerRecord* record);

// Runs one search: the M-SEARCH from the interface that routes toward RouteProbeAddress, then
// the same on every other searchable interface (see listSearchInterfaces). Every newly kept
// reply goes to handler (addDeviceFromReply by default) before the next datagram is read; a
// sender whose fetches failed timing().failedFetchLimit times is fetched no more, nor is anyone
// after timing().failedFetchSearchLimit failures in all. The search ends by itself within
// timing().searchDeadlineMs (plus the fetch under way). The caller releases the returned list
// with freeReplyList. With the answer log enabled, each answer's fate is appended to it.
SsdpReply* ssdpSearch(SearchResult* error, int startTurn, ReplyHandler handler = nullptr);

// The listening turns of a search, reading datagrams from source; ssdpSearch runs them on its
// sockets after the M-SEARCH is sent. The search ends at the latest at deadline, as a quiet turn
// after a kept reply ends it. interfaces[c] (when given) is the interface of the datagrams of
// channel c: an answer from outside its networks is not taken.
SsdpReply* listenForReplies(ByteSource& source, SearchResult* error, int startTurn, ReplyHandler handler,
                            Deadline deadline, const SearchInterface* interfaces = nullptr, int interfaceCount = 0);
void freeReplyList(SsdpReply* head);

} // namespace qvd
