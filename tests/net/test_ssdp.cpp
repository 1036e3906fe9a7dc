// The SSDP search on loopback inside a throwaway network namespace, against in-test responders.
#include "SsdpResponder.h"
#include "protocol.h"
#include "ssdp.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

using namespace qvd;
using qvtest::Datagram;
using qvtest::ssdpAnswer;
using qvtest::SsdpResponder;

namespace {

constexpr int TurnMs = 250;

struct Kept
{
    std::string location;
    std::string searchTarget;
    std::string usn;
    bool operator==(const Kept&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Kept& k)
{
    return os << "{" << k.location << " | " << k.searchTarget << " | " << k.usn << "}";
}

// What the handler saw, in call order. It runs on the searching (test) thread; the atomic
// counter is also read by the responder's flow control.
std::vector<Kept> g_handled;
std::atomic<int> g_handledCount{0};

struct SearchRun
{
    SearchResult error = SearchResult::SearchFailed;
    std::vector<Kept> list; // the returned list, newest first
    long long elapsedMs = 0;
};

SearchRun search()
{
    SearchRun run;
    const auto start = std::chrono::steady_clock::now();
    SsdpReply* head = ssdpSearch(&run.error, 0, [](const SsdpReply& reply) {
        g_handled.push_back({reply.location, reply.searchTarget, reply.usn});
        g_handledCount.fetch_add(1);
    });
    run.elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    for (const SsdpReply* r = head; r != nullptr; r = r->next) {
        run.list.push_back({r->location, r->searchTarget, r->usn});
    }
    freeReplyList(head);
    return run;
}

class SsdpSearch : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!qvtest::onlyLoopback()) {
            GTEST_SKIP() << "not in a network namespace of its own";
        }
        timing().turnWaitMs.store(TurnMs);
        g_handled.clear();
        g_handledCount.store(0);
        m_fdsBefore = qvtest::openFdCount();
    }
    void TearDown() override
    {
        if (!IsSkipped()) {
            EXPECT_EQ(qvtest::openFdCount(), m_fdsBefore) << "descriptors leaked";
        }
    }

private:
    int m_fdsBefore = 0;
};

struct Exchange
{
    const char* name;
    std::vector<Datagram> script; // delays in ms after the previous datagram
    std::vector<Kept> handled;    // in arrival order; the list returned is the reverse
};

void PrintTo(const Exchange& e, std::ostream* os)
{
    *os << e.name;
}

const std::string Junk = "HTTP/1.1 200 OK\r\nSERVER: nothing to keep\r\n\r\n";
const std::string Ok = "HTTP/1.1 200 OK\r\n";

std::vector<Exchange> exchanges()
{
    const Kept a{"http://127.0.0.1/a", "upnp:rootdevice", "uuid:a"};
    const Kept b{"http://127.0.0.1/b", "upnp:rootdevice", "uuid:b"};
    const Kept c{"http://127.0.0.1/c", "upnp:rootdevice", "uuid:c"};
    // Seven datagrams that are not kept move the turn counter to 7; twenty more would end the
    // search if they still counted, and only then comes the one real answer.
    std::vector<Datagram> lastTurn(7, {Junk, 5});
    lastTurn.insert(lastTurn.end(), 20, {Junk, TurnMs / 5});
    lastTurn.push_back({ssdpAnswer(a.location, a.usn), TurnMs / 5});
    return {
        {"OneAnswerEndsTheSearchOneTurnLater",
         {{ssdpAnswer(a.location, a.usn), 0}, {ssdpAnswer(b.location, b.usn), TurnMs * 3}},
         {a}},
        // Later than seven silent turns: only an eighth turn hears it.
        {"AnAnswerInTheEighthTurnIsHeard", {{ssdpAnswer(a.location, a.usn), TurnMs * 7 + TurnMs / 4}}, {a}},
        {"AnswersInTheLastTurnKeepTheSearchListening", lastTurn, {a}},
        {"AnswersLessThanATurnApartAreKeptNewestFirst",
         {{ssdpAnswer(a.location, a.usn), 0},
          {ssdpAnswer(b.location, b.usn), TurnMs / 5},
          {ssdpAnswer(c.location, c.usn), TurnMs / 5}},
         {a, b, c}},
        {"TheSameUsnIsKeptOnce",
         {{ssdpAnswer(a.location, "uuid:same"), 0},
          {ssdpAnswer(b.location, "uuid:same"), 10},
          {ssdpAnswer(c.location, "uuid:same"), 10}},
         {{a.location, a.searchTarget, "uuid:same"}}},
        {"AnswersWithoutUsnCountAsOneDevice",
         {{Ok + "LOCATION: http://127.0.0.1/1\r\nST: upnp:rootdevice\r\n\r\n", 0},
          {Ok + "LOCATION: http://127.0.0.1/2\r\nST: upnp:rootdevice\r\n\r\n", 10},
          {Ok + "LOCATION: http://127.0.0.1/3\r\nST: upnp:rootdevice\r\nUSN:\r\n\r\n", 10},
          {ssdpAnswer(a.location, a.usn), 10}},
         {{"http://127.0.0.1/1", "upnp:rootdevice", ""}, a}},
        {"AnswersNeedALocationAndASearchTargetLine",
         {{Ok + "LOCATION: http://127.0.0.1/no-st\r\nSERVER: x\r\nUSN: uuid:a\r\n\r\n", 0},
          {Ok + "ST: upnp:rootdevice\r\nUSN: uuid:b\r\n\r\n", 10},
          {Ok + "LOCATION: http://127.0.0.1/empty-st\r\nST:\r\nUSN: uuid:c\r\n\r\n", 10}},
         {{"http://127.0.0.1/empty-st", "", "uuid:c"}}},
        {"HeaderNamesInAnyCaseSpacesDroppedTabKept",
         {{Ok + "location:    http://127.0.0.1/a  \r\nst: s\r\nusn: u1\r\n\r\n", 0},
          {Ok + "LOCATION:\thttp://127.0.0.1/b\r\nSt: s\r\nUsN: u2\r\n\r\n", 10},
          {"HTTP/1.1 200 OK\nLocation: http://127.0.0.1/c\nSTATUS: fine\nUSN: u3\n\n", 10}},
         {{"http://127.0.0.1/a  ", "s", "u1"},
          {"\thttp://127.0.0.1/b", "s", "u2"},
          {"http://127.0.0.1/c", "fine", "u3"}}},
    };
}

class SsdpExchange : public SsdpSearch, public testing::WithParamInterface<Exchange>
{
};

} // namespace

TEST_P(SsdpExchange, KeepsTheExpectedAnswers)
{
    SsdpResponder responder(GetParam().script);
    ASSERT_TRUE(responder.ready());
    const SearchRun run = search();
    EXPECT_EQ(run.error, SearchResult::SearchOk);
    EXPECT_EQ(g_handled, GetParam().handled);
    EXPECT_EQ(run.list, std::vector<Kept>(GetParam().handled.rbegin(), GetParam().handled.rend()));
}

INSTANTIATE_TEST_SUITE_P(Ssdp, SsdpExchange, testing::ValuesIn(exchanges()),
                         [](const testing::TestParamInfo<Exchange>& p) { return p.param.name; });

TEST_F(SsdpSearch, SendsTheExactSearchOnceAndEndsAfterEightSilentTurns)
{
    timing().turnWaitMs.store(50);
    SsdpResponder responder({});
    ASSERT_TRUE(responder.ready());
    testing::internal::CaptureStdout();
    const SearchRun run = search();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "no diagnostics on success";
    const std::string expected = "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nST: upnp:rootdevice\r\n"
                                 "MAN: \"ssdp:discover\"\r\nMX: 1\r\n\r\n";
    ASSERT_EQ(expected.size(), 101U);
    EXPECT_EQ(responder.firstSearch(), expected);
    EXPECT_EQ(responder.searchCount(), 1);
    // Bound to the interface that routes toward the probe address, on a port of its own.
    EXPECT_EQ(responder.searchSource().rfind("127.0.0.1:", 0), 0u) << responder.searchSource();
    EXPECT_NE(responder.searchSource(), "127.0.0.1:1900");
    EXPECT_EQ(run.error, SearchResult::SearchOk);
    EXPECT_TRUE(run.list.empty());
    EXPECT_GE(run.elapsedMs, 50 * 8 - 10);
}

TEST_F(SsdpSearch, AFloodOfDistinctAnswersIsCappedAtTheKeptLimit)
{
    // Long turns: a responder held up by a busy machine must not look like the end of answers.
    timing().turnWaitMs.store(1000);
    constexpr int Extra = 64;
    std::vector<Datagram> script;
    for (int i = 0; i < MaxKeptReplies + Extra; ++i) {
        script.push_back({ssdpAnswer("http://127.0.0.1/d", "uuid:flood-" + std::to_string(i)), 0});
    }
    // The window lets the answers past the limit queue up once the handler stops acknowledging.
    SsdpResponder responder(script, &g_handledCount, Extra);
    ASSERT_TRUE(responder.ready());
    const SearchRun run = search();
    EXPECT_EQ(run.error, SearchResult::SearchOk);
    EXPECT_EQ(responder.sent(), MaxKeptReplies + Extra);
    EXPECT_EQ(g_handledCount.load(), MaxKeptReplies);
    ASSERT_EQ(run.list.size(), static_cast<std::size_t>(MaxKeptReplies));
    EXPECT_EQ(run.list.front().usn, "uuid:flood-" + std::to_string(MaxKeptReplies - 1));
    EXPECT_EQ(run.list.back().usn, "uuid:flood-0");
}

TEST_F(SsdpSearch, RoutesDecideWhetherAndFromWhereTheSearchIsSent)
{
    ASSERT_EQ(qvtest::runIp("route del default"), 0);
    testing::internal::CaptureStdout();
    SearchRun run = search();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Socket error: sendto, " + std::to_string(ENETUNREACH) + "\n");
    EXPECT_EQ(run.error, SearchResult::SearchOk) << "a failed send leaves the cell at 0";
    EXPECT_LT(run.elapsedMs, TurnMs) << "no listening after a failed send";

    // Only the multicast range routed: no interface is chosen and the socket stays on 0.0.0.0,
    // yet the search goes out and the answer comes back.
    ASSERT_EQ(qvtest::runIp("route add 224.0.0.0/4 dev lo"), 0);
    SsdpResponder responder({{ssdpAnswer("http://127.0.0.1/a", "uuid:a"), 0}});
    ASSERT_TRUE(responder.ready());
    run = search();
    EXPECT_EQ(run.list.size(), 1U);
    EXPECT_EQ(responder.searchCount(), 1);
    // Back as the wrapper made them, for when all cases run in one process by hand.
    qvtest::runIp("route del 224.0.0.0/4 dev lo");
    qvtest::runIp("route replace default dev lo src 127.0.0.1");
}
