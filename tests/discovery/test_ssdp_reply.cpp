// Reading the header lines of SSDP answers.
#include "ssdp.h"

#include <gtest/gtest.h>
#include <list>
#include <string>

using qvd::parseSearchReply;
using qvd::SearchReplyHeaders;

namespace {

// The views point into the parsed bytes, so every parsed text is kept for the whole run.
SearchReplyHeaders parse(const std::string& text)
{
    static std::list<std::string> kept;
    kept.push_back(text);
    return parseSearchReply(kept.back().data(), kept.back().size());
}

} // namespace

TEST(SsdpReply, ReadsTheThreeHeadersOfATypicalAnswer)
{
    const std::string answer = "HTTP/1.1 200 OK\r\n"
                               "CACHE-CONTROL: max-age=1800\r\n"
                               "EXT:\r\n"
                               "LOCATION: http://192.168.1.20:80/desc.xml\r\n"
                               "SERVER: Linux/3.0 UPnP/1.0 x/1\r\n"
                               "ST: upnp:rootdevice\r\n"
                               "USN: uuid:1234::upnp:rootdevice\r\n"
                               "\r\n";
    const SearchReplyHeaders h = parse(answer);
    EXPECT_EQ(h.location, "http://192.168.1.20:80/desc.xml");
    EXPECT_EQ(h.searchTarget, "upnp:rootdevice");
    EXPECT_EQ(h.usn, "uuid:1234::upnp:rootdevice");
}

TEST(SsdpReply, ViewsPointIntoTheGivenBytes)
{
    const std::string answer = "HTTP/1.1 200 OK\r\nLocation: http://h/d\r\nST: x\r\n";
    const SearchReplyHeaders h = parseSearchReply(answer.data(), answer.size());
    ASSERT_TRUE(h.location);
    EXPECT_EQ(h.location->data(), answer.data() + answer.find("http://h/d"));
    EXPECT_EQ(h.searchTarget->data(), answer.data() + answer.rfind('x'));
}

TEST(SsdpReply, NamesMatchInAnyCase)
{
    for (const char* name : {"LOCATION", "Location", "location", "lOcAtIoN"}) {
        const SearchReplyHeaders h = parse(std::string(name) + ": http://a/b\r\nsT: t\r\nUsN: u\r\n");
        EXPECT_EQ(h.location, "http://a/b") << name;
        EXPECT_EQ(h.searchTarget, "t") << name;
        EXPECT_EQ(h.usn, "u") << name;
    }
}

TEST(SsdpReply, NamesMatchOnTheirPrefixOnly)
{
    // Only the first 8, 2 and 3 characters are compared, so longer names count as well.
    const SearchReplyHeaders h = parse("LOCATIONS: http://a/b\r\nSTATUS: 200\r\nUSNX: u\r\n");
    EXPECT_EQ(h.location, "http://a/b");
    EXPECT_EQ(h.searchTarget, "200");
    EXPECT_EQ(h.usn, "u");
}

TEST(SsdpReply, ShorterNamesDoNotMatch)
{
    const SearchReplyHeaders h = parse("LOCATIO: http://a/b\r\nS: t\r\nUS: u\r\n");
    EXPECT_FALSE(h.location);
    EXPECT_FALSE(h.searchTarget);
    EXPECT_FALSE(h.usn);
}

TEST(SsdpReply, LocationIsTriedBeforeSearchTarget)
{
    // "Location" also begins with neither "st" nor "usn"; "Stop" begins with "st".
    const SearchReplyHeaders h = parse("Stop: here\r\nLocation: http://a/b\r\n");
    EXPECT_EQ(h.searchTarget, "here");
    EXPECT_EQ(h.location, "http://a/b");
}

TEST(SsdpReply, OnlySpacesAreSkippedAfterTheColon)
{
    const SearchReplyHeaders h = parse("Location:    http://a/b  \r\nST:\tt\r\nUSN:u\r\n");
    EXPECT_EQ(h.location, "http://a/b  ") << "trailing spaces stay";
    EXPECT_EQ(h.searchTarget, "\tt") << "a tab stays";
    EXPECT_EQ(h.usn, "u");
}

TEST(SsdpReply, EmptyValuesArePresent)
{
    const SearchReplyHeaders h = parse("Location: http://a/b\r\nST:\r\nUSN:   \r\n");
    ASSERT_TRUE(h.searchTarget);
    EXPECT_EQ(h.searchTarget, "");
    ASSERT_TRUE(h.usn);
    EXPECT_EQ(h.usn, "");
}

TEST(SsdpReply, MissingHeadersAreAbsent)
{
    const SearchReplyHeaders h = parse("HTTP/1.1 200 OK\r\nServer: x\r\n\r\n");
    EXPECT_FALSE(h.location);
    EXPECT_FALSE(h.searchTarget);
    EXPECT_FALSE(h.usn);
}

TEST(SsdpReply, TheValueRunsFromTheFirstColon)
{
    const SearchReplyHeaders h = parse("Location: http://a:80/b\r\nUSN: uuid:1::upnp:rootdevice\r\n");
    EXPECT_EQ(h.location, "http://a:80/b");
    EXPECT_EQ(h.usn, "uuid:1::upnp:rootdevice");
}

TEST(SsdpReply, ColonAtTheFirstByteIsNotNoticed)
{
    // The name then runs to the second colon and starts with the first one.
    EXPECT_FALSE(parse(":ST: x\r\n").searchTarget);
    // Later in the datagram a colon at a line start is an empty name, which matches nothing.
    EXPECT_FALSE(parse("A\r\n:ST: x\r\n").searchTarget);
    // Only the very first byte is special: the rest of that line is scanned as usual.
    EXPECT_EQ(parse(":\r\nST: x\r\n").searchTarget, "x");
}

TEST(SsdpReply, LaterLinesReplaceEarlierOnes)
{
    const SearchReplyHeaders h =
        parse("ST: first\r\nLocation: http://a/1\r\nStatus: second\r\nLOCATION: http://a/2\r\n");
    EXPECT_EQ(h.searchTarget, "second");
    EXPECT_EQ(h.location, "http://a/2");
}

TEST(SsdpReply, LastLineWithoutLineEndIsIgnored)
{
    const SearchReplyHeaders h = parse("Location: http://a/b\r\nST: t\r\nUSN: u");
    EXPECT_EQ(h.location, "http://a/b");
    EXPECT_EQ(h.searchTarget, "t");
    EXPECT_FALSE(h.usn);
    // A replacement that lacks its line end does not replace.
    EXPECT_EQ(parse("ST: kept\nST: lost").searchTarget, "kept");
}

TEST(SsdpReply, EachCrAndEachLfEndsALine)
{
    const SearchReplyHeaders lf = parse("HTTP/1.1 200 OK\nLocation: http://a/b\nST: t\nUSN: u\n\n");
    EXPECT_EQ(lf.location, "http://a/b");
    EXPECT_EQ(lf.searchTarget, "t");
    EXPECT_EQ(lf.usn, "u");
    const SearchReplyHeaders cr = parse("Location: http://a/b\rST: t\rUSN: u\r");
    EXPECT_EQ(cr.location, "http://a/b");
    EXPECT_EQ(cr.searchTarget, "t");
    EXPECT_EQ(cr.usn, "u");
}

TEST(SsdpReply, StopsAtTheGivenCount)
{
    const std::string answer = "ST: t\r\nUSN: u\r\n";
    // The second line's end lies past the count: it has no line end within the datagram.
    const SearchReplyHeaders h = parseSearchReply(answer.data(), answer.find("\r\nUSN") + 2 + 6);
    EXPECT_EQ(h.searchTarget, "t");
    EXPECT_FALSE(h.usn);
}

TEST(SsdpReply, EmbeddedNulBytesAreOrdinaryBytes)
{
    const std::string answer("ST: a\0b\r\n", 9);
    EXPECT_EQ(parse(answer).searchTarget, std::string_view("a\0b", 3));
}

TEST(SsdpReply, EmptyInputGivesNothing)
{
    const SearchReplyHeaders h = parseSearchReply("", 0);
    EXPECT_FALSE(h.location);
    EXPECT_FALSE(h.searchTarget);
    EXPECT_FALSE(h.usn);
}
