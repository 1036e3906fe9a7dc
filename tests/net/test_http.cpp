// The description fetch against scripted peers on loopback. Each case runs in a network
// namespace of its own that has only lo; a binary started anywhere else skips every case.
#include "LoopbackServer.h"
#include "http.h"
#include "protocol.h"

#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <netdb.h>
#include <pthread.h>
#include <tuple>

namespace {

using qvtest::Ending;
using qvtest::LoopbackServer;
using qvtest::Script;

std::string text(const std::optional<qvd::HttpBody>& body)
{
    return body ? std::string(body->begin(), body->end()) : std::string();
}

std::string ok(const std::string& headerLines)
{
    return "HTTP/1.1 200 OK\r\n" + headerLines + "\r\n";
}

const std::string Chunked = ok("Transfer-Encoding: chunked\r\n");

void setWaits(int readMs, int connectMs)
{
    // Release: the fetch code loads the timings with acquire.
    qvd::timing().readWaitMs.store(readMs, std::memory_order_release);
    qvd::timing().connectWaitMs.store(connectMs, std::memory_order_release);
}

struct Fetched
{
    std::optional<qvd::HttpBody> body;
    std::size_t length = 12345;
    bool clientClosedFirst = false;
};

Fetched fetch(Script script)
{
    LoopbackServer server({{"*", std::move(script)}});
    Fetched got;
    got.body = qvd::httpGetUrl(server.url().c_str(), &got.length);
    server.join();
    got.clientClosedFirst = server.clientClosedFirst();
    if (got.body.has_value() == (got.length == 0) || (got.body && got.body->size() != got.length)) {
        ADD_FAILURE() << "the length cell disagrees with the body";
    }
    return got;
}

class HttpFetch : public qvtest::NetTest
{
protected:
    void SetUp() override
    {
        NetTest::SetUp();
        setWaits(300, 300);
    }
};

} // namespace

// An IPv6 literal keeps its brackets in the Host header and loses them for the resolver.
TEST_F(HttpFetch, SendsTheExactRequestAndFillsTheLocalAddress)
{
    LoopbackServer server({{"*", {{{ok("Content-Length: 5\r\n") + "hello"}}}}}, 1, AF_INET6);
    ASSERT_NE(server.port(), 0);
    char address[qvd::LocalAddressSize] = "stale";
    std::size_t length = 0;
    const auto body = qvd::httpGetUrl(server.url("/desc.xml?id=7").c_str(), &length, address);
    server.join();
    EXPECT_EQ(server.request(), "GET /desc.xml?id=7 HTTP/1.1\r\nHost: [::1]:" + std::to_string(server.port()) +
                                    "\r\nConnection: Close\r\nUser-Agent: Windows, UPnP/1.0, QVLink/1.00.01\r\n\r\n");
    EXPECT_EQ(text(body), "hello");
    EXPECT_EQ(length, 5u);
    EXPECT_STREQ(address, "::1");
}

// Pieces after the first arrive 100 ms apart, so each is a read of its own. With the server
// silent after them, silence ends the read, or with clientEnds the client must end it by itself
// (its read wait is then longer than the server holds on).
TEST_F(HttpFetch, YieldsTheBodyThatArrived)
{
    constexpr Ending Silent = Ending::WaitForClientClose;
    const std::string length10 = ok("Content-Length: 10\r\n");
    // A 40-digit size: its first 31 digits wrap to their last eight (0x0000000A), the nine after
    // them are ignored. Counting those nine would ask for 0xAFFFFFFFFF bytes.
    const std::string size40 = "1" + std::string(22, '0') + "0000000A" + "FFFFFFFFF";
    const struct
    {
        Script script;
        std::string body; // empty: no body
        bool clientEnds = false;
    } cases[] = {
        {{{{length10 + "0123456789ABCDE"}}, Silent}, "0123456789", true},
        {{{{length10 + "01234"}, {"567", 100}}, Silent}, "01234567"},
        {{{{ok("") + "<a>"}, {"<b/>", 100}, {"</a>", 100}}}, "<a><b/></a>"},
        {{{{"HTTP/1.1 200 OK\r\nContent-Le"}, {"ngth: 3\r\n\r", 100}, {"\nabcdef", 100}}}, "abc"},
        {{{{ok("Content-Length: 0\r\n")}}}, ""},
        {{{}}, ""},
        {{{{"HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r"}}}, ""},
        {{{{"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nno device"}}}, "no device"},
        // Header names count as prefixes of the name they stand for, in any case.
        {{{{ok("Content: 4\r\n") + "abcdefgh"}}}, "abcd"},
        {{{{ok("CONTENT-length:\t 3\r\n") + "abcdefgh"}}}, "abc"},
        {{{{ok("Content-Type: 3\r\n") + "abcdefgh"}}}, "abcdefgh"},
        {{{{"HTTP/1.1 200 OK\nContent-Length: 3\n\nabcdef"}}}, "abc"},
        {{{{ok("Transfer-Enc: CHUNKED\r\n") + "3\r\nabc\r\n0\r\n\r\n"}}}, "abc"},
        {{{{ok("Transfer-Encoding: gzip, chunked\r\n") + "2\r\nab\r\n0\r\n\r\n"}}}, "2\r\nab\r\n0\r\n\r\n"},
        {{{{Chunked + "1"}, {"a\r\n" + std::string(26, 'c') + "\r", 100}, {"\n3\r", 100}, {"\nxyz\r\n0\r\n\r\n", 100}},
          Silent},
         std::string(26, 'c') + "xyz",
         true},
        {{{{Chunked + "8;ext=1\r\nabc"}, {"defgh", 100}, {"\r\n2\r\n!!\r\n0\r\n\r\n", 100}}}, "abcdefgh!!"},
        {{{{Chunked + size40 + "\r\n0123456789\r\n0\r\n\r\n"}}}, "0123456789"},
        {{{{Chunked + "10\r\nonly-part"}}}, "only-part"},
        // The last chunk ends the body; trailers and anything after them are ignored.
        {{{{Chunked + "4\r\nWiki\r\n5;a=b\r\npedia\r\n0\r\nX-Tail: 1\r\n\r\n6\r\nextra!\r\n"}}}, "Wikipedia"},
        // The announced length is checked between reads, and also ends a chunked body.
        {{{{ok("Transfer-Encoding: chunked\r\nContent-Length: 3\r\n") + "5\r\nhello\r\n"},
           {"5\r\nworld\r\n0\r\n\r\n", 100}}},
         "hello"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script.pieces.empty() ? "nothing" : c.script.pieces.front().bytes);
        setWaits(c.clientEnds ? 5000 : 300, 300);
        const Fetched got = fetch(c.script);
        EXPECT_EQ(text(got.body), c.body);
        if (c.script.ending == Silent) {
            EXPECT_TRUE(got.clientClosedFirst) << "the client kept reading past the end of the body";
        }
    }
}

// An announced length is a limit, never an allocation; endless input stops at a ceiling.
TEST_F(HttpFetch, HostileLengthsAndEndlessAnswersStayBounded)
{
    for (const char* announced : {"2147483648", "99999999999999999999999999999", "-5"}) {
        SCOPED_TRACE(announced);
        const Fetched got = fetch({{{ok(std::string("Content-Length: ") + announced + "\r\n") + "tiny body"}}});
        EXPECT_EQ(text(got.body), "tiny body");
        EXPECT_LE(got.body ? got.body->capacity() : 0u, 4 * qvd::InitialBufferSize);
    }
    const std::string x(4096, 'x');
    const std::tuple<std::string, std::string, std::size_t> endless[] = {
        {ok(""), x, qvd::MaxBodyBytes},
        {Chunked + "FFFFFFFF\r\n", x, qvd::MaxBodyBytes},
        {"HTTP/1.1 200 OK\r\n", "X-Padding: " + std::string(500, 'p') + "\r\n", 0},
    };
    for (const auto& [head, filler, length] : endless) {
        SCOPED_TRACE(head);
        const Fetched got = fetch({{{head}}, Ending::Endless, filler});
        EXPECT_EQ(got.length, length);
        EXPECT_LE(got.body ? got.body->capacity() : 0u, qvd::MaxBodyBytes);
        EXPECT_TRUE(got.clientClosedFirst) << "the client read on without end";
    }
}

TEST_F(HttpFetch, FailuresAreReportedOnceWithTheirCode)
{
    std::uint16_t port = 0;
    {
        const LoopbackServer released({}); // a port just bound and released has no listener
        port = released.port();
    }
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    char local[qvd::LocalAddressSize] = "stale";
    std::size_t length = 3;
    // Neither a URL without a path nor a path that cannot fit the request buffer is tried: a
    // request cut short must not go out.
    testing::internal::CaptureStdout();
    EXPECT_FALSE(qvd::httpGetUrl(base.c_str(), &length, local));
    EXPECT_FALSE(qvd::httpGetUrl((base + "/" + std::string(qvd::RequestBufferSize, 'p')).c_str(), &length));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_STREQ(local, "");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(qvd::httpGetUrl((base + "/d").c_str(), &length));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Socket error: connect, " + std::to_string(ECONNREFUSED) + "\n");
    EXPECT_EQ(length, 0u);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(qvd::httpGetUrl("http://no such host/desc.xml", nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "getaddrinfo() error : " + std::to_string(EAI_NONAME) + "\n");

    // A reset after some body bytes keeps them.
    testing::internal::CaptureStdout();
    const Fetched got = fetch({{{ok("") + "partial"}, {"", 150}}, Ending::Reset});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Socket error: recv, " + std::to_string(ECONNRESET) + "\n");
    EXPECT_EQ(text(got.body), "partial");

    // Nothing in this namespace answers for 10.255.255.1: the handshake never completes, and
    // the platform's own connect time-out is minutes.
    testing::internal::CaptureStdout();
    EXPECT_FALSE(qvd::connectHostPort("10.255.255.1", 80).valid());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Socket error: connect, " + std::to_string(ETIMEDOUT) + "\n");
}

// A signal during the wait is no time-out: the wait goes on and the late bytes arrive.
TEST_F(HttpFetch, ReceiveWithTimeoutWaitsOnAfterASignal)
{
    struct sigaction action = {}, previous = {};
    action.sa_handler = [](int) {};
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    int ends[2] = {-1, -1};
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    const qvd::UniqueFd reader(ends[0]), writer(ends[1]);
    std::thread interrupter([&, waiting = ::pthread_self()] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::pthread_kill(waiting, SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        qvtest::sendAll(writer.get(), "late");
    });
    char buffer[8];
    testing::internal::CaptureStdout();
    const qvd::ReceiveResult received = qvd::receiveWithTimeout(reader.get(), buffer, sizeof buffer, 5000);
    EXPECT_EQ(received.status, qvd::ReceiveStatus::Data);
    EXPECT_EQ(received.size, 4u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    interrupter.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
}

// On real sockets, an empty datagram, a wait with nothing, a closed stream and data are four
// results, never one number that could be taken for another.
TEST_F(HttpFetch, TheWaitTellsEmptyDatagramsTimeOutsAndClosesApart)
{
    using qvd::ReceiveStatus;
    const qvd::UniqueFd receiver(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const qvd::UniqueFd sender(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(receiver.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(receiver.get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    char buffer[16];
    qvd::ReceiveResult got = qvd::receiveWithTimeout(receiver.get(), buffer, sizeof buffer, 20);
    EXPECT_EQ(got.status, ReceiveStatus::TimedOut);
    ASSERT_EQ(::sendto(sender.get(), "", 0, 0, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    got = qvd::receiveWithTimeout(receiver.get(), buffer, sizeof buffer, 1000);
    EXPECT_EQ(got.status, ReceiveStatus::EmptyDatagram);
    EXPECT_EQ(got.size, 0u);
    EXPECT_EQ(got.sourceAddress, htonl(INADDR_LOOPBACK));

    int ends[2] = {-1, -1};
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    const qvd::UniqueFd reader(ends[0]);
    qvd::UniqueFd writer(ends[1]);
    ASSERT_TRUE(qvtest::sendAll(writer.get(), "ab"));
    got = qvd::receiveWithTimeout(reader.get(), buffer, sizeof buffer, 1000);
    EXPECT_EQ(got.status, ReceiveStatus::Data);
    EXPECT_EQ(got.size, 2u);
    writer.reset();
    EXPECT_EQ(qvd::receiveWithTimeout(reader.get(), buffer, sizeof buffer, 1000).status, ReceiveStatus::Closed);
}

// A device that sends a byte now and then, each within the read wait, is cut off when the whole
// fetch's time is up; what arrived is used.
TEST_F(HttpFetch, ADrippingDeviceIsCutOffAtTheFetchDeadline)
{
    // Release: the fetch code loads the timings with acquire.
    qvd::timing().fetchDeadlineMs.store(700, std::memory_order_release);
    Script drip{{{ok("")}}};
    for (int i = 0; i < 60; ++i) {
        drip.pieces.push_back({"d", 100});
    }
    const auto start = std::chrono::steady_clock::now();
    const Fetched got = fetch(drip);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::milliseconds(1500));
    EXPECT_GE(elapsed, std::chrono::milliseconds(650));
    EXPECT_GE(got.length, 1u);
    EXPECT_LE(got.length, 7u);
    EXPECT_EQ(text(got.body), std::string(got.length, 'd'));
}
