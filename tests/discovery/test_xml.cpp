#include "xml.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The callbacks carry no user pointer of their own type, so the events of one parse are
// collected here; tests run one at a time.
std::vector<std::string> events;

void onStart(qvd::DeviceRecord*, const char* text, std::size_t length)
{
    events.push_back("S:" + std::string(text, length));
}

void onEnd(qvd::DeviceRecord*, const char* text, std::size_t length)
{
    events.push_back("E:" + std::string(text, length));
}

void onText(qvd::DeviceRecord*, const char* text, std::size_t length)
{
    events.push_back("T:" + std::string(text, length));
}

struct Buffer
{
    explicit Buffer(std::string_view text)
        : bytes(new char[text.size()])
        , size(text.size())
    {
        text.copy(bytes.get(), text.size());
    }
    qvd::XmlParser parser(bool withCallbacks = true) const
    {
        qvd::XmlParser p;
        p.start = bytes.get();
        p.end = bytes.get() + size;
        p.cursor = p.start;
        p.size = size;
        if (withCallbacks) {
            p.onStartElement = onStart;
            p.onEndElement = onEnd;
            p.onElementText = onText;
        }
        return p;
    }
    std::unique_ptr<char[]> bytes;
    std::size_t size;
};

std::vector<std::string> eventsOf(std::string_view text)
{
    events.clear();
    const Buffer buffer(text);
    qvd::XmlParser parser = buffer.parser();
    qvd::parseElements(parser);
    return events;
}

using Events = std::vector<std::string>;

TEST(XmlParser, ReportsStartTagsTextAndEndTags)
{
    EXPECT_EQ(eventsOf("<a><b>t</b><c/></a>"), (Events{"S:a", "S:b", "T:t", "E:b", "S:c", "E:a"}));
    // End tag names are taken as written, up to ">".
    EXPECT_EQ(eventsOf("<x:a>t</x:a  >"), (Events{"S:a", "T:t", "E:x:a  "}));
    // Mixed content: the text before a child is not reported, the child's is.
    EXPECT_EQ(eventsOf("<a>one<b>two</b>three</a>"), (Events{"S:a", "S:b", "T:two", "E:b", "E:a"}));
    // A name ends at white space, "/" or ">".
    EXPECT_EQ(eventsOf("<a\tk='v'>t</a>"), (Events{"S:a", "T:t", "E:a"}));
    EXPECT_EQ(eventsOf("<a\n/>"), (Events{"S:a"}));
}

TEST(XmlParser, StopsWhereTheBufferEnds)
{
    EXPECT_EQ(eventsOf("<a>t</a"), (Events{"S:a", "T:t"}));
    EXPECT_EQ(eventsOf("<a>t</a><b k=\"v"), (Events{"S:a", "T:t", "E:a", "S:b"}));
    EXPECT_EQ(eventsOf("<a><![CDATA[x]]>"), (Events{"S:a"}));
    EXPECT_EQ(eventsOf("<a><![CDATA[x]]> "), (Events{"S:a", "T:x"}));
}

TEST(XmlParser, ToleratesMissingCallbacks)
{
    const Buffer buffer("<a>t</a><b/>");
    qvd::XmlParser parser = buffer.parser(false);
    qvd::parseElements(parser);
    EXPECT_EQ(parser.cursor, parser.end - 1);
}

int skip(std::string_view text, std::string_view& rest)
{
    static std::unique_ptr<Buffer> buffer;
    buffer = std::make_unique<Buffer>(text);
    qvd::XmlParser parser = buffer->parser();
    const int result = qvd::skipAttributes(parser);
    rest = std::string_view(parser.cursor, static_cast<std::size_t>(parser.end - parser.cursor));
    return result;
}

TEST(XmlSkipAttributes, EndsOnTheTagsCloseOrAtTheBuffersEnd)
{
    std::string_view rest;
    EXPECT_EQ(skip(" a=\"1\" b='2'>t", rest), 0);
    EXPECT_EQ(rest, ">t");
    EXPECT_EQ(skip(" a = \"x/>\"/>", rest), 0);
    EXPECT_EQ(rest, "/>");
    EXPECT_EQ(skip(">", rest), 0);
    EXPECT_EQ(skip("\r\n\t/", rest), 0);
    EXPECT_EQ(rest, "/");
    // An unquoted value takes the byte that ends it along.
    EXPECT_EQ(skip(" a=1>t k='v'>x", rest), 0);
    EXPECT_EQ(rest, ">x");
    EXPECT_EQ(skip(" a=1 >", rest), 0);
    EXPECT_EQ(rest, ">");
    for (const char* cut : {"", " ", " a", " a ", " a=", " a= ", " a=\"1", " a='1\"", " a=1", " a=\"1\""}) {
        EXPECT_EQ(skip(cut, rest), -1) << '"' << cut << '"';
    }
}

} // namespace
