// Reading SSDP answers: their header lines and the location URL in them.
#include "http.h"
#include "ssdp.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <string_view>

TEST(SsdpReply, ReadsLocationSearchTargetAndUsn)
{
    const std::nullopt_t none = std::nullopt;
    const struct
    {
        std::string answer;
        std::optional<std::string_view> location, searchTarget, usn;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nEXT:\r\nLOCATION: http://192.168.1.20:80/desc.xml\r\n"
         "SERVER: Linux/3.0 UPnP/1.0 x/1\r\nST: upnp:rootdevice\r\nUSN: uuid:1234::upnp:rootdevice\r\n\r\n",
         "http://192.168.1.20:80/desc.xml", "upnp:rootdevice", "uuid:1234::upnp:rootdevice"},
        // Names match in any case, on their first 8, 2 and 3 characters only.
        {"lOcAtIoN: http://a/b\r\nsT: t\r\nUsN: u\r\n", "http://a/b", "t", "u"},
        {"LOCATIONS: http://a/b\r\nSTATUS: 200\r\nUSNX: u\r\n", "http://a/b", "200", "u"},
        {"LOCATIO: http://a/b\r\nS: t\r\nUS: u\r\n", none, none, none},
        // Only spaces are skipped after the colon; trailing spaces and a tab stay; empty values
        // are present.
        {"Location:    http://a/b  \r\nST:\tt\r\nUSN:u\r\n", "http://a/b  ", "\tt", "u"},
        {"Location: http://a/b\r\nST:\r\nUSN:   \r\n", "http://a/b", "", ""},
        // Later lines replace earlier ones, unless they lack a line end.
        {"ST: first\r\nLocation: http://a/1\r\nStatus: second\r\nLOCATION: http://a/2\r\nUSN: u", "http://a/2",
         "second", none},
        // A bare LF ends a line; values run from the first colon and may hold any byte.
        {"HTTP/1.1 200 OK\nLocation: http://a:80/b\nST: t\nUSN: uuid:1::upnp:rootdevice\n\n", "http://a:80/b", "t",
         "uuid:1::upnp:rootdevice"},
        {std::string("ST: a\0b\r\n", 9), none, std::string_view("a\0b", 3), none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        const qvd::SearchReplyHeaders h = qvd::parseSearchReply(c.answer.data(), c.answer.size());
        EXPECT_EQ(h.location, c.location);
        EXPECT_EQ(h.searchTarget, c.searchTarget);
        EXPECT_EQ(h.usn, c.usn);
    }
    // Nothing past the count is read: the USN line's end lies beyond it.
    const std::string answer = "Location: http://h/d\r\nUSN: u\r\n";
    EXPECT_FALSE(qvd::parseSearchReply(answer.data(), answer.size() - 2).usn);
}

TEST(ParseHttpUrl, SplitsHostPortAndPath)
{
    const std::string h100(100, 'a');
    const std::string literal80 = "[" + std::string(80, '1') + "]";
    const struct
    {
        std::string url;
        std::string host;
        std::uint16_t port;
        std::string path;
    } cases[] = {
        {"http://192.168.1.20:49152/desc.xml", "192.168.1.20", 49152, "/desc.xml"},
        // Any scheme that starts with "http" passes; the query and colons after the host stay
        // in the path.
        {"https://192.168.1.20/a/b.xml?x=1&y=:2", "192.168.1.20", 80, "/a/b.xml?x=1&y=:2"},
        {"http://h/x:81/y", "h", 80, "/x:81/y"},
        // The port is its leading digits only, wrapped in sixteen bits.
        {"http://192.168.1.20:80ab/x", "192.168.1.20", 80, "/x"},
        {"http://192.168.1.20:/x", "192.168.1.20", 0, "/x"},
        {"http://h:65535/x", "h", 65535, "/x"},
        {"http://h:65536/x", "h", 0, "/x"},
        {"http://h:99999999999999999999/x", "h", 65535, "/x"}, // 10^20 mod 65536
        // IPv6 literals keep their brackets; after the bracket only a colon starts a port;
        // without its partner a bracket is an ordinary host character.
        {"http://[fe80::1]:49152/desc.xml", "[fe80::1]", 49152, "/desc.xml"},
        {"http://[::1]x:81/d", "[::1]", 80, "/d"},
        {"http://[fe80::1/desc.xml", "[fe80", 0, "/desc.xml"},
        // The host is cut to 64 characters.
        {"http://" + h100 + ":8080/d", h100.substr(0, 64), 8080, "/d"},
        {"http://" + literal80 + ":81/d", literal80.substr(0, 64), 81, "/d"},
        {"http://:81/d", "", 81, "/d"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        const auto parts = qvd::parseHttpUrl(c.url.c_str());
        ASSERT_TRUE(parts.has_value());
        EXPECT_EQ(parts->host, c.host);
        EXPECT_EQ(parts->port, c.port);
        EXPECT_EQ(parts->path, c.url.c_str() + c.url.size() - c.path.size()) << "the path points into the URL";
    }
}

TEST(ParseHttpUrl, RejectsUrlsWithoutSchemeOrPath)
{
    EXPECT_FALSE(qvd::parseHttpUrl(nullptr));
    for (const char* url : {"", "http://192.168.1.20:80", "http://[::1]:80", "192.168.1.20/desc.xml",
                            "http:/192.168.1.20/desc.xml", "ftp://192.168.1.20/desc.xml", "HTTP://192.168.1.20/d"}) {
        EXPECT_FALSE(qvd::parseHttpUrl(url)) << url;
    }
}
