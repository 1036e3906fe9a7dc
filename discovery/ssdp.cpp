#include "ssdp.h"

#include "UniqueFd.h"
#include "explain.h"
#include "http.h"
#include "protocol.h"
#include "searchsockets.h"
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

// The group's addresses, or nothing (with the error cell and the diagnostic written).
AddrInfoList resolveGroup(SearchResult* error)
{
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
        return AddrInfoList();
    }
    return AddrInfoList(found);
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

namespace {

// The sockets that sent the M-SEARCH, each with the interface it went out on.
struct SearchChannels
{
    UniqueFd fds[MaxSearchInterfaces];
    SearchInterface interfaces[MaxSearchInterfaces];
    int count = 0;

    void add(UniqueFd fd, const SearchInterface& interface)
    {
        fds[count] = std::move(fd);
        interfaces[count] = interface;
        ++count;
    }
};

// The first socket sends at once, as a host with one network always did; then each other
// interface gets the same datagram from a socket of its own. An interface that cannot send is
// passed over with its diagnostic.
void sendOnEveryInterface(UniqueFd first, std::uint32_t chosen, const char* datagram, std::size_t length,
                          const addrinfo* group, SearchChannels& channels)
{
    const bool firstSent = sendDatagram(first.get(), datagram, length, group);
    SearchInterface firstInterface;
    SearchInterface others[MaxSearchInterfaces - 1];
    const std::uint32_t firstAddress = chosen != 0 ? chosen : groupSourceAddress();
    const int found = listSearchInterfaces(firstAddress, &firstInterface, others, MaxSearchInterfaces - 1);
    if (firstSent) {
        channels.add(std::move(first), firstInterface);
    }
    for (int i = 0; i < found; ++i) {
        UniqueFd fd = openInterfaceSocket(others[i]);
        if (fd.valid() && sendDatagram(fd.get(), datagram, length, group)) {
            channels.add(std::move(fd), others[i]);
        }
    }
}

} // namespace

SsdpReply* ssdpSearch(SearchResult* error, int startTurn, ReplyHandler handler)
{
    // Relaxed: a test knob set before the search starts; nothing else is ordered by it.
    const Deadline deadline =
        Clock::now() +
        std::chrono::milliseconds(std::max(timing().searchDeadlineMs.load(std::memory_order_relaxed), 0));
    if (error != nullptr) {
        *error = SearchResult::SearchFailed;
    }
    std::uint32_t chosen = 0;
    UniqueFd fd = openSearchSocket(error, &chosen);
    if (!fd.valid()) {
        return nullptr;
    }
    if (error != nullptr) {
        *error = SearchResult::SearchOk;
    }
    char buffer[DatagramBufferSize];
    const int length = std::snprintf(buffer, DatagramBufferSize, MSearchFormat, SsdpGroup, SsdpSearchTarget, SsdpMx);
    const AddrInfoList group = resolveGroup(error);
    if (!group) {
        return nullptr;
    }
    SearchChannels channels;
    sendOnEveryInterface(std::move(fd), chosen, buffer, static_cast<std::size_t>(length), group.get(), channels);
    if (channels.count == 0) {
        return nullptr;
    }
    if (channels.count == 1) {
        SocketByteSource source(channels.fds[0].get());
        return listenForReplies(source, error, startTurn, handler, deadline, channels.interfaces, 1);
    }
    int fds[MaxSearchInterfaces];
    for (int i = 0; i < channels.count; ++i) {
        fds[i] = channels.fds[i].get();
    }
    MultiSocketByteSource source(fds, channels.count);
    return listenForReplies(source, error, startTurn, handler, deadline, channels.interfaces, channels.count);
}

namespace {

// Failed fetches, counted per answering address and for the whole search: a host that floods
// answers pointing where nothing answers spends only its own budget. Only hosts with a failure
// take a slot, and the search's bound ends all fetching before the slots run out.
class FetchBudget
{
public:
    FetchBudget(int hostLimit, int searchLimit)
        : m_hostLimit(std::max(hostLimit, 0))
        , m_searchLimit(std::clamp(searchLimit, 0, MaxSearchFailedFetches))
    {
    }

    SearchLimit check(std::uint32_t host) const
    {
        if (m_total >= m_searchLimit) {
            return SearchLimit::SearchFailures;
        }
        const int index = find(host);
        return index >= 0 && m_failures[index] >= m_hostLimit ? SearchLimit::HostFailures : SearchLimit::None;
    }

    void failed(std::uint32_t host)
    {
        int index = find(host);
        if (index < 0 && m_hosts < MaxSearchFailedFetches) {
            index = m_hosts++;
            m_addresses[index] = host;
            m_failures[index] = 0;
        }
        if (index >= 0) {
            ++m_failures[index];
        }
        ++m_total;
    }

private:
    int find(std::uint32_t host) const
    {
        for (int i = 0; i < m_hosts; ++i) {
            if (m_addresses[i] == host) {
                return i;
            }
        }
        return -1;
    }

    int m_hostLimit;
    int m_searchLimit;
    int m_total = 0;
    int m_hosts = 0;
    std::uint32_t m_addresses[MaxSearchFailedFetches] = {};
    int m_failures[MaxSearchFailedFetches] = {};
};

struct Listener
{
    ReplyHandler handler;
    const SearchInterface* interfaces;
    int interfaceCount;
    bool explaining;
    FetchBudget budget;
    SsdpReply* head = nullptr;
    int kept = 0;
};

void beginRecord(AnswerRecord& record, const Listener& listener, const ReceiveResult& received,
                 const SearchReplyHeaders& headers)
{
    record = AnswerRecord();
    record.sourceAddress = received.sourceAddress;
    if (received.channel >= 0 && received.channel < listener.interfaceCount) {
        std::memcpy(record.interfaceName, listener.interfaces[received.channel].name, sizeof record.interfaceName);
    }
    const auto copy = [](char(&field)[AnswerTextSize], std::optional<std::string_view> value) {
        const std::size_t n = value ? std::min(value->size(), static_cast<std::size_t>(AnswerTextSize - 1)) : 0;
        if (n > 0) {
            std::memcpy(field, value->data(), n);
        }
        field[n] = '\0';
    };
    copy(record.location, headers.location);
    copy(record.usn, headers.usn);
}

// Decides over one answer that has a location and a search target. False when the search
// must end (no memory for the reply).
bool takeAnswer(Listener& listener, const ReceiveResult& received, const SearchReplyHeaders& headers,
                AnswerRecord* record)
{
    if (received.channel >= 0 && received.channel < listener.interfaceCount &&
        !isOnInterfaceNetwork(listener.interfaces[received.channel], received.sourceAddress)) {
        if (record != nullptr) {
            record->fate = AnswerFate::LocationRefused;
            record->refusal = Refusal::NotOnNetwork;
        }
        return true;
    }
    const std::string_view usn = headers.usn.value_or(std::string_view());
    if (listener.kept >= MaxKeptReplies || isDuplicate(listener.head, usn)) {
        if (record != nullptr) {
            record->fate = listener.kept >= MaxKeptReplies ? AnswerFate::LimitReached : AnswerFate::DuplicateUsn;
            record->limit = listener.kept >= MaxKeptReplies ? SearchLimit::KeptAnswers : SearchLimit::None;
        }
        return true;
    }
    SsdpReply* reply = makeReply(*headers.location, *headers.searchTarget, usn);
    if (reply == nullptr) {
        return false;
    }
    reply->sourceAddress = received.sourceAddress;
    reply->next = listener.head;
    listener.head = reply;
    ++listener.kept;
    // Answers that point where nothing answers each cost a fetch's wait: past its budget a host
    // is no longer fetched (a quiet turn still ends the search).
    const SearchLimit limit = listener.budget.check(received.sourceAddress);
    if (limit != SearchLimit::None) {
        if (record != nullptr) {
            record->fate = AnswerFate::LimitReached;
            record->limit = limit;
        }
        return true;
    }
    const ReplyOutcome outcome = listener.handler(*reply, record);
    if (outcome == ReplyOutcome::FetchFailed) {
        listener.budget.failed(received.sourceAddress);
    }
    if (record != nullptr && record->fate == AnswerFate::Incomplete) {
        // A handler that says no more than its outcome.
        record->fate = outcome == ReplyOutcome::Published     ? AnswerFate::Listed
                       : outcome == ReplyOutcome::FetchFailed ? AnswerFate::FetchFailed
                                                              : AnswerFate::TypeNotAccepted;
    }
    return true;
}

} // namespace

SsdpReply* listenForReplies(ByteSource& source, SearchResult* error, int startTurn, ReplyHandler handler,
                            Deadline deadline, const SearchInterface* interfaces, int interfaceCount)
{
    setError(error, SearchResult::SearchOk);
    // Relaxed: test knobs set before the search starts; nothing else is ordered by them.
    const int waitMs = timing().turnWaitMs.load(std::memory_order_relaxed);
    Listener listener{handler == nullptr ? addDeviceFromReply : handler, interfaces,
                      interfaces == nullptr ? 0 : interfaceCount, answerLogEnabled(),
                      FetchBudget(timing().failedFetchLimit.load(std::memory_order_relaxed),
                                  timing().failedFetchSearchLimit.load(std::memory_order_relaxed))};
    char buffer[DatagramBufferSize];
    AnswerRecord scratch;
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
            if (listener.head != nullptr) {
                setError(error, SearchResult::SearchOk);
                break;
            }
            continue;
        }
        if (turn == RestingTurn) {
            turn = RestingTurn - 1;
        }
        const SearchReplyHeaders headers = parseSearchReply(buffer, received.size);
        AnswerRecord* record = listener.explaining ? &scratch : nullptr;
        if (record != nullptr) {
            beginRecord(*record, listener, received, headers);
        }
        const bool complete = headers.location && headers.searchTarget;
        if (complete && !takeAnswer(listener, received, headers, record)) {
            setError(error, SearchResult::SearchOutOfMemory);
            break;
        }
        if (record != nullptr) {
            appendAnswer(*record);
        }
    }
    return listener.head;
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
