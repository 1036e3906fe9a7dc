// The SSDP search on loopback inside a throwaway network namespace, against in-test responders.
#include "SsdpResponder.h"
#include "protocol.h"
#include "ssdp.h"

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

void recordReply(const SsdpReply& reply)
{
    g_handled.push_back({reply.location, reply.searchTarget, reply.usn});
    g_handledCount.fetch_add(1);
}

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
    SsdpReply* head = ssdpSearch(&run.error, 0, recordReply);
    run.elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    for (const SsdpReply* r = head; r != nullptr; r = r->next) {
        run.list.push_back({r->location, r->searchTarget, r->usn});
    }
    freeReplyList(head);
    return run;
}

Datagram after(int delayMs, std::string bytes)
{
    return {std::move(bytes), delayMs};
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

// Puts the namespace's routes back as the wrapper made them, for when all cases run in one
// process by hand.
struct RoutesRestored
{
    RoutesRestored() = default;
    RoutesRestored(const RoutesRestored&) = delete;
    RoutesRestored& operator=(const RoutesRestored&) = delete;
    ~RoutesRestored()
    {
        qvtest::runIp({"route", "del", "224.0.0.0/4", "dev", "lo"});
        qvtest::runIp({"route", "replace", "default", "dev", "lo", "src", "127.0.0.1"});
    }
};

} // namespace

TEST_F(SsdpSearch, SendsTheExactSearchOnceFromTheRoutedInterface)
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
    const sockaddr_in source = responder.searchSource();
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &source.sin_addr, text, sizeof text);
    EXPECT_STREQ(text, "127.0.0.1") << "bound to the interface that routes toward the probe address";
    EXPECT_NE(ntohs(source.sin_port), 1900);
    EXPECT_EQ(run.error, SearchResult::SearchOk);
    EXPECT_TRUE(run.list.empty());
}

TEST_F(SsdpSearch, NoAnswerEndsAfterEightSilentTurns)
{
    // Sent well after the eighth turn has ended: nobody listens any more.
    SsdpResponder responder({after(TurnMs * 10, ssdpAnswer("http://127.0.0.1:1/d.xml", "uuid:late"))});
    ASSERT_TRUE(responder.ready());
    const SearchRun run = search();
    EXPECT_EQ(run.error, SearchResult::SearchOk);
    EXPECT_TRUE(run.list.empty());
    EXPECT_TRUE(g_handled.empty());
    EXPECT_GE(run.elapsedMs, TurnMs * 8 - 10);
}

TEST_F(SsdpSearch, AnAnswerInTheEighthTurnIsStillHeard)
{
    // Later than seven turns: only an eighth turn hears it. (A late search could hear it in an
    // earlier turn, which does not make the case fail; a late responder could miss the eighth.)
    SsdpResponder responder({after(TurnMs * 7 + TurnMs / 4, ssdpAnswer("http://127.0.0.1:1/d.xml", "uuid:late"))});
    ASSERT_TRUE(responder.ready());
    const SearchRun run = search();
    EXPECT_EQ(run.error, SearchResult::SearchOk);
    EXPECT_EQ(run.list, (std::vector<Kept>{{"http://127.0.0.1:1/d.xml", "upnp:rootdevice", "uuid:late"}}));
}

TEST_F(SsdpSearch, OneAnswerIsHandledAndTheNextSilentTurnEndsTheSearch)
{
    const Kept first{"http://127.0.0.1:8080/desc.xml", "upnp:rootdevice", "uuid:one::upnp:rootdevice"};
    SsdpResponder responder({
        after(0, ssdpAnswer(first.location, first.usn)),
        after(TurnMs * 3, ssdpAnswer("http://127.0.0.1:8080/two.xml", "uuid:two")),
    });
    ASSERT_TRUE(responder.ready());
    const SearchRun run = search();
    EXPECT_EQ(run.error, SearchResult::SearchOk);
    EXPECT_EQ(g_handled, std::vector<Kept>{first});
    EXPECT_EQ(run.list, std::vector<Kept>{first});
}

TEST_F(SsdpSearch, AnswersLessThanATurnApartAreAllKeptNewestFirst)
{
    SsdpResponder responder({
        after(0, ssdpAnswer("http://127.0.0.1/a", "uuid:a")),
        after(TurnMs / 5, ssdpAnswer("http://127.0.0.1/b", "uuid:b")),
        after(TurnMs / 5, ssdpAnswer("http://127.0.0.1/c", "uuid:c")),
    });
    ASSERT_TRUE(responder.ready());
    const SearchRun run = search();
    const Kept a{"http://127.0.0.1/a", "upnp:rootdevice", "uuid:a"};
    const Kept b{"http://127.0.0.1/b", "upnp:rootdevice", "uuid:b"};
    const Kept c{"http://127.0.0.1/c", "upnp:rootdevice", "uuid:c"};
    EXPECT_EQ(g_handled, (std::vector<Kept>{a, b, c}));
    EXPECT_EQ(run.list, (std::vector<Kept>{c, b, a}));
}

TEST_F(SsdpSearch, TheSameUsnIsKeptOnce)
{
    SsdpResponder responder({
        after(0, ssdpAnswer("http://127.0.0.1/first", "uuid:same")),
        after(10, ssdpAnswer("http://127.0.0.1/second", "uuid:same")),
        after(10, ssdpAnswer("http://127.0.0.1/third", "uuid:same")),
    });
    ASSERT_TRUE(responder.ready());
    const SearchRun run = search();
    EXPECT_EQ(run.list, (std::vector<Kept>{{"http://127.0.0.1/first", "upnp:rootdevice", "uuid:same"}}));
    EXPECT_EQ(g_handled.size(), 1U);
}

TEST_F(SsdpSearch, AnswersWithoutUsnCountAsOneDevice)
{
    SsdpResponder responder({
        after(0, "HTTP/1.1 200 OK\r\nLOCATION: http://127.0.0.1/1\r\nST: upnp:rootdevice\r\n\r\n"),
        after(10, "HTTP/1.1 200 OK\r\nLOCATION: http://127.0.0.1/2\r\nST: upnp:rootdevice\r\n\r\n"),
        after(10, "HTTP/1.1 200 OK\r\nLOCATION: http://127.0.0.1/3\r\nST: upnp:rootdevice\r\nUSN:\r\n\r\n"),
        after(10, ssdpAnswer("http://127.0.0.1/4", "uuid:4")),
    });
    ASSERT_TRUE(responder.ready());
    const SearchRun run = search();
    EXPECT_EQ(g_handled, (std::vector<Kept>{{"http://127.0.0.1/1", "upnp:rootdevice", ""},
                                            {"http://127.0.0.1/4", "upnp:rootdevice", "uuid:4"}}));
}

TEST_F(SsdpSearch, AnswersNeedALocationAndASearchTargetLine)
{
    SsdpResponder responder({
        after(0, "HTTP/1.1 200 OK\r\nLOCATION: http://127.0.0.1/no-st\r\nSERVER: x\r\nUSN: uuid:a\r\n\r\n"),
        after(10, "HTTP/1.1 200 OK\r\nST: upnp:rootdevice\r\nUSN: uuid:b\r\n\r\n"),
        after(10, "HTTP/1.1 200 OK\r\nLOCATION: http://127.0.0.1/empty-st\r\nST:\r\nUSN: uuid:c\r\n\r\n"),
    });
    ASSERT_TRUE(responder.ready());
    const SearchRun run = search();
    EXPECT_EQ(run.error, SearchResult::SearchOk);
    EXPECT_EQ(run.list, (std::vector<Kept>{{"http://127.0.0.1/empty-st", "", "uuid:c"}}));
}

TEST_F(SsdpSearch, HeaderNamesInAnyCaseSpacesDroppedTabKept)
{
    SsdpResponder responder({
        after(0, "HTTP/1.1 200 OK\r\nlocation:    http://127.0.0.1/a  \r\nst: s\r\nusn: u1\r\n\r\n"),
        after(10, "HTTP/1.1 200 OK\r\nLOCATION:\thttp://127.0.0.1/b\r\nSt: s\r\nUsN: u2\r\n\r\n"),
        after(10, "HTTP/1.1 200 OK\nLocation: http://127.0.0.1/c\nSTATUS: fine\nUSN: u3\n\n"),
    });
    ASSERT_TRUE(responder.ready());
    const SearchRun run = search();
    EXPECT_EQ(g_handled, (std::vector<Kept>{{"http://127.0.0.1/a  ", "s", "u1"},
                                            {"\thttp://127.0.0.1/b", "s", "u2"},
                                            {"http://127.0.0.1/c", "fine", "u3"}}));
}

TEST_F(SsdpSearch, AnswersInTheLastTurnKeepTheSearchListening)
{
    // Seven datagrams that are not kept move the turn counter to 7. Twenty more would end the
    // search if they still counted; only then comes the one real answer.
    const std::string junk = "HTTP/1.1 200 OK\r\nSERVER: nothing to keep\r\n\r\n";
    std::vector<Datagram> script;
    script.reserve(28);
    for (int i = 0; i < 7; ++i) {
        script.push_back(after(5, junk));
    }
    for (int i = 0; i < 20; ++i) {
        script.push_back(after(TurnMs / 5, junk));
    }
    script.push_back(after(TurnMs / 5, ssdpAnswer("http://127.0.0.1/last", "uuid:last")));
    SsdpResponder responder(script);
    ASSERT_TRUE(responder.ready());
    const SearchRun run = search();
    EXPECT_EQ(run.error, SearchResult::SearchOk);
    EXPECT_EQ(run.list, (std::vector<Kept>{{"http://127.0.0.1/last", "upnp:rootdevice", "uuid:last"}}));
}

TEST_F(SsdpSearch, AFloodOfDistinctAnswersIsCappedAtTheKeptLimit)
{
    // Long turns: a responder held up by a busy machine must not look like the end of answers.
    timing().turnWaitMs.store(1000);
    constexpr int Extra = 64;
    std::vector<Datagram> script;
    script.reserve(MaxKeptReplies + Extra);
    for (int i = 0; i < MaxKeptReplies + Extra; ++i) {
        script.push_back(after(0, ssdpAnswer("http://127.0.0.1/d", "uuid:flood-" + std::to_string(i))));
    }
    // The window lets the Extra answers past the limit queue up once the handler stops
    // acknowledging, so they do reach the search.
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

TEST_F(SsdpSearch, WithoutAnyRouteTheSendFailsAndIsReported)
{
    const RoutesRestored restore;
    ASSERT_EQ(qvtest::runIp({"route", "del", "default"}), 0);
    testing::internal::CaptureStdout();
    const SearchRun run = search();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Socket error: sendto, " + std::to_string(ENETUNREACH) + "\n");
    EXPECT_EQ(run.error, SearchResult::SearchOk) << "a failed send leaves the cell at 0";
    EXPECT_TRUE(run.list.empty());
    EXPECT_LT(run.elapsedMs, TurnMs) << "no listening after a failed send";
}

TEST_F(SsdpSearch, WithoutARouteTowardTheProbeTheSearchSendsFromAnyAddress)
{
    // Only the multicast range is routed: the interface choice finds nothing and the socket
    // stays on 0.0.0.0, yet the search goes out and the answer comes back.
    const RoutesRestored restore;
    ASSERT_EQ(qvtest::runIp({"route", "del", "default"}), 0);
    ASSERT_EQ(qvtest::runIp({"route", "add", "224.0.0.0/4", "dev", "lo"}), 0);
    SsdpResponder responder({after(0, ssdpAnswer("http://127.0.0.1/a", "uuid:a"))});
    ASSERT_TRUE(responder.ready());
    const SearchRun run = search();
    EXPECT_EQ(run.error, SearchResult::SearchOk);
    EXPECT_EQ(run.list.size(), 1U);
    EXPECT_EQ(responder.searchCount(), 1);
}
