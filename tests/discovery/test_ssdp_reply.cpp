// Reading the header lines of SSDP answers.
#include "ssdp.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

using qvd::parseSearchReply;
using qvd::SearchReplyHeaders;

namespace {

std::optional<std::string> owned(const std::optional<std::string_view>& view)
{
    return view ? std::optional<std::string>(*view) : std::nullopt;
}

} // namespace

TEST(SsdpReply, ReadsLocationSearchTargetAndUsn)
{
    const std::nullopt_t none = std::nullopt;
    const struct
    {
        std::string answer;
        std::optional<std::string> location, searchTarget, usn;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nEXT:\r\nLOCATION: http://192.168.1.20:80/desc.xml\r\n"
         "SERVER: Linux/3.0 UPnP/1.0 x/1\r\nST: upnp:rootdevice\r\nUSN: uuid:1234::upnp:rootdevice\r\n\r\n",
         "http://192.168.1.20:80/desc.xml", "upnp:rootdevice", "uuid:1234::upnp:rootdevice"},
        // Names match in any case, on their first 8, 2 and 3 characters only.
        {"lOcAtIoN: http://a/b\r\nsT: t\r\nUsN: u\r\n", "http://a/b", "t", "u"},
        {"LOCATIONS: http://a/b\r\nSTATUS: 200\r\nUSNX: u\r\n", "http://a/b", "200", "u"},
        {"LOCATIO: http://a/b\r\nS: t\r\nUS: u\r\n", none, none, none},
        {"Stop: here\r\nLocation: http://a/b\r\n", "http://a/b", "here", none},
        // Only spaces are skipped after the colon; trailing spaces and a tab stay.
        {"Location:    http://a/b  \r\nST:\tt\r\nUSN:u\r\n", "http://a/b  ", "\tt", "u"},
        // Empty values are present, missing headers absent.
        {"Location: http://a/b\r\nST:\r\nUSN:   \r\n", "http://a/b", "", ""},
        {"HTTP/1.1 200 OK\r\nServer: x\r\n\r\n", none, none, none},
        {"", none, none, none},
        // The value runs from the first colon.
        {"Location: http://a:80/b\r\nUSN: uuid:1::upnp:rootdevice\r\n", "http://a:80/b", none,
         "uuid:1::upnp:rootdevice"},
        // A colon at the very first byte is not noticed: the name runs to the second colon. Later,
        // a colon at a line start is an empty name, which matches nothing.
        {":ST: x\r\n", none, none, none},
        {"A\r\n:ST: x\r\n", none, none, none},
        {":\r\nST: x\r\n", none, "x", none},
        // Later lines replace earlier ones, unless they lack a line end.
        {"ST: first\r\nLocation: http://a/1\r\nStatus: second\r\nLOCATION: http://a/2\r\n", "http://a/2", "second",
         none},
        {"Location: http://a/b\r\nST: t\r\nUSN: u", "http://a/b", "t", none},
        {"ST: kept\nST: lost", none, "kept", none},
        // Each CR and each LF ends a line.
        {"HTTP/1.1 200 OK\nLocation: http://a/b\nST: t\nUSN: u\n\n", "http://a/b", "t", "u"},
        {"Location: http://a/b\rST: t\rUSN: u\r", "http://a/b", "t", "u"},
        {std::string("ST: a\0b\r\n", 9), none, std::string("a\0b", 3), none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        const std::string copy = c.answer;
        const SearchReplyHeaders h = parseSearchReply(copy.data(), copy.size());
        EXPECT_EQ(owned(h.location), c.location);
        EXPECT_EQ(owned(h.searchTarget), c.searchTarget);
        EXPECT_EQ(owned(h.usn), c.usn);
    }
}

TEST(SsdpReply, ViewsPointIntoTheBytesAndStopAtTheCount)
{
    const std::string answer = "Location: http://h/d\r\nST: x\r\nUSN: u\r\n";
    // The USN line's end lies past the count: it has no line end within the datagram.
    const SearchReplyHeaders h = parseSearchReply(answer.data(), answer.size() - 2);
    ASSERT_TRUE(h.location && h.searchTarget);
    EXPECT_EQ(h.location->data(), answer.data() + answer.find("http://h/d"));
    EXPECT_EQ(h.searchTarget->data(), answer.data() + answer.find('x'));
    EXPECT_FALSE(h.usn);
}
