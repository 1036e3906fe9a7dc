#include "ssdp.h"

#include "UniqueFd.h"
#include "http.h"
#include "protocol.h"
#include "worker.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace qvd {

namespace {

static_assert(sizeof SearchTargetList / sizeof SearchTargetList[0] == SearchTurns);

// An answer that arrives in the last turn sets the counter back to here, so that answers
// arriving from then on no longer count against the turns.
constexpr int RestingTurn = SearchTurns - 1;

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The header name (the bytes before the line's colon) begins with the first n characters of
// literal, compared without case. A name shorter than n cannot match: on the wire the next byte
// would be the colon, which is no letter.
bool nameStartsWith(std::string_view name, const char* literal, std::size_t n)
{
    if (name.size() < n) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (lowerAscii(name[i]) != literal[i]) {
            return false;
        }
    }
    return true;
}

void takeHeaderLine(SearchReplyHeaders& headers, const char* data, std::size_t lineStart, std::size_t colon,
                    std::size_t lineEnd)
{
    std::size_t valueStart = colon + 1;
    while (valueStart < lineEnd && data[valueStart] == ' ') {
        ++valueStart;
    }
    const std::string_view name(data + lineStart, colon - lineStart);
    const std::string_view value(data + valueStart, lineEnd - valueStart);
    if (nameStartsWith(name, "location", 8)) {
        headers.location = value;
    } else if (nameStartsWith(name, "st", 2)) {
        headers.searchTarget = value;
    } else if (nameStartsWith(name, "usn", 3)) {
        headers.usn = value;
    }
}

struct AddrInfoDeleter
{
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoDeleter>;

// The local address of the interface that routes toward RouteProbeAddress: connecting a
// datagram socket sends nothing but makes the kernel pick the route and the source address.
bool routeSourceAddress(in_addr& address)
{
    UniqueFd probe(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!probe.valid()) {
        return false;
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(1900);
    if (::inet_pton(AF_INET, RouteProbeAddress, &target.sin_addr) != 1) {
        return false;
    }
    if (::connect(probe.get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
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

// Opens, aims and binds the search socket. On failure the error cell and the diagnostic are
// already written and the returned socket is invalid.
UniqueFd openSearchSocket(SearchResult* error)
{
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        if (error != nullptr) {
            *error = SearchResult::SearchSocketError;
        }
        reportSocketError("socket", errno);
        return fd;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;

    in_addr chosen{};
    if (routeSourceAddress(chosen)) {
        if (::setsockopt(fd.get(), IPPROTO_IP, IP_MULTICAST_IF, &chosen, sizeof chosen) != 0) {
            reportSocketError("setsockopt", errno);
        }
        local.sin_addr = chosen;
    }

    const int reuse = 1;
    if (::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0) {
        if (error != nullptr) {
            *error = SearchResult::SearchSocketError;
        }
        reportSocketError("setsockopt", errno);
        fd.reset();
        return fd;
    }
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        if (error != nullptr) {
            *error = SearchResult::SearchSocketError;
        }
        reportSocketError("bind", errno);
        fd.reset();
    }
    return fd;
}

// Sends the M-SEARCH to every address the group resolves to. False when the search must end.
bool sendSearch(int fd, char* buffer, SearchResult* error)
{
    const int length = std::snprintf(buffer, DatagramBufferSize, MSearchFormat, SsdpGroup, SsdpSearchTarget, SsdpMx);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(SsdpGroup, SsdpPort, &hints, &found);
    if (rc != 0) {
        if (error != nullptr) {
            *error = SearchResult::SearchSocketError;
        }
        std::fprintf(stderr, "getaddrinfo() failed: %d\n", rc);
        return false;
    }
    const AddrInfoList addresses(found);
    for (const addrinfo* ai = addresses.get(); ai != nullptr; ai = ai->ai_next) {
        if (::sendto(fd, buffer, static_cast<std::size_t>(length), 0, ai->ai_addr, ai->ai_addrlen) < 0) {
            reportSocketError("sendto", errno);
            return false;
        }
    }
    return true;
}

using Clock = std::chrono::steady_clock;

void setError(SearchResult* error, SearchResult value)
{
    if (error != nullptr) {
        *error = value;
    }
}

Deadline turnEnd(int waitMs)
{
    return Clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
}

// One listening turn's receive. An empty datagram is dropped without ending the turn early or
// lengthening it: the wait goes on for what is left of the turn.
ReceiveResult receiveForTurn(ByteSource& source, char* buffer, Deadline end)
{
    for (;;) {
        ReceiveResult received = source.receive(buffer, DatagramBufferSize, remainingMs(end));
        if (received.status != ReceiveStatus::EmptyDatagram) {
            return received;
        }
        if (remainingMs(end) == 0) {
            received.status = ReceiveStatus::TimedOut;
            return received;
        }
    }
}

bool isDuplicate(const SsdpReply* head, std::string_view usn)
{
    for (const SsdpReply* kept = head; kept != nullptr; kept = kept->next) {
        if (std::string_view(kept->usn) == usn) {
            return true;
        }
    }
    return false;
}

// One block: the node, then the three terminated texts.
SsdpReply* makeReply(std::string_view location, std::string_view searchTarget, std::string_view usn)
{
    const std::size_t size = sizeof(SsdpReply) + location.size() + searchTarget.size() + usn.size() + 3;
    void* block = std::malloc(size);
    if (block == nullptr) {
        return nullptr;
    }
    auto* reply = static_cast<SsdpReply*>(block);
    char* text = static_cast<char*>(block) + sizeof(SsdpReply);
    const auto place = [&text](std::string_view value) {
        char* start = text;
        if (!value.empty()) {
            std::memcpy(start, value.data(), value.size());
        }
        start[value.size()] = '\0';
        text += value.size() + 1;
        return start;
    };
    reply->next = nullptr;
    reply->sourceAddress = 0;
    reply->location = place(location);
    reply->searchTarget = place(searchTarget);
    reply->usn = place(usn);
    return reply;
}

} // namespace

SearchReplyHeaders parseSearchReply(const char* data, std::size_t size)
{
    SearchReplyHeaders headers;
    if (data == nullptr) {
        return headers;
    }
    constexpr std::size_t NoColon = static_cast<std::size_t>(-1);
    std::size_t lineStart = 0;
    std::size_t colon = NoColon;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            if (colon != NoColon) {
                takeHeaderLine(headers, data, lineStart, colon, i);
            }
            lineStart = i + 1;
            colon = NoColon;
        } else if (c == ':' && colon == NoColon && i != 0) {
            colon = i;
        }
    }
    return headers;
}

SsdpReply* ssdpSearch(SearchResult* error, int startTurn, ReplyHandler handler)
{
    // Relaxed: a test knob set before the search starts; nothing else is ordered by it.
    const Deadline deadline =
        Clock::now() +
        std::chrono::milliseconds(std::max(timing().searchDeadlineMs.load(std::memory_order_relaxed), 0));
    if (error != nullptr) {
        *error = SearchResult::SearchFailed;
    }
    const UniqueFd fd = openSearchSocket(error);
    if (!fd.valid()) {
        return nullptr;
    }
    if (error != nullptr) {
        *error = SearchResult::SearchOk;
    }
    char buffer[DatagramBufferSize];
    if (!sendSearch(fd.get(), buffer, error)) {
        return nullptr;
    }
    SocketByteSource source(fd.get());
    return listenForReplies(source, error, startTurn, handler, deadline);
}

SsdpReply* listenForReplies(ByteSource& source, SearchResult* error, int startTurn, ReplyHandler handler,
                            Deadline deadline)
{
    if (handler == nullptr) {
        handler = addDeviceFromReply;
    }
    setError(error, SearchResult::SearchOk);
    // Relaxed: test knobs set before the search starts; nothing else is ordered by them.
    const int waitMs = timing().turnWaitMs.load(std::memory_order_relaxed);
    const int failedFetchLimit = timing().failedFetchLimit.load(std::memory_order_relaxed);
    char buffer[DatagramBufferSize];
    SsdpReply* head = nullptr;
    int kept = 0;
    int failedFetches = 0;
    for (int turn = startTurn; turn < SearchTurns; ++turn) {
        if (remainingMs(deadline) == 0) {
            setError(error, SearchResult::SearchOk);
            break;
        }
        const ReceiveResult received = receiveForTurn(source, buffer, std::min(deadline, turnEnd(waitMs)));
        if (received.status == ReceiveStatus::Failed || received.status == ReceiveStatus::Closed) {
            setError(error, SearchResult::SearchSocketError);
            break;
        }
        if (received.status == ReceiveStatus::TimedOut) {
            if (head != nullptr) {
                setError(error, SearchResult::SearchOk);
                break;
            }
            continue;
        }
        if (turn == RestingTurn) {
            turn = RestingTurn - 1;
        }
        const SearchReplyHeaders headers = parseSearchReply(buffer, received.size);
        if (!headers.location || !headers.searchTarget) {
            continue;
        }
        const std::string_view usn = headers.usn.value_or(std::string_view());
        if (kept >= MaxKeptReplies || isDuplicate(head, usn)) {
            continue;
        }
        SsdpReply* reply = makeReply(*headers.location, *headers.searchTarget, usn);
        if (reply == nullptr) {
            setError(error, SearchResult::SearchOutOfMemory);
            break;
        }
        reply->sourceAddress = received.sourceAddress;
        reply->next = head;
        head = reply;
        ++kept;
        // Answers that point where nothing answers each cost a fetch's wait: past the limit the
        // search still listens (a quiet turn still ends it) but fetches no more.
        if (failedFetches < failedFetchLimit && handler(*reply) == ReplyOutcome::FetchFailed) {
            ++failedFetches;
        }
    }
    return head;
}

void freeReplyList(SsdpReply* head)
{
    while (head != nullptr) {
        SsdpReply* next = head->next;
        std::free(head);
        head = next;
    }
}

} // namespace qvd
