// The search's listening turns fed a sequence of datagrams, empty datagrams and quiet turns
// chosen by the input, in memory, and checked against the rules written out a second time:
// which answers are kept and handed on, in what order, and where the search ends.
//
// Input: a sequence of events. A byte b starts one: b % 4 == 0 is a quiet turn, 1 an empty
// datagram, otherwise a datagram whose length is the next byte and whose bytes follow. After
// the input every turn is quiet.
#include "MemoryByteSource.h"
#include "protocol.h"
#include "ssdp.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using qvtest::MemoryByteSource;
using qvtest::SourceStep;

// Small, so that inputs reach it.
constexpr int FailedFetchLimit = 3;

std::vector<std::string> g_handled;

// A fetch fails for a location of odd length: the limit is reached by some inputs, not all.
qvd::ReplyOutcome handle(const qvd::SsdpReply& reply, qvd::AnswerRecord*)
{
    g_handled.emplace_back(reply.location);
    return std::string_view(reply.location).size() % 2 != 0 ? qvd::ReplyOutcome::FetchFailed
                                                            : qvd::ReplyOutcome::Published;
}

struct Expected
{
    std::vector<std::string> handled;
    std::vector<std::string> kept; // oldest first
    std::size_t consumed = 0;      // events read before the end
};

// The rules: a quiet turn ends the search once a reply is kept, else it uses up a turn; a
// datagram uses up a turn except in the last one; an empty datagram is nothing; eight turns
// end the search. A datagram with a location and a search target and a new USN is kept (at most
// MaxKeptReplies) and handed on while fewer than the limit of fetches have failed.
Expected model(const std::vector<SourceStep>& steps)
{
    Expected e;
    std::vector<std::string> usns;
    int turn = 0;
    int failed = 0;
    for (std::size_t i = 0;; ++i) {
        if (turn >= qvd::SearchTurns) {
            break;
        }
        const bool quiet = i >= steps.size() || steps[i].kind == SourceStep::Kind::Silence;
        e.consumed = std::min(i + 1, steps.size());
        if (quiet) {
            if (!e.kept.empty()) {
                break;
            }
            ++turn;
            continue;
        }
        const std::string_view bytes = steps[i].bytes;
        if (bytes.empty()) {
            continue;
        }
        if (turn == qvd::SearchTurns - 1) {
            turn = qvd::SearchTurns - 2;
        }
        ++turn;
        const qvd::SearchReplyHeaders h = qvd::parseSearchReply(bytes.data(), bytes.size());
        if (!h.location || !h.searchTarget) {
            continue;
        }
        // A kept text is a terminated copy: it ends at its first NUL, while the answer's USN
        // is compared with all its bytes.
        const std::string_view usn = h.usn.value_or(std::string_view());
        if (static_cast<int>(e.kept.size()) >= qvd::MaxKeptReplies ||
            std::find(usns.begin(), usns.end(), usn) != usns.end()) {
            continue;
        }
        usns.emplace_back(std::string(usn).c_str());
        e.kept.emplace_back(std::string(*h.location).c_str());
        if (failed < FailedFetchLimit) {
            e.handled.push_back(e.kept.back());
            failed += e.handled.back().size() % 2 != 0 ? 1 : 0;
        }
    }
    return e;
}

std::vector<SourceStep> events(std::string_view input)
{
    std::vector<SourceStep> steps;
    while (!input.empty()) {
        const auto kind = static_cast<std::uint8_t>(input[0]) % 4;
        input.remove_prefix(1);
        if (kind == 0) {
            steps.push_back(qvtest::silence());
        } else if (kind == 1) {
            steps.push_back(qvtest::bytes({}));
        } else {
            const std::size_t n =
                input.empty() ? 0 : std::min<std::size_t>(static_cast<std::uint8_t>(input[0]), input.size() - 1);
            steps.push_back(qvtest::bytes(input.substr(input.empty() ? 0 : 1, n)));
            input.remove_prefix(input.empty() ? 0 : 1 + n);
        }
    }
    return steps;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool once = [] {
        // A turn never runs out in memory; the time a quiet turn takes plays no part here.
        qvd::timing().turnWaitMs.store(INT_MAX / 2);
        qvd::timing().failedFetchLimit.store(FailedFetchLimit);
        return true;
    }();
    (void)once;
    const std::vector<SourceStep> steps = events(std::string_view(reinterpret_cast<const char*>(data), size));
    const Expected expected = model(steps);

    g_handled.clear();
    MemoryByteSource source(steps, MemoryByteSource::Mode::Datagram);
    qvd::SearchResult error = qvd::SearchResult::SearchFailed;
    qvd::SsdpReply* head = qvd::listenForReplies(source, &error, 0, handle, qvd::Deadline::max());
    std::vector<std::string> kept;
    for (const qvd::SsdpReply* r = head; r != nullptr; r = r->next) {
        kept.insert(kept.begin(), r->location);
    }
    qvd::freeReplyList(head);
    if (error != qvd::SearchResult::SearchOk || g_handled != expected.handled || kept != expected.kept ||
        steps.size() - source.pending() != expected.consumed) {
        __builtin_trap();
    }
    return 0;
}
