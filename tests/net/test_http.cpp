// The description fetch against scripted peers on loopback. Each case runs in a network
// namespace of its own that has only lo; a binary started anywhere else skips every case.
#include "LoopbackServer.h"
#include "http.h"
#include "protocol.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <net/if.h>
#include <netdb.h>
#include <new>
#include <pthread.h>
#include <sstream>
#include <string>
#include <thread>

// The largest single allocation made by a thread while it has probing switched on. The whole
// binary's allocations pass through here; only the probing thread records anything. Kept out
// of line so that the compiler never pairs an inlined free with a visible operator new.
namespace {
thread_local bool t_probing = false;
thread_local std::size_t t_largestAllocation = 0;

void* allocate(std::size_t size)
{
    if (t_probing && size > t_largestAllocation) {
        t_largestAllocation = size;
    }
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}
} // namespace

[[gnu::noinline]] void* operator new(std::size_t size)
{
    return allocate(size);
}
[[gnu::noinline]] void* operator new[](std::size_t size)
{
    return allocate(size);
}
[[gnu::noinline]] void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size == 0 ? 1 : size);
}
[[gnu::noinline]] void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size == 0 ? 1 : size);
}
[[gnu::noinline]] void operator delete(void* p) noexcept
{
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p) noexcept
{
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

namespace {

using qvtest::Ending;
using qvtest::LoopbackServer;
using qvtest::Piece;
using qvtest::Script;

class AllocationProbe
{
public:
    AllocationProbe()
    {
        t_largestAllocation = 0;
        t_probing = true;
    }
    ~AllocationProbe() { t_probing = false; }
    AllocationProbe(const AllocationProbe&) = delete;
    AllocationProbe& operator=(const AllocationProbe&) = delete;
    std::size_t largest() const { return t_largestAllocation; }
};

bool onlyLoopback()
{
    struct if_nameindex* names = ::if_nameindex();
    if (names == nullptr) {
        return false;
    }
    bool onlyLo = true;
    for (const struct if_nameindex* entry = names; entry->if_index != 0; ++entry) {
        onlyLo = onlyLo && std::string(entry->if_name) == "lo";
    }
    ::if_freenameindex(names);
    return onlyLo;
}

std::size_t openFdCount()
{
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

std::string readFixture(const std::string& name)
{
    std::ifstream in(std::string(QVD_TEST_DATA_DIR) + "/http/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string text(const std::optional<qvd::HttpBody>& body)
{
    return body ? std::string(body->begin(), body->end()) : std::string("<no body>");
}

std::string okHeaders(const std::string& lines)
{
    return "HTTP/1.1 200 OK\r\n" + lines + "\r\n";
}

struct Fetched
{
    std::optional<qvd::HttpBody> body;
    std::size_t length = 12345;
    std::string request;
    bool clientClosedFirst = false;
    std::uint16_t port = 0;
};

Fetched fetch(Script script, const std::string& path = "/desc.xml")
{
    LoopbackServer server(std::move(script));
    Fetched result;
    result.port = server.port();
    result.body = qvd::httpGetUrl(server.url(path).c_str(), &result.length);
    server.join();
    result.request = server.request();
    result.clientClosedFirst = server.clientClosedFirst();
    return result;
}

// Feeds a complete answer through a socket pair, as a server that then closes would.
std::optional<qvd::HttpBody> readAnswer(const std::string& answer, std::size_t* length)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        ADD_FAILURE() << "socketpair";
        return std::nullopt;
    }
    qvd::UniqueFd reader(ends[0]);
    qvd::UniqueFd writer(ends[1]);
    EXPECT_EQ(::send(writer.get(), answer.data(), answer.size(), MSG_NOSIGNAL), static_cast<ssize_t>(answer.size()));
    ::shutdown(writer.get(), SHUT_WR);
    return qvd::readHttpResponse(reader.get(), length);
}

class HttpFetch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!onlyLoopback()) {
            GTEST_SKIP() << "not in a namespace of its own with only lo; refusing to touch a real network";
        }
        m_isolated = true;
        // Release: the fetch code loads the timings with acquire.
        qvd::timing().readWaitMs.store(300, std::memory_order_release);
        qvd::timing().connectWaitMs.store(300, std::memory_order_release);
        m_fdsBefore = openFdCount();
    }
    void TearDown() override
    {
        if (!m_isolated) {
            return;
        }
        EXPECT_EQ(openFdCount(), m_fdsBefore) << "a descriptor leaked";
        // Release: as above; later cases start from the product's values.
        qvd::timing().readWaitMs.store(5000, std::memory_order_release);
        qvd::timing().connectWaitMs.store(3000, std::memory_order_release);
    }

private:
    bool m_isolated = false;
    std::size_t m_fdsBefore = 0;
};

TEST_F(HttpFetch, SendsOneGetWithHostPortAndCloseHeaders)
{
    const Fetched got = fetch({{{okHeaders("Content-Length: 5\r\n") + "hello"}}}, "/desc.xml?id=7");
    EXPECT_EQ(got.request, "GET /desc.xml?id=7 HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(got.port) +
                               "\r\nConnection: Close\r\nUser-Agent: Windows, UPnP/1.0, QVLink/1.00.01\r\n\r\n");
    EXPECT_EQ(text(got.body), "hello");
    EXPECT_EQ(got.length, 5u);
}

TEST_F(HttpFetch, FillsTheLocalAddressOfTheConnection)
{
    LoopbackServer server({{{okHeaders("Content-Length: 2\r\n") + "ok"}}});
    char local[qvd::LocalAddressSize];
    std::memset(local, 'z', sizeof local);
    std::size_t length = 0;
    const auto body = qvd::httpGetUrl(server.url().c_str(), &length, local);
    EXPECT_EQ(text(body), "ok");
    EXPECT_STREQ(local, "127.0.0.1");
}

TEST_F(HttpFetch, EmptiesLengthAndLocalAddressWhenNothingIsFetched)
{
    char local[qvd::LocalAddressSize] = "stale";
    std::size_t length = 77;
    EXPECT_FALSE(qvd::httpGetUrl("http://127.0.0.1", &length, local));
    EXPECT_EQ(length, 0u);
    EXPECT_STREQ(local, "");
}

TEST_F(HttpFetch, Ipv6LiteralUrlKeepsBracketsInTheHostHeader)
{
    Script script{{{okHeaders("Content-Length: 4\r\n") + "six!"}}};
    LoopbackServer server(std::move(script), AF_INET6);
    if (!server.listening()) {
        GTEST_SKIP() << "no ::1 in this namespace";
    }
    char local[qvd::LocalAddressSize] = {};
    std::size_t length = 0;
    const auto body = qvd::httpGetUrl(server.url("/d.xml").c_str(), &length, local);
    server.join();
    EXPECT_EQ(text(body), "six!");
    EXPECT_STREQ(local, "::1");
    EXPECT_NE(server.request().find("\r\nHost: [::1]:" + std::to_string(server.port()) + "\r\n"), std::string::npos)
        << server.request();
}

TEST_F(HttpFetch, ContentLengthShorterThanBodyCutsItAndStopsReading)
{
    // A 5 s wait would show if the reader kept listening after the announced length.
    qvd::timing().readWaitMs.store(5000, std::memory_order_release);
    Script script{{{okHeaders("Content-Length: 10\r\n") + "0123456789ABCDE"}}, Ending::WaitForClientClose};
    script.holdMs = 2500;
    const Fetched got = fetch(std::move(script));
    EXPECT_EQ(text(got.body), "0123456789");
    EXPECT_EQ(got.length, 10u);
    EXPECT_TRUE(got.clientClosedFirst);
}

TEST_F(HttpFetch, ContentLengthLongerThanBodyReturnsWhatArrived)
{
    const Fetched closed = fetch({{{okHeaders("Content-Length: 10\r\n") + "01234"}}});
    EXPECT_EQ(text(closed.body), "01234");
    EXPECT_EQ(closed.length, 5u);

    const Fetched silent =
        fetch({{{okHeaders("Content-Length: 10\r\n") + "01234"}, {"567", 100}}, Ending::WaitForClientClose});
    EXPECT_EQ(text(silent.body), "01234567");
    EXPECT_TRUE(silent.clientClosedFirst);
}

TEST_F(HttpFetch, BodyWithoutLengthIsReadUntilTheServerCloses)
{
    const Fetched got = fetch({{{okHeaders("Content-Type: text/xml\r\n") + "<a>"}, {"<b/>", 100}, {"</a>", 100}}});
    EXPECT_EQ(text(got.body), "<a><b/></a>");
    EXPECT_EQ(got.length, 11u);
}

TEST_F(HttpFetch, BodyWithoutLengthEndsWhenTheServerFallsSilent)
{
    const Fetched got = fetch({{{okHeaders("") + "<a>"}, {"</a>", 100}}, Ending::WaitForClientClose});
    EXPECT_EQ(text(got.body), "<a></a>");
    EXPECT_TRUE(got.clientClosedFirst);
}

TEST_F(HttpFetch, HeadersWithoutBodyGiveNoBody)
{
    const Fetched empty = fetch({{{okHeaders("Content-Length: 0\r\n")}}});
    EXPECT_FALSE(empty.body);
    EXPECT_EQ(empty.length, 0u);

    const Fetched unfinished = fetch({{{"HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r"}}});
    EXPECT_FALSE(unfinished.body);
    EXPECT_EQ(unfinished.length, 0u);

    const Fetched nothing = fetch({{}});
    EXPECT_FALSE(nothing.body);
}

TEST_F(HttpFetch, HeaderBlockMayEndInALaterRead)
{
    const Fetched got = fetch({{{"HTTP/1.1 200 OK\r\nContent-Le"}, {"ngth: 3\r\n\r", 100}, {"\nabcdef", 100}}});
    EXPECT_EQ(text(got.body), "abc");
}

TEST_F(HttpFetch, StatusLineIsNotExamined)
{
    const Fetched notFound = fetch({{{"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nno device"}}});
    EXPECT_EQ(text(notFound.body), "no device");
    const Fetched garbage = fetch({{{"SOMETHING ELSE\r\n\r\nbody"}}});
    EXPECT_EQ(text(garbage.body), "body");
}

TEST_F(HttpFetch, ChunkSizeLinesSplitAcrossReadsAreReassembled)
{
    const std::string chunk(0x1a, 'c');
    const Fetched got = fetch({{{okHeaders("Transfer-Encoding: chunked\r\n") + "1"},
                                {"a\r\n" + chunk + "\r", 100},
                                {"\n3\r", 100},
                                {"\nxyz\r\n0\r\n\r\n", 100}},
                               Ending::WaitForClientClose});
    EXPECT_EQ(text(got.body), chunk + "xyz");
    EXPECT_TRUE(got.clientClosedFirst) << "the last chunk must end the read";
}

TEST_F(HttpFetch, ChunkSplitInsideItsDataContinuesInTheNextRead)
{
    const Fetched got = fetch({{{okHeaders("Transfer-Encoding: chunked\r\n") + "8;ext=1\r\nabc"},
                                {"defgh", 100},
                                {"\r\n2\r\n!!\r\n0\r\n\r\n", 100}}});
    EXPECT_EQ(text(got.body), "abcdefgh!!");
}

TEST_F(HttpFetch, ChunkedBodyCutShortReturnsWhatArrived)
{
    const Fetched got = fetch({{{okHeaders("Transfer-Encoding: chunked\r\n") + "10\r\nonly-part"}}});
    EXPECT_EQ(text(got.body), "only-part");
    EXPECT_EQ(got.length, 9u);
}

TEST_F(HttpFetch, HostileContentLengthAllocatesOnlyWhatArrives)
{
    for (const char* announced : {"999999999999", "99999999999999999999999999999", "2147483648", "-5"}) {
        SCOPED_TRACE(announced);
        LoopbackServer server({{{okHeaders(std::string("Content-Length: ") + announced + "\r\n") + "tiny body"}}});
        std::size_t length = 0;
        std::optional<qvd::HttpBody> body;
        std::size_t largest = 0;
        {
            AllocationProbe probe;
            body = qvd::httpGetUrl(server.url().c_str(), &length);
            largest = probe.largest();
        }
        EXPECT_EQ(text(body), "tiny body");
        EXPECT_LE(largest, 4 * qvd::InitialBufferSize);
    }
}

TEST_F(HttpFetch, EndlessBodyStopsAtTheCeiling)
{
    Script script{{{okHeaders("")}}, Ending::Endless};
    LoopbackServer server(std::move(script));
    std::size_t length = 0;
    std::size_t largest = 0;
    std::optional<qvd::HttpBody> body;
    {
        AllocationProbe probe;
        body = qvd::httpGetUrl(server.url().c_str(), &length);
        largest = probe.largest();
    }
    server.join();
    ASSERT_TRUE(body);
    EXPECT_EQ(length, qvd::MaxBodyBytes);
    EXPECT_EQ(body->size(), qvd::MaxBodyBytes);
    EXPECT_EQ(std::string(body->begin(), body->begin() + 8), "xxxxxxxx");
    EXPECT_LE(largest, qvd::MaxBodyBytes);
    EXPECT_TRUE(server.clientClosedFirst());
}

TEST_F(HttpFetch, EndlessChunkStopsAtTheCeiling)
{
    Script script{{{okHeaders("Transfer-Encoding: chunked\r\n") + "FFFFFFFF\r\n"}}, Ending::Endless};
    const Fetched got = fetch(std::move(script));
    EXPECT_EQ(got.length, qvd::MaxBodyBytes);
    EXPECT_TRUE(got.clientClosedFirst);
}

TEST_F(HttpFetch, EndlessHeaderBlockGivesNoBody)
{
    Script script{{{"HTTP/1.1 200 OK\r\n"}}, Ending::Endless};
    script.filler = "X-Padding: " + std::string(500, 'p') + "\r\n";
    LoopbackServer server(std::move(script));
    std::size_t length = 1;
    std::size_t largest = 0;
    std::optional<qvd::HttpBody> body;
    {
        AllocationProbe probe;
        body = qvd::httpGetUrl(server.url().c_str(), &length);
        largest = probe.largest();
    }
    server.join();
    EXPECT_FALSE(body);
    EXPECT_EQ(length, 0u);
    EXPECT_LE(largest, 2 * qvd::MaxHeaderBytes + qvd::ReceiveBufferSize);
    EXPECT_TRUE(server.clientClosedFirst());
}

TEST_F(HttpFetch, RefusedConnectionReportsConnect)
{
    std::uint16_t port = 0;
    {
        // A port that was just bound and released has no listener.
        LoopbackServer probe({{}, Ending::Close, {}, 0, 0});
        port = probe.port();
    }
    std::size_t length = 3;
    testing::internal::CaptureStdout();
    const auto body = qvd::httpGetUrl(("http://127.0.0.1:" + std::to_string(port) + "/d").c_str(), &length);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Socket error: connect, " + std::to_string(ECONNREFUSED) + "\n");
    EXPECT_FALSE(body);
    EXPECT_EQ(length, 0u);
}

TEST_F(HttpFetch, SilentAddressIsBoundedByTheConnectWait)
{
    // Nothing in this namespace answers for 10.255.255.1: the handshake never completes.
    const auto start = std::chrono::steady_clock::now();
    testing::internal::CaptureStdout();
    const qvd::UniqueFd fd = qvd::connectHostPort("10.255.255.1", 80);
    const std::string out = testing::internal::GetCapturedStdout();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(fd.valid());
    EXPECT_EQ(out, "Socket error: connect, " + std::to_string(ETIMEDOUT) + "\n");
    EXPECT_GE(waited, std::chrono::milliseconds(250));
    EXPECT_LT(waited, std::chrono::seconds(20)) << "the platform's own connect time-out is minutes";
}

TEST_F(HttpFetch, UnresolvableHostReportsTheResolverCode)
{
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    const auto body = qvd::httpGetUrl("http://no such host/desc.xml", nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(body);
    EXPECT_EQ(err, "getaddrinfo() error : " + std::to_string(EAI_NONAME) + "\n");
    EXPECT_EQ(out, "");
}

TEST_F(HttpFetch, UrlsThatCannotBeRequestedNeverConnect)
{
    Script script{{{okHeaders("Content-Length: 1\r\n") + "x"}}};
    script.acceptWaitMs = 300;
    LoopbackServer server(std::move(script));
    const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
    std::size_t length = 5;
    EXPECT_FALSE(qvd::httpGetUrl(base.c_str(), &length));
    // A path that cannot fit the request buffer must not go out cut short.
    EXPECT_FALSE(qvd::httpGetUrl((base + "/" + std::string(qvd::RequestBufferSize, 'p')).c_str(), &length));
    EXPECT_EQ(length, 0u);
    server.join();
    EXPECT_FALSE(server.accepted());
}

TEST_F(HttpFetch, ResetAfterSomeBodyBytesKeepsThem)
{
    Script script{{{okHeaders("") + "partial"}, {"", 150}}, Ending::Reset};
    testing::internal::CaptureStdout();
    const Fetched got = fetch(std::move(script));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(text(got.body), "partial");
    EXPECT_EQ(out, "Socket error: recv, " + std::to_string(ECONNRESET) + "\n");
}

// Answers read straight from a socket pair: header rules and the chunk decoder.
TEST_F(HttpFetch, HeaderNamesMatchAsPrefixesInAnyCase)
{
    struct Case
    {
        const char* answer;
        const char* body;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nContent: 4\r\n\r\nabcdefgh", "abcd"},
        {"HTTP/1.1 200 OK\r\nCONTENT-length:\t 3\r\n\r\nabcdefgh", "abc"},
        {"HTTP/1.1 200 OK\r\nc: 2\r\n\r\nabcdefgh", "ab"},
        {"HTTP/1.1 200 OK\r\nContent-Lengthy: 3\r\n\r\nabcdefgh", "abcdefgh"},
        {"HTTP/1.1 200 OK\r\n: 3\r\n\r\nabcdefgh", "abcdefgh"},
        {"HTTP/1.1 200 OK\r\nContent-Type: 3\r\n\r\nabcdefgh", "abcdefgh"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5x9\r\n\r\nabcdefgh", "abcde"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 6\r\n\r\nabcdefgh", "abcdef"},
        {"HTTP/1.1 200 OK\r\nTransfer-Enc: CHUNKED\r\n\r\n3\r\nabc\r\n0\r\n\r\n", "abc"},
        {"HTTP/1.1 200 OK\r\nTRANSFER-ENCODING:chunkedness\r\n\r\n2\r\nab\r\n0\r\n\r\n", "ab"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n2\r\nab\r\n0\r\n\r\n", "2\r\nab\r\n0\r\n\r\n"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encodings: chunked\r\n\r\n2\r\nab\r\n0\r\n\r\n", "2\r\nab\r\n0\r\n\r\n"},
        {"HTTP/1.1 200 OK\nContent-Length: 3\n\nabcdef", "abc"},
        {"HTTP/1.1 200 OK\r\nX: y\n\nbody", "body"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        std::size_t length = 0;
        EXPECT_EQ(text(readAnswer(c.answer, &length)), c.body);
        EXPECT_EQ(length, std::strlen(c.body));
    }
}

TEST_F(HttpFetch, ChunkSizeKeepsOnlyItsFirst31Digits)
{
    // 31 digits wrap to their last eight (0x0000000A); the nine after them are ignored.
    const std::string size = "1" + std::string(22, '0') + "0000000A" + "FFFFFFFFF";
    ASSERT_EQ(size.size(), 40u);
    std::size_t length = 0;
    const auto body =
        readAnswer(okHeaders("Transfer-Encoding: chunked\r\n") + size + "\r\n0123456789\r\n0\r\n\r\n", &length);
    EXPECT_EQ(text(body), "0123456789");

    // The same line with the nine extra digits counted would ask for 0xAFFFFFFFFF bytes.
    const std::string zeros = std::string(31, '0') + "123456789";
    EXPECT_FALSE(readAnswer(okHeaders("Transfer-Encoding: chunked\r\n") + zeros + "\r\nrest\r\n", &length));
}

TEST_F(HttpFetch, LastChunkEndsTheBodyAndTrailersAreIgnored)
{
    std::size_t length = 0;
    const auto body = readAnswer(okHeaders("Transfer-Encoding: chunked\r\n") +
                                     "4\r\nWiki\r\n5;a=b\r\npedia\r\n0\r\nX-Tail: 1\r\n\r\n6\r\nextra!\r\n",
                                 &length);
    EXPECT_EQ(text(body), "Wikipedia");
    EXPECT_EQ(length, 9u);
    EXPECT_FALSE(readAnswer(okHeaders("Transfer-Encoding: chunked\r\n") + "0\r\n\r\n", &length));
    EXPECT_EQ(length, 0u);
}

TEST_F(HttpFetch, AnnouncedLengthAlsoEndsAChunkedBodyAfterTheReadThatReachesIt)
{
    const std::string head = okHeaders("Transfer-Encoding: chunked\r\nContent-Length: 3\r\n");
    // Whole chunks of one read are taken; the length is checked between reads.
    std::size_t length = 0;
    EXPECT_EQ(text(readAnswer(head + "5\r\nhello\r\n5\r\nworld\r\n0\r\n\r\n", &length)), "helloworld");
    const Fetched got = fetch({{{head + "5\r\nhello\r\n"}, {"5\r\nworld\r\n0\r\n\r\n", 100}}});
    EXPECT_EQ(text(got.body), "hello");
}

TEST_F(HttpFetch, FixtureAnswersYieldTheirBodies)
{
    for (const char* name : {"content-length", "chunked", "read-to-close", "error-page", "lf-only"}) {
        SCOPED_TRACE(name);
        const std::string expected = readFixture(std::string(name) + ".body");
        ASSERT_FALSE(expected.empty());
        std::size_t length = 0;
        EXPECT_EQ(text(readAnswer(readFixture(std::string(name) + ".http"), &length)), expected);
        EXPECT_EQ(length, expected.size());
    }
    std::size_t length = 9;
    EXPECT_FALSE(readAnswer(readFixture("headers-only.http"), &length));
    EXPECT_EQ(length, 0u);
}

// receiveWithTimeout on its own, as the SSDP search uses it.
TEST_F(HttpFetch, ReceiveWithTimeoutDistinguishesDataSilenceAndClose)
{
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    qvd::UniqueFd reader(ends[0]);
    qvd::UniqueFd writer(ends[1]);
    char buffer[8];
    EXPECT_EQ(qvd::receiveWithTimeout(reader.get(), buffer, sizeof buffer, 50), 0);
    ASSERT_EQ(::send(writer.get(), "0123456789", 10, 0), 10);
    EXPECT_EQ(qvd::receiveWithTimeout(reader.get(), buffer, sizeof buffer, 50), 8);
    EXPECT_EQ(std::string(buffer, 8), "01234567");
    EXPECT_EQ(qvd::receiveWithTimeout(reader.get(), buffer, sizeof buffer, 50), 2);
    writer.reset();
    EXPECT_EQ(qvd::receiveWithTimeout(reader.get(), buffer, sizeof buffer, 50), 0);
}

TEST_F(HttpFetch, ReceiveWithTimeoutReportsAnUnusableSocket)
{
    char buffer[4];
    testing::internal::CaptureStdout();
    EXPECT_EQ(qvd::receiveWithTimeout(-1, buffer, sizeof buffer, 10), -1);
    EXPECT_EQ(qvd::receiveWithTimeout(1000000, buffer, sizeof buffer, 10), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Socket error: select, " + std::to_string(EBADF) +
                                                          "\nSocket error: select, " + std::to_string(EBADF) + "\n");

    // A stream socket that never connected polls as hung up; the receive itself fails.
    qvd::UniqueFd unconnected(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    testing::internal::CaptureStdout();
    const int got = qvd::receiveWithTimeout(unconnected.get(), buffer, sizeof buffer, 10);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(got, -1);
    EXPECT_EQ(out, "Socket error: recv, " + std::to_string(ENOTCONN) + "\n");
}

void ignoreSignal(int) {}

TEST_F(HttpFetch, ReceiveWithTimeoutWaitsOnAfterASignal)
{
    struct sigaction action
    {
    };
    action.sa_handler = ignoreSignal;
    struct sigaction previous
    {
    };
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    qvd::UniqueFd reader(ends[0]);
    qvd::UniqueFd writer(ends[1]);
    const pthread_t waiting = ::pthread_self();
    std::thread interrupter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::pthread_kill(waiting, SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::send(writer.get(), "late", 4, MSG_NOSIGNAL);
    });
    char buffer[8];
    testing::internal::CaptureStdout();
    const int got = qvd::receiveWithTimeout(reader.get(), buffer, sizeof buffer, 5000);
    const std::string out = testing::internal::GetCapturedStdout();
    interrupter.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(got, 4);
    EXPECT_EQ(out, "");
}

} // namespace
