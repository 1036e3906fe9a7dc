// How an answer reads in a fetch report: the reasons qvlink-scan --explain gives for a fetch
// that brought nothing usable. The body returned is the same whether a report is asked for.
#include "MemoryByteSource.h"
#include "http.h"
#include "protocol.h"

#include <gtest/gtest.h>
#include <string>

using namespace qvd;
using qvtest::bytes;
using qvtest::MemoryByteSource;
using qvtest::silence;
using qvtest::SourceStep;

namespace {

struct Read
{
    bool body = false;
    FetchReport report;
};

Read read(std::vector<SourceStep> steps)
{
    std::vector<SourceStep> copy = steps;
    MemoryByteSource plain(std::move(copy), MemoryByteSource::Mode::Stream);
    std::size_t plainLength = 0;
    const bool plainBody = readHttpResponse(plain, &plainLength, Deadline::max()).has_value();

    MemoryByteSource source(std::move(steps), MemoryByteSource::Mode::Stream);
    std::size_t length = 0;
    Read result;
    result.body = readHttpResponse(source, &length, Deadline::max(), &result.report).has_value();
    EXPECT_EQ(result.body, plainBody);
    EXPECT_EQ(length, plainLength);
    return result;
}

} // namespace

TEST(FetchReport, AWholeAnswerHasNoFault)
{
    const Read r = read({bytes("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nbody")});
    EXPECT_TRUE(r.body);
    EXPECT_EQ(r.report.error, FetchError::None);
    EXPECT_EQ(r.report.httpStatus, 200);
    EXPECT_FALSE(r.report.incomplete);
    const Read toClose = read({bytes("HTTP/1.0 200 OK\r\n\r\nbody")});
    EXPECT_FALSE(toClose.report.incomplete) << "a body without length ends with the connection";
}

TEST(FetchReport, AnErrorPageIsNotHttp200)
{
    const Read empty = read({bytes("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")});
    EXPECT_FALSE(empty.body);
    EXPECT_EQ(empty.report.error, FetchError::NotHttp200);
    EXPECT_EQ(empty.report.httpStatus, 404);
    const Read page = read({bytes("HTTP/1.1 500 Oops\r\nContent-Length: 5\r\n\r\nerror")});
    EXPECT_TRUE(page.body) << "the body is returned as ever";
    EXPECT_EQ(page.report.httpStatus, 500);
    const Read garbage = read({bytes("SSH-2.0-x\r\n\r\n")});
    EXPECT_EQ(garbage.report.error, FetchError::NotHttp200);
    EXPECT_EQ(garbage.report.httpStatus, 0);
}

TEST(FetchReport, AnAnswerThatEndsEarlyIsCutOffAndOneThatStopsIsTimedOut)
{
    const Read closed = read({bytes("HTTP/1.1 200 OK\r\nContent-Le")});
    EXPECT_FALSE(closed.body);
    EXPECT_EQ(closed.report.error, FetchError::CutOff);
    const Read silent = read({bytes("HTTP/1.1 200 OK\r\n"), silence()});
    EXPECT_EQ(silent.report.error, FetchError::TimedOut);
    const Read nothing = read({silence()});
    EXPECT_EQ(nothing.report.error, FetchError::TimedOut);
    const Read shortBody = read({bytes("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc")});
    EXPECT_TRUE(shortBody.body);
    EXPECT_TRUE(shortBody.report.incomplete);
    EXPECT_FALSE(shortBody.report.timedOut);
    const Read openChunk = read({bytes("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab"), silence()});
    EXPECT_TRUE(openChunk.report.incomplete);
    EXPECT_TRUE(openChunk.report.timedOut);
    const Read emptyWhole = read({bytes("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")});
    EXPECT_EQ(emptyWhole.report.error, FetchError::Empty);
}

TEST(FetchReport, CeilingsAreTooLarge)
{
    const std::string longHeader = "HTTP/1.1 200 OK\r\nX: " + std::string(MaxHeaderBytes, 'h');
    const Read header = read({bytes(longHeader)});
    EXPECT_FALSE(header.body);
    EXPECT_EQ(header.report.error, FetchError::TooLarge);
    const std::string big = "HTTP/1.1 200 OK\r\n\r\n" + std::string(MaxBodyBytes + 10, 'b');
    const Read body = read({bytes(big)});
    EXPECT_TRUE(body.body);
    EXPECT_TRUE(body.report.tooLarge);
    EXPECT_FALSE(body.report.incomplete);
}
