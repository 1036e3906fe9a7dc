// Splitting SSDP location URLs into host text, port and path.
#include "http.h"

#include <gtest/gtest.h>
#include <string>

using qvd::parseHttpUrl;

namespace {

struct Expected
{
    const char* host;
    std::uint16_t port;
    const char* path;
};

void expectParts(const char* url, const Expected& want)
{
    SCOPED_TRACE(url);
    const auto parts = parseHttpUrl(url);
    ASSERT_TRUE(parts.has_value());
    EXPECT_STREQ(parts->host, want.host);
    EXPECT_EQ(parts->port, want.port);
    EXPECT_STREQ(parts->path, want.path);
}

} // namespace

TEST(ParseHttpUrl, SplitsHostPortAndPath)
{
    expectParts("http://192.168.1.20:49152/desc.xml", {"192.168.1.20", 49152, "/desc.xml"});
    expectParts("http://192.168.1.20/desc.xml", {"192.168.1.20", 80, "/desc.xml"});
    expectParts("http://nas.local:8080/", {"nas.local", 8080, "/"});
    // The query and everything else after the host stay in the path unchanged.
    expectParts("http://10.0.0.2:80/a/b.xml?x=1&y=:2", {"10.0.0.2", 80, "/a/b.xml?x=1&y=:2"});
}

TEST(ParseHttpUrl, PathPointsIntoTheGivenUrl)
{
    const char* url = "http://10.0.0.2/root.xml";
    const auto parts = parseHttpUrl(url);
    ASSERT_TRUE(parts.has_value());
    EXPECT_EQ(parts->path, url + 15);
}

TEST(ParseHttpUrl, RejectsUrlsWithoutSchemeOrPath)
{
    EXPECT_FALSE(parseHttpUrl(nullptr));
    EXPECT_FALSE(parseHttpUrl(""));
    EXPECT_FALSE(parseHttpUrl("http://192.168.1.20"));
    EXPECT_FALSE(parseHttpUrl("http://192.168.1.20:80"));
    EXPECT_FALSE(parseHttpUrl("192.168.1.20/desc.xml"));
    EXPECT_FALSE(parseHttpUrl("http:/192.168.1.20/desc.xml"));
    EXPECT_FALSE(parseHttpUrl("ftp://192.168.1.20/desc.xml"));
    EXPECT_FALSE(parseHttpUrl("HTTP://192.168.1.20/desc.xml"));
    EXPECT_FALSE(parseHttpUrl("Http://192.168.1.20/desc.xml"));
    EXPECT_FALSE(parseHttpUrl("htt://192.168.1.20/desc.xml"));
}

TEST(ParseHttpUrl, AnySchemeStartingWithHttpPasses)
{
    expectParts("https://192.168.1.20/desc.xml", {"192.168.1.20", 80, "/desc.xml"});
    expectParts("httpx://192.168.1.20:443/d", {"192.168.1.20", 443, "/d"});
}

TEST(ParseHttpUrl, RestStartsAfterTheFirstSeparator)
{
    expectParts("http://h/a://b/c", {"h", 80, "/a://b/c"});
    // A colon after the first slash is part of the path, not a port.
    expectParts("http://h/x:81/y", {"h", 80, "/x:81/y"});
}

TEST(ParseHttpUrl, PortReadsLeadingDigitsOnly)
{
    expectParts("http://192.168.1.20:80ab/x", {"192.168.1.20", 80, "/x"});
    expectParts("http://192.168.1.20:/x", {"192.168.1.20", 0, "/x"});
    expectParts("http://192.168.1.20:ab/x", {"192.168.1.20", 0, "/x"});
    expectParts("http://192.168.1.20:-5/x", {"192.168.1.20", 0, "/x"});
}

TEST(ParseHttpUrl, PortWrapsInSixteenBits)
{
    expectParts("http://h:65535/x", {"h", 65535, "/x"});
    expectParts("http://h:65536/x", {"h", 0, "/x"});
    expectParts("http://h:70000/x", {"h", 4464, "/x"});
    expectParts("http://h:99999999999999999999/x", {"h", 65535, "/x"}); // 10^20 mod 65536 is 65535
}

TEST(ParseHttpUrl, Ipv6LiteralKeepsBrackets)
{
    expectParts("http://[fe80::1]:49152/desc.xml", {"[fe80::1]", 49152, "/desc.xml"});
    expectParts("http://[::1]/desc.xml", {"[::1]", 80, "/desc.xml"});
    // After the bracket only a colon introduces a port.
    expectParts("http://[::1]x:81/d", {"[::1]", 80, "/d"});
    expectParts("http://[::1]:/d", {"[::1]", 0, "/d"});
}

TEST(ParseHttpUrl, BracketWithoutItsPartnerIsAnOrdinaryHost)
{
    // No "]": the first colon ends the host, and the digits after it (none here) the port.
    expectParts("http://[fe80::1/desc.xml", {"[fe80", 0, "/desc.xml"});
    expectParts("http://[host/desc.xml", {"[host", 80, "/desc.xml"});
    // A bracketed host without any slash fails like any URL without a path.
    EXPECT_FALSE(parseHttpUrl("http://[::1]:80"));
}

TEST(ParseHttpUrl, HostIsCutTo64Characters)
{
    const std::string longHost(100, 'a');
    const std::string cut(64, 'a');
    expectParts(("http://" + longHost + ":8080/d").c_str(), {cut.c_str(), 8080, "/d"});
    expectParts(("http://" + longHost + "/d").c_str(), {cut.c_str(), 80, "/d"});
    const std::string longLiteral = "[" + std::string(80, '1') + "]";
    expectParts(("http://" + longLiteral + ":81/d").c_str(), {("[" + std::string(63, '1')).c_str(), 81, "/d"});
    const std::string exact(64, 'b');
    expectParts(("http://" + exact + "/d").c_str(), {exact.c_str(), 80, "/d"});
}

TEST(ParseHttpUrl, EmptyHostIsKept)
{
    expectParts("http:///d", {"", 80, "/d"});
    expectParts("http://:81/d", {"", 81, "/d"});
}
