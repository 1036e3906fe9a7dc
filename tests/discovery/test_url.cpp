// Splitting SSDP location URLs into host text, port and path.
#include "http.h"

#include <gtest/gtest.h>
#include <string>

using qvd::parseHttpUrl;

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
        {"http://192.168.1.20/desc.xml", "192.168.1.20", 80, "/desc.xml"},
        // The query and everything else after the host stay in the path unchanged.
        {"http://10.0.0.2:80/a/b.xml?x=1&y=:2", "10.0.0.2", 80, "/a/b.xml?x=1&y=:2"},
        {"http://h/x:81/y", "h", 80, "/x:81/y"},
        // Any scheme that starts with "http" passes.
        {"https://192.168.1.20/desc.xml", "192.168.1.20", 80, "/desc.xml"},
        {"httpx://192.168.1.20:443/d", "192.168.1.20", 443, "/d"},
        // The port is its leading digits only, wrapped in sixteen bits.
        {"http://192.168.1.20:80ab/x", "192.168.1.20", 80, "/x"},
        {"http://192.168.1.20:/x", "192.168.1.20", 0, "/x"},
        {"http://192.168.1.20:-5/x", "192.168.1.20", 0, "/x"},
        {"http://h:65535/x", "h", 65535, "/x"},
        {"http://h:65536/x", "h", 0, "/x"},
        {"http://h:70000/x", "h", 4464, "/x"},
        {"http://h:99999999999999999999/x", "h", 65535, "/x"}, // 10^20 mod 65536
        // IPv6 literals keep their brackets; after the bracket only a colon starts a port.
        {"http://[fe80::1]:49152/desc.xml", "[fe80::1]", 49152, "/desc.xml"},
        {"http://[::1]/desc.xml", "[::1]", 80, "/desc.xml"},
        {"http://[::1]x:81/d", "[::1]", 80, "/d"},
        // Without its partner a bracket is an ordinary host character.
        {"http://[fe80::1/desc.xml", "[fe80", 0, "/desc.xml"},
        // The host is cut to 64 characters.
        {"http://" + h100 + ":8080/d", h100.substr(0, 64), 8080, "/d"},
        {"http://" + h100.substr(0, 64) + "/d", h100.substr(0, 64), 80, "/d"},
        {"http://" + literal80 + ":81/d", literal80.substr(0, 64), 81, "/d"},
        {"http:///d", "", 80, "/d"},
        {"http://:81/d", "", 81, "/d"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        const auto parts = parseHttpUrl(c.url.c_str());
        ASSERT_TRUE(parts.has_value());
        EXPECT_EQ(parts->host, c.host);
        EXPECT_EQ(parts->port, c.port);
        EXPECT_EQ(parts->path, c.path);
        EXPECT_EQ(parts->path, c.url.c_str() + c.url.size() - c.path.size()) << "the path points into the URL";
    }
}

TEST(ParseHttpUrl, RejectsUrlsWithoutSchemeOrPath)
{
    EXPECT_FALSE(parseHttpUrl(nullptr));
    for (const char* url : {"", "http://192.168.1.20", "http://192.168.1.20:80", "http://[::1]:80",
                            "192.168.1.20/desc.xml", "http:/192.168.1.20/desc.xml", "ftp://192.168.1.20/desc.xml",
                            "HTTP://192.168.1.20/desc.xml", "htt://192.168.1.20/desc.xml"}) {
        EXPECT_FALSE(parseHttpUrl(url)) << url;
    }
}
