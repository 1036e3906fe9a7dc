// The element tokenizer on its own: the events it reports and where attribute skipping stops.
#include "xml.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Events = std::vector<std::string>;

// The callbacks carry no user pointer of their own type; tests run one at a time.
Events events;

// A parser over an exact-size heap copy, so that a read past the end shows under a sanitizer.
struct Buffer
{
    explicit Buffer(std::string_view text)
        : bytes(new char[text.size()])
    {
        text.copy(bytes.get(), text.size());
        parser.start = parser.cursor = bytes.get();
        parser.end = bytes.get() + text.size();
        parser.size = text.size();
        parser.onStartElement = [](qvd::DeviceRecord*, const char* t, std::size_t n) {
            events.push_back("S:" + std::string(t, n));
        };
        parser.onEndElement = [](qvd::DeviceRecord*, const char* t, std::size_t n) {
            events.push_back("E:" + std::string(t, n));
        };
        parser.onElementText = [](qvd::DeviceRecord*, const char* t, std::size_t n) {
            events.push_back("T:" + std::string(t, n));
        };
        events.clear();
    }
    std::unique_ptr<char[]> bytes;
    qvd::XmlParser parser;
};

Events eventsOf(std::string_view text)
{
    Buffer buffer(text);
    qvd::parseElements(buffer.parser);
    return events;
}

} // namespace

TEST(XmlParser, ReportsStartTagsTextAndEndTagsUpToTheBuffersEnd)
{
    EXPECT_EQ(eventsOf("<a><b>t</b><c/></a>"), (Events{"S:a", "S:b", "T:t", "E:b", "S:c", "E:a"}));
    // End tag names are taken as written, up to ">".
    EXPECT_EQ(eventsOf("<x:a>t</x:a  >"), (Events{"S:a", "T:t", "E:x:a  "}));
    // Mixed content: the text before a child is not reported, the child's is.
    EXPECT_EQ(eventsOf("<a>one<b>two</b>three</a>"), (Events{"S:a", "S:b", "T:two", "E:b", "E:a"}));
    EXPECT_EQ(eventsOf("<a\tk='v'>t</a>"), (Events{"S:a", "T:t", "E:a"}));
    EXPECT_EQ(eventsOf("<a\n/>"), (Events{"S:a"}));
    EXPECT_EQ(eventsOf("<a>t</a"), (Events{"S:a", "T:t"}));
    EXPECT_EQ(eventsOf("<a>t</a><b k=\"v"), (Events{"S:a", "T:t", "E:a", "S:b"}));
    EXPECT_EQ(eventsOf("<a><![CDATA[x]]>"), (Events{"S:a"}));
    EXPECT_EQ(eventsOf("<a><![CDATA[x]]> "), (Events{"S:a", "T:x"}));

    Buffer silent("<a>t</a><b/>");
    silent.parser.onStartElement = silent.parser.onEndElement = silent.parser.onElementText = nullptr;
    qvd::parseElements(silent.parser);
    EXPECT_EQ(silent.parser.cursor, silent.parser.end - 1) << "missing callbacks are tolerated";
}

TEST(XmlSkipAttributes, EndsOnTheTagsCloseOrAtTheBuffersEnd)
{
    // Where the cursor rests afterwards; an unquoted value takes the byte that ends it along.
    const std::pair<const char*, const char*> stops[] = {
        {" a=\"1\" b='2'>t", ">t"}, {" a = \"x/>\"/>", "/>"}, {">", ">"},
        {"\r\n\t/", "/"},           {" a=1>t k='v'>x", ">x"}, {" a=1 >", ">"},
    };
    for (const auto& [text, rest] : stops) {
        Buffer buffer(text);
        EXPECT_EQ(qvd::skipAttributes(buffer.parser), 0) << text;
        EXPECT_EQ(
            std::string_view(buffer.parser.cursor, static_cast<std::size_t>(buffer.parser.end - buffer.parser.cursor)),
            rest)
            << text;
    }
    for (const char* cut : {"", " ", " a", " a ", " a=", " a= ", " a=\"1", " a='1\"", " a=1", " a=\"1\""}) {
        Buffer buffer(cut);
        EXPECT_EQ(qvd::skipAttributes(buffer.parser), -1) << '"' << cut << '"';
    }
}
