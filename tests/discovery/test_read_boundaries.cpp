// The answer reader and the search's listening loop fed from memory: the read boundaries, the
// empty datagrams and the quiet turns are the test's choice, not the network's.
#include "MemoryByteSource.h"
#include "http.h"
#include "protocol.h"
#include "ssdp.h"
#include "worker.h"

#include <arpa/inet.h>
#include <ctime>
#include <gtest/gtest.h>
#include <string>

using namespace qvd;
using qvtest::bytes;
using qvtest::MemoryByteSource;
using qvtest::silence;
using qvtest::SourceStep;

namespace {

std::string readBody(std::vector<SourceStep> steps)
{
    MemoryByteSource source(std::move(steps), MemoryByteSource::Mode::Stream);
    std::size_t length = 7;
    const std::optional<HttpBody> body = readHttpResponse(source, &length, Deadline::max());
    EXPECT_EQ(length, body ? body->size() : 0u);
    return body ? std::string(body->data(), body->size()) : std::string("(none)");
}

constexpr char ChunkedHead[] = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

} // namespace

// However the answer is cut into reads, the body is the one the whole answer gives.
TEST(ReadBoundaries, AChunkedBodyIsTheSameWhereverTheReadsEnd)
{
    const std::string answers[] = {
        std::string(ChunkedHead) + "8;ext=1\r\n12345678\r\n3\r\nabc\r\n0\r\n\r\n",
        std::string(ChunkedHead) + "4;a=\"b c\";d\r\n\r\n\r\n\r\n2\r\nxy\r\n0\r\n",
        // A size line that ends with a bare CR, and one that ends with a bare LF.
        std::string(ChunkedHead) + "5\rABCDE\r\n3\nfgh\r\n0\r\n",
        // Digits past the 31 kept ones, then an extension.
        std::string(ChunkedHead) + std::string(30, '0') + "2" + "ffff;x\r\nhi\r\n0\r\n",
    };
    for (const std::string& answer : answers) {
        SCOPED_TRACE(answer);
        const std::string whole = readBody({bytes(answer)});
        ASSERT_NE(whole, "(none)");
        for (std::size_t cut = 1; cut < answer.size(); ++cut) {
            const std::string_view all(answer);
            EXPECT_EQ(readBody({bytes(all.substr(0, cut)), bytes(all.substr(cut))}), whole) << "cut at " << cut;
        }
        std::vector<SourceStep> oneByte;
        for (std::size_t i = 0; i < answer.size(); ++i) {
            oneByte.push_back(bytes(std::string_view(answer).substr(i, 1)));
        }
        EXPECT_EQ(readBody(oneByte), whole) << "one byte per read";
    }
    // The digits have ended at the extension: the next read's leading digits are no size.
    EXPECT_EQ(readBody({bytes(std::string(ChunkedHead) + "8;ext=1"), bytes("0\r\n12345678\r\n0\r\n\r\n")}), "12345678");
}

TEST(ReadBoundaries, ReadingEndsAtSilenceCloseOrFailureWithWhatArrived)
{
    const std::string head = "HTTP/1.1 200 OK\r\n\r\n";
    for (const SourceStep& end :
         {silence(), SourceStep{SourceStep::Kind::Close, {}, 0}, SourceStep{SourceStep::Kind::Fail, {}, 0}}) {
        MemoryByteSource source({bytes(head), bytes("abc"), end, bytes("never")}, MemoryByteSource::Mode::Stream);
        std::size_t length = 0;
        const std::optional<HttpBody> body = readHttpResponse(source, &length, Deadline::max());
        ASSERT_TRUE(body);
        EXPECT_EQ(std::string(body->data(), body->size()), "abc");
        EXPECT_EQ(source.pending(), 1u) << "nothing is read after the end";
        // Each wait is the read wait while the fetch's deadline is far.
        EXPECT_EQ(source.waits().front(), timing().readWaitMs.load());
    }
}

// A header block sent one byte per read costs time in proportion to its length, not its square.
TEST(ReadBoundaries, AHeaderBlockReadOneByteAtATimeCostsLittleCpu)
{
    const std::string block = "HTTP/1.1 200 OK\r\nX: " + std::string(MaxHeaderBytes, 'h');
    std::vector<SourceStep> steps;
    for (std::size_t i = 0; i < block.size(); ++i) {
        steps.push_back(bytes(std::string_view(block).substr(i, 1)));
    }
    MemoryByteSource source(std::move(steps), MemoryByteSource::Mode::Stream);
    timespec before{}, after{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
    std::size_t length = 0;
    EXPECT_FALSE(readHttpResponse(source, &length, Deadline::max()));
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
    const double ms = (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6;
    // A rescan of the whole block per read costs over a second here, more under the sanitizers.
    EXPECT_LT(ms, 1500.0);
    EXPECT_GT(source.pending(), 0u) << "reading stops at the header cap";
    // The end is still found when its four bytes arrive one per read.
    EXPECT_EQ(readBody({bytes("HTTP/1.1 200 OK\r"), bytes("\n"), bytes("\r"), bytes("\n"), bytes("body")}), "body");
    EXPECT_EQ(readBody({bytes("HTTP/1.1 200 OK\n"), bytes("\nbody")}), "body");
}

namespace {

std::vector<std::string> g_handled;
ReplyOutcome g_outcome = ReplyOutcome::Published;

ReplyOutcome record(const SsdpReply& reply, AnswerRecord*)
{
    g_handled.push_back(reply.location);
    return g_outcome;
}

std::string answerFor(const std::string& name)
{
    return "HTTP/1.1 200 OK\r\nLOCATION: http://10.0.0.1/" + name + "\r\nST: upnp:rootdevice\r\nUSN: uuid:" + name +
           "\r\n\r\n";
}

struct Listened
{
    SearchResult error = SearchResult::SearchFailed;
    std::vector<std::string> handled;
    std::size_t pending = 0; // steps the search never read
};

Listened listen(std::vector<SourceStep> steps, Deadline deadline = Deadline::max())
{
    g_handled.clear();
    MemoryByteSource source(std::move(steps), MemoryByteSource::Mode::Datagram);
    Listened result;
    freeReplyList(listenForReplies(source, &result.error, 0, record, deadline));
    result.handled = g_handled;
    result.pending = source.pending();
    return result;
}

} // namespace

// An empty datagram is neither an answer nor silence: it changes no turn and ends no search.
TEST(ReadBoundaries, EmptyDatagramsNeitherEndNorCountAsTurns)
{
    g_outcome = ReplyOutcome::Published;
    const std::string a = answerFor("a"), b = answerFor("b");
    const SourceStep empty = bytes("");
    const struct
    {
        const char* name;
        std::vector<SourceStep> steps;
        std::vector<std::string> handled;
        std::size_t pending;
    } cases[] = {
        {"eight empty datagrams before the first answer",
         {empty, empty, empty, empty, empty, empty, empty, empty, bytes(a), silence(), bytes(b)},
         {"http://10.0.0.1/a"},
         1},
        {"empty datagrams after the first answer",
         {bytes(a), empty, empty, bytes(b), silence(), bytes(b)},
         {"http://10.0.0.1/a", "http://10.0.0.1/b"},
         1},
        {"seven quiet turns and empties, then an answer",
         {silence(), silence(), silence(), silence(), silence(), silence(), silence(), empty, empty, bytes(a),
          silence()},
         {"http://10.0.0.1/a"},
         0},
        {"eight quiet turns end the search",
         {silence(), empty, silence(), silence(), silence(), silence(), silence(), silence(), silence(), bytes(a)},
         {},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Listened run = listen(c.steps);
        EXPECT_EQ(run.error, SearchResult::SearchOk);
        EXPECT_EQ(run.handled, c.handled);
        EXPECT_EQ(run.pending, c.pending);
    }
}

TEST(ReadBoundaries, FailedFetchesPastTheLimitStopTheFetchingNotTheListening)
{
    const int limit = timing().failedFetchLimit.load();
    std::vector<std::string> answers;
    for (int i = 0; i < limit + 5; ++i) {
        answers.push_back(answerFor("dead" + std::to_string(i)));
    }
    answers.push_back(answerFor("good"));
    std::vector<SourceStep> steps;
    for (const std::string& a : answers) {
        steps.push_back(bytes(a));
    }
    steps.push_back(silence());
    g_outcome = ReplyOutcome::FetchFailed;
    Listened run = listen(steps);
    EXPECT_EQ(run.error, SearchResult::SearchOk);
    ASSERT_EQ(run.handled.size(), static_cast<std::size_t>(limit));
    EXPECT_EQ(run.handled.back(), "http://10.0.0.1/dead" + std::to_string(limit - 1));
    EXPECT_EQ(run.pending, 0u) << "the search still reads to the quiet turn";

    // Fetches that bring a body, published or not, never count.
    g_outcome = ReplyOutcome::NotPublished;
    run = listen(steps);
    EXPECT_EQ(run.handled.size(), answers.size());
    EXPECT_EQ(run.handled.back(), "http://10.0.0.1/good");
}

TEST(ReadBoundaries, APassedDeadlineEndsTheSearchAsAQuietTurnWould)
{
    g_outcome = ReplyOutcome::Published;
    const std::string a = answerFor("a");
    const Listened run = listen({bytes(a), bytes(a)}, std::chrono::steady_clock::now());
    EXPECT_EQ(run.error, SearchResult::SearchOk);
    EXPECT_TRUE(run.handled.empty());
    EXPECT_EQ(run.pending, 2u);
}

TEST(ReadBoundaries, OnlyALocationOnTheAnsweringHostIsFetched)
{
    in_addr host{};
    ASSERT_EQ(::inet_pton(AF_INET, "192.168.1.20", &host), 1);
    const struct
    {
        const char* location;
        bool fetched;
    } cases[] = {
        {"http://192.168.1.20:80/desc.xml", true},
        {"http://192.168.1.20/desc.xml", true},
        {"http://192.168.1.21:80/desc.xml", false},
        {"http://127.0.0.1:80/desc.xml", false},
        {"http://nas.local:80/desc.xml", false},
        {"http://192.168.1.20.nip.io/desc.xml", false},
        {"http://3232235796/desc.xml", false}, // 192.168.1.20 as one number: a resolver's form only
        {"http://192.168.276/desc.xml", false},
        {"http://[::ffff:192.168.1.20]/desc.xml", false},
        {"http://192.168.1.20", false}, // no path: no URL
    };
    for (const auto& c : cases) {
        EXPECT_EQ(locationIsOnHost(c.location, host.s_addr), c.fetched) << c.location;
    }
    EXPECT_FALSE(locationIsOnHost("http://0.0.0.0/d", 0)) << "an unknown sender matches nothing";
}
