// The SSDP search on loopback inside a throwaway network namespace, against in-test responders.
#include "SsdpResponder.h"
#include "protocol.h"
#include "ssdp.h"

#include <gtest/gtest.h>

using namespace qvd;
using qvtest::answer;
using qvtest::Datagram;
using qvtest::SsdpResponder;

namespace {

constexpr int TurnMs = 250;

// What the handler saw, in call order, as "location|st|usn". It runs on the searching (test)
// thread; the counter is also read by the responder's flow control.
std::vector<std::string> g_handled;
std::atomic<int> g_handledCount{0};

std::string kept(const SsdpReply& r)
{
    return std::string(r.location) + "|" + r.searchTarget + "|" + r.usn;
}

struct SearchRun
{
    SearchResult error = SearchResult::SearchFailed;
    std::vector<std::string> list; // the returned list, newest first
    std::chrono::steady_clock::duration elapsed{};
};

SearchRun search()
{
    SearchRun run;
    g_handled.clear();
    const auto start = std::chrono::steady_clock::now();
    SsdpReply* head = ssdpSearch(&run.error, 0, [](const SsdpReply& reply, AnswerRecord*) {
        g_handled.push_back(kept(reply));
        // Relaxed: the responder only paces itself by it.
        g_handledCount.fetch_add(1, std::memory_order_relaxed);
        return ReplyOutcome::Published;
    });
    run.elapsed = std::chrono::steady_clock::now() - start;
    for (const SsdpReply* r = head; r != nullptr; r = r->next) {
        run.list.push_back(kept(*r));
    }
    freeReplyList(head);
    return run;
}

class SsdpSearch : public qvtest::NetTest
{
protected:
    void SetUp() override
    {
        NetTest::SetUp();
        timing().turnWaitMs.store(TurnMs);
    }
};

Datagram bare(const std::string& lines)
{
    return {"HTTP/1.1 200 OK\r\n" + lines + "\r\n", 10};
}

} // namespace

TEST_F(SsdpSearch, KeepsTheExpectedAnswers)
{
    const std::string a = "http://127.0.0.1/a|upnp:rootdevice|uuid:a";
    const std::string b = "http://127.0.0.1/b|upnp:rootdevice|uuid:b";
    const Datagram junk{"HTTP/1.1 200 OK\r\nSERVER: nothing to keep\r\n\r\n", 5};
    // Seven datagrams that are not kept move the turn counter to 7; twenty more would end the
    // search if they still counted, and only then comes the one real answer.
    std::vector<Datagram> lastTurn(7, junk);
    lastTurn.insert(lastTurn.end(), 20, {junk.bytes, TurnMs / 5});
    lastTurn.push_back(answer("http://127.0.0.1/a", "uuid:a", TurnMs / 5));
    const struct
    {
        const char* name;
        std::vector<Datagram> script;     // delays in ms after the previous datagram
        std::vector<std::string> handled; // in arrival order; the list returned is the reverse
    } cases[] = {
        // b comes within a turn of a; the one after them comes after a quiet turn, too late.
        {"a quiet turn after a kept answer ends the search",
         {answer("http://127.0.0.1/a", "uuid:a"), answer("http://127.0.0.1/b", "uuid:b", TurnMs / 5),
          answer("http://127.0.0.1/late", "uuid:late", TurnMs * 2)},
         {a, b}},
        {"answers in the last turn keep the search listening", lastTurn, {a}},
        // An absent USN equals a kept empty one; every kept reply counts, not just the newest.
        {"duplicate USNs are kept once",
         {answer("http://127.0.0.1/a", "uuid:a"), bare("LOCATION: http://127.0.0.1/1\r\nST: s\r\n"),
          answer("http://127.0.0.1/b", "uuid:a", 10), bare("LOCATION: http://127.0.0.1/2\r\nST: s\r\nUSN:\r\n"),
          bare("LOCATION: http://127.0.0.1/3\r\nST: s\r\n")},
         {a, "http://127.0.0.1/1|s|"}},
        {"answers need a location and a search target line",
         {bare("LOCATION: http://127.0.0.1/no-st\r\nUSN: uuid:a\r\n"), bare("ST: s\r\nUSN: uuid:b\r\n"),
          bare("LOCATION: http://127.0.0.1/empty-st\r\nST:\r\nUSN: uuid:c\r\n")},
         {"http://127.0.0.1/empty-st||uuid:c"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SsdpResponder responder(c.script);
        ASSERT_TRUE(responder.ready());
        const SearchRun run = search();
        EXPECT_EQ(run.error, SearchResult::SearchOk);
        EXPECT_EQ(g_handled, c.handled);
        EXPECT_EQ(run.list, std::vector<std::string>(c.handled.rbegin(), c.handled.rend()));
    }
}

TEST_F(SsdpSearch, SendsTheExactSearchOnceAndEndsAfterEightSilentTurns)
{
    timing().turnWaitMs.store(50);
    SsdpResponder responder({});
    ASSERT_TRUE(responder.ready());
    testing::internal::CaptureStdout();
    const SearchRun run = search();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "no diagnostics on success";
    EXPECT_EQ(responder.searches(), std::vector<std::string>{"M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\n"
                                                             "ST: upnp:rootdevice\r\nMAN: \"ssdp:discover\"\r\n"
                                                             "MX: 1\r\n\r\n"});
    EXPECT_NE(responder.searchSource(), "127.0.0.1:1900") << "the search needs a port of its own";
    EXPECT_EQ(run.error, SearchResult::SearchOk);
    EXPECT_TRUE(run.list.empty());
    EXPECT_GE(run.elapsed, std::chrono::milliseconds(50 * 8 - 10));
}

TEST_F(SsdpSearch, AFloodOfDistinctAnswersIsCappedAtTheKeptLimit)
{
    // Long turns: a responder held up by a busy machine must not look like the end of answers.
    timing().turnWaitMs.store(1000);
    g_handledCount.store(0);
    constexpr int Extra = 64;
    std::vector<Datagram> script;
    for (int i = 0; i < MaxKeptReplies + Extra; ++i) {
        script.push_back(answer("http://127.0.0.1/d", "uuid:flood-" + std::to_string(i)));
    }
    // The window lets the answers past the limit queue up once the handler stops acknowledging.
    SsdpResponder responder(script, &g_handledCount, Extra);
    ASSERT_TRUE(responder.ready());
    const SearchRun run = search();
    EXPECT_EQ(run.error, SearchResult::SearchOk);
    EXPECT_EQ(responder.sent(), MaxKeptReplies + Extra);
    ASSERT_EQ(run.list.size(), static_cast<std::size_t>(MaxKeptReplies));
    EXPECT_EQ(g_handled.size(), run.list.size());
    EXPECT_EQ(run.list.front(), "http://127.0.0.1/d|upnp:rootdevice|uuid:flood-" + std::to_string(MaxKeptReplies - 1));
}

TEST_F(SsdpSearch, RoutesDecideWhetherAndFromWhereTheSearchIsSent)
{
    ASSERT_TRUE(qvtest::runIp("route del default"));
    testing::internal::CaptureStdout();
    SearchRun run = search();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Socket error: sendto, " + std::to_string(ENETUNREACH) + "\n");
    EXPECT_EQ(run.error, SearchResult::SearchOk) << "a failed send leaves the cell at 0";
    EXPECT_LT(run.elapsed, std::chrono::milliseconds(TurnMs)) << "no listening after a failed send";

    // Only the multicast range routed: nothing routes toward the probe address, so the socket
    // stays on 0.0.0.0 and the kernel picks the source; the answer still comes back.
    ASSERT_TRUE(qvtest::runIp("route add 224.0.0.0/4 dev lo src 127.0.0.1"));
    SsdpResponder responder({answer("http://127.0.0.1/a", "uuid:a")});
    ASSERT_TRUE(responder.ready());
    EXPECT_EQ(search().list.size(), 1U);
    EXPECT_EQ(responder.searchSource().rfind("127.0.0.1:", 0), 0u) << responder.searchSource();

    // With a route toward it, the search goes out from that route's address, not the one the
    // kernel would pick for the group.
    ASSERT_TRUE(qvtest::runIp("route add default dev lo src 127.0.0.2"));
    EXPECT_EQ(search().list.size(), 1U);
    EXPECT_EQ(responder.searches().size(), 2U);
    EXPECT_EQ(responder.searchSource().rfind("127.0.0.2:", 0), 0u) << responder.searchSource();
    // Back as the wrapper made them, for when all cases run in one process by hand.
    qvtest::runIp("route del 224.0.0.0/4 dev lo");
    qvtest::runIp("route replace default dev lo src 127.0.0.1");
}

// Empty datagrams before and after the first answer: dropped, never taken for a quiet turn, and
// never a reason to listen longer.
TEST_F(SsdpSearch, EmptyDatagramsNeitherEndTheSearchNorKeepItListening)
{
    const Datagram empty{"", 0};
    std::vector<Datagram> script(8, empty);
    script.push_back(answer("http://127.0.0.1/a", "uuid:a", 10));
    script.push_back({"", TurnMs / 5});
    script.push_back(answer("http://127.0.0.1/b", "uuid:b", TurnMs / 5));
    // Empties through the quiet turn after b, then an answer that comes too late.
    for (int i = 0; i < 5; ++i) {
        script.push_back({"", TurnMs / 4});
    }
    script.push_back(answer("http://127.0.0.1/late", "uuid:late", TurnMs / 4));
    SsdpResponder responder(script);
    ASSERT_TRUE(responder.ready());
    const SearchRun run = search();
    EXPECT_EQ(run.error, SearchResult::SearchOk);
    EXPECT_EQ(g_handled, (std::vector<std::string>{"http://127.0.0.1/a|upnp:rootdevice|uuid:a",
                                                   "http://127.0.0.1/b|upnp:rootdevice|uuid:b"}));
    // b comes about 0.4 turns after the start and the quiet turn after it ends the search: the
    // empties within that turn did not lengthen it, or the late answer would be kept.
    EXPECT_GE(run.elapsed, std::chrono::milliseconds(TurnMs * 13 / 10));
    EXPECT_LT(run.elapsed, std::chrono::milliseconds(TurnMs * 3));
}

// Answers that never let a turn pass quietly hold the search only until its deadline.
TEST_F(SsdpSearch, AnEndlessStreamOfAnswersEndsAtTheSearchDeadline)
{
    timing().searchDeadlineMs.store(TurnMs * 3);
    std::vector<Datagram> script;
    for (int i = 0; i < 200; ++i) {
        script.push_back({"HTTP/1.1 200 OK\r\nSERVER: chatter\r\n\r\n", TurnMs / 10});
    }
    SsdpResponder responder(script);
    ASSERT_TRUE(responder.ready());
    const SearchRun run = search();
    EXPECT_EQ(run.error, SearchResult::SearchOk);
    EXPECT_GE(run.elapsed, std::chrono::milliseconds(TurnMs * 3 - 5));
    EXPECT_LT(run.elapsed, std::chrono::milliseconds(TurnMs * 5));
}
