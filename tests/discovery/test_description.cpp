#include "description.h"
#include "devicetable.h"
#include "filter.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

namespace {

using qvd::DeviceFieldSize;
using qvd::DeviceRecord;

std::string text(const char (&field)[DeviceFieldSize])
{
    return {field, ::strnlen(field, DeviceFieldSize)};
}

// Parses from an exact-size heap copy, so that a read past the end shows under the sanitizer.
void parseInto(DeviceRecord& record, std::string_view body)
{
    std::unique_ptr<char[]> copy(new char[body.size()]);
    if (!body.empty()) {
        std::memcpy(copy.get(), body.data(), body.size());
    }
    qvd::parseDescription(copy.get(), body.size(), record);
}

DeviceRecord parse(std::string_view body)
{
    DeviceRecord record{};
    parseInto(record, body);
    return record;
}

std::string fixture(const char* name)
{
    std::ifstream in(std::string(QVD_TEST_DATA_DIR) + "/descriptions/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool allFieldsTerminated(const DeviceRecord& record)
{
    const auto* fields = reinterpret_cast<const char(*)[DeviceFieldSize]>(&record);
    for (std::size_t i = 0; i < sizeof record / DeviceFieldSize; ++i) {
        if (std::memchr(fields[i], '\0', DeviceFieldSize) == nullptr) {
            return false;
        }
    }
    return true;
}

// --- Text of an element --------------------------------------------------------------------

TEST(DescriptionText, KeepsWhiteSpaceAroundTheText)
{
    EXPECT_EQ(text(parse("<friendlyName>  Office NAS </friendlyName>").friendlyName), "  Office NAS ");
    EXPECT_EQ(text(parse("<friendlyName>\r\n\tA\r\n</friendlyName>").friendlyName), "\r\n\tA\r\n");
    // Text of white space alone is text too.
    EXPECT_EQ(text(parse("<friendlyName>   </friendlyName>").friendlyName), "   ");
}

TEST(DescriptionText, CdataContentIsStoredWithoutItsMarkers)
{
    EXPECT_EQ(text(parse("<friendlyName><![CDATA[Den <A&B>]]></friendlyName>").friendlyName), "Den <A&B>");
    // White space before the section is not part of the value, white space inside it is.
    EXPECT_EQ(text(parse("<friendlyName>\n  <![CDATA[ x ]]>\n</friendlyName>").friendlyName), " x ");
    // Only a section that opens the content counts; after other text it is markup and the
    // element has mixed content.
    EXPECT_EQ(text(parse("<friendlyName>a<![CDATA[b]]></friendlyName>").friendlyName), "");
    // Text after the section is passed over.
    EXPECT_EQ(text(parse("<friendlyName><![CDATA[b]]>tail</friendlyName>").friendlyName), "b");
    // An empty section reports nothing, so an earlier value stays.
    EXPECT_EQ(text(parse("<friendlyName>A</friendlyName><friendlyName><![CDATA[]]></friendlyName>").friendlyName), "A");
}

TEST(DescriptionText, NamespacePrefixIsDropped)
{
    EXPECT_EQ(text(parse("<dev:friendlyName>P</dev:friendlyName>").friendlyName), "P");
    EXPECT_EQ(text(parse("<a:b:c:friendlyName>Q</a:b:c:friendlyName>").friendlyName), "Q");
    // A colon at the end leaves no name at all; a suffix after the colon is a different name.
    EXPECT_EQ(text(parse("<friendlyName:>R</friendlyName:>").friendlyName), "");
    EXPECT_EQ(text(parse("<friendlyName:x>S</friendlyName:x>").friendlyName), "");
    EXPECT_EQ(text(parse("<dev:friendlyName>P</dev:friendlyName>").elementName), "friendlyName");
}

TEST(DescriptionText, EmptyOrSelfClosingElementLeavesTheField)
{
    EXPECT_EQ(text(parse("<friendlyName>A</friendlyName><friendlyName/>").friendlyName), "A");
    EXPECT_EQ(text(parse("<friendlyName>A</friendlyName><friendlyName id=\"2\" />").friendlyName), "A");
    EXPECT_EQ(text(parse("<friendlyName>A</friendlyName><friendlyName></friendlyName>").friendlyName), "A");
    EXPECT_EQ(text(parse("<friendlyName/>").friendlyName), "");
}

TEST(DescriptionText, ElementWithAChildReportsNoText)
{
    EXPECT_EQ(text(parse("<friendlyName>Outer<b>inner</b></friendlyName>").friendlyName), "");
    EXPECT_EQ(text(parse("<friendlyName>A</friendlyName><friendlyName>B<i>x</i></friendlyName>").friendlyName), "A");
    // The child's text belongs to the child.
    const DeviceRecord record = parse("<deviceType>Outer<modelName>M</modelName>tail</deviceType>");
    EXPECT_EQ(text(record.deviceType), "");
    EXPECT_EQ(text(record.modelName), "M");
}

TEST(DescriptionText, LastElementOfANameWins)
{
    EXPECT_EQ(text(parse("<friendlyName>First</friendlyName><friendlyName>Second</friendlyName>").friendlyName),
              "Second");
    // Nesting and end tags do not matter: whatever element opened last names the text.
    EXPECT_EQ(text(parse("<a><friendlyName>1</friendlyName></a><b><friendlyName>2</friendlyName></b>").friendlyName),
              "2");
}

TEST(DescriptionText, ElementNamesAreMatchedExactly)
{
    const DeviceRecord record = parse("<FriendlyName>a</FriendlyName><friendlyname>b</friendlyname>"
                                      "<udn>c</udn><hostPort>d</hostPort><elementName>e</elementName>"
                                      "<manufacturerurl>f</manufacturerurl><modelNumberX>g</modelNumberX>");
    EXPECT_EQ(text(record.friendlyName), "");
    EXPECT_EQ(text(record.UDN), "");
    EXPECT_EQ(text(record.hostPort), "");
    EXPECT_EQ(text(record.manufacturerURL), "");
    EXPECT_EQ(text(record.modelNumber), "");
    // elementName is only ever the last opened name, never an element's text.
    EXPECT_EQ(text(record.elementName), "modelNumberX");
}

TEST(DescriptionText, EveryFieldHasItsElement)
{
    const DeviceRecord record =
        parse("<deviceType>1</deviceType><friendlyName>2</friendlyName><manufacturer>3</manufacturer>"
              "<manufacturerURL>4</manufacturerURL><modelDescription>5</modelDescription><modelName>6</modelName>"
              "<modelNumber>7</modelNumber><modelURL>8</modelURL><UDN>9</UDN><presentationURL>10</presentationURL>");
    EXPECT_EQ(text(record.deviceType), "1");
    EXPECT_EQ(text(record.friendlyName), "2");
    EXPECT_EQ(text(record.manufacturer), "3");
    EXPECT_EQ(text(record.manufacturerURL), "4");
    EXPECT_EQ(text(record.modelDescription), "5");
    EXPECT_EQ(text(record.modelName), "6");
    EXPECT_EQ(text(record.modelNumber), "7");
    EXPECT_EQ(text(record.modelURL), "8");
    EXPECT_EQ(text(record.UDN), "9");
    EXPECT_EQ(text(record.presentationURL), "10");
    EXPECT_EQ(text(record.hostPort), "");
}

TEST(DescriptionText, LongTextIsCutTo127Bytes)
{
    for (std::size_t length : {126u, 127u, 128u, 200u, 5000u}) {
        const std::string value(length, 'n');
        const DeviceRecord record = parse("<modelURL>" + value + "</modelURL>");
        EXPECT_EQ(text(record.modelURL), value.substr(0, 127)) << length;
        EXPECT_EQ(record.modelURL[127], '\0');
    }
    // A shorter later value replaces a long one completely.
    EXPECT_EQ(text(parse("<UDN>" + std::string(200, 'u') + "</UDN><UDN>short</UDN>").UDN), "short");
}

TEST(DescriptionText, EntitiesAndBytesStayRaw)
{
    const DeviceRecord record = parse(fixture("entities.xml"));
    EXPECT_EQ(text(record.friendlyName), "Tom &amp; Jerry&#39;s NAS");
    EXPECT_EQ(text(record.manufacturer), "Halvren Storage Corporation&#x2122;");
    EXPECT_EQ(text(record.modelDescription), "&lt;b&gt;fast&lt;/b&gt; &unknown; &#xZZ; &");
    EXPECT_EQ(text(record.modelName), "B\xC3\xBCro&#160;Speicher");
    EXPECT_EQ(text(record.modelNumber), "&quot;ZN-1&quot;");
    EXPECT_EQ(text(record.UDN), "uuid:&apos;odd&apos;");
    // The maker test sees the raw text and still finds the name.
    EXPECT_TRUE(qvd::isMakerDevice(record));
}

// --- Markup the tokenizer gets wrong on purpose --------------------------------------------

TEST(DescriptionMarkup, UnquotedAttributeEndingAtTheTagSwallowsIt)
{
    // The ">" ends the value and is passed over, so the text becomes further attributes that
    // never meet an "=": nothing more is stored.
    DeviceRecord record = parse("<modelName>M</modelName><friendlyName id=7>Name</friendlyName>"
                                "<manufacturer>Halvren Storage Corporation</manufacturer>");
    EXPECT_EQ(text(record.modelName), "M");
    EXPECT_EQ(text(record.friendlyName), "");
    EXPECT_EQ(text(record.manufacturer), "");
    EXPECT_EQ(text(record.elementName), "friendlyName");
    // When an "=" does come later, the tag ends there and the text after it is taken for the
    // swallowed element's text.
    record = parse("<friendlyName id=7>Name</friendlyName><modelName lang=\"en\">M</modelName>");
    EXPECT_EQ(text(record.friendlyName), "M");
    EXPECT_EQ(text(record.modelName), "");
}

TEST(DescriptionMarkup, AttributesAreSkipped)
{
    EXPECT_EQ(text(parse("<friendlyName a=\"x>y\" b='/\"' c = \"1\"\t\r\nd='' >N</friendlyName>").friendlyName), "N");
    // An unquoted value ending at "/" passes over the "/", so the tag is no longer empty.
    EXPECT_EQ(text(parse("<friendlyName a=b/>x</friendlyName>").friendlyName), "x");
    EXPECT_EQ(text(parse("<friendlyName a=b >N</friendlyName>").friendlyName), "N");
    // An attribute without "=" takes the next "=" anywhere, here one inside the text.
    EXPECT_EQ(text(parse("<friendlyName flag>a=b c</friendlyName><UDN>u</UDN>").friendlyName), "");
}

TEST(DescriptionMarkup, CommentIsTakenForAStartTag)
{
    // No "=" after the comment: the parse ends in its "attributes".
    DeviceRecord record = parse("<modelName>M</modelName><!-- the name --><friendlyName>A</friendlyName>");
    EXPECT_EQ(text(record.modelName), "M");
    EXPECT_EQ(text(record.friendlyName), "");
    EXPECT_EQ(text(record.elementName), "!--");
    // An "=" later ends the comment's tag there; the markup between is lost, what follows is read.
    record = parse("<!-- note --><friendlyName>A</friendlyName><modelName k=\"v\">M</modelName>"
                   "<friendlyName>B</friendlyName>");
    EXPECT_EQ(text(record.friendlyName), "B");
    EXPECT_EQ(text(record.modelName), "");
    // A comment without spaces is a start tag without attributes and costs nothing.
    EXPECT_EQ(text(parse("<!--x--> ").elementName), "!--x--");
    EXPECT_EQ(text(parse("<!--x--><friendlyName>A</friendlyName>").friendlyName), "A");
}

TEST(DescriptionMarkup, LongElementNameIsCutAndMatchesNothing)
{
    const std::string name = "friendlyName" + std::string(188, 'x');
    ASSERT_EQ(name.size(), 200u);
    const DeviceRecord record = parse("<" + name + ">text</" + name + ">");
    EXPECT_EQ(text(record.elementName), name.substr(0, 127));
    EXPECT_EQ(text(record.friendlyName), "");
    // A long prefix is dropped whole.
    EXPECT_EQ(text(parse("<" + std::string(300, 'p') + ":UDN>u</UDN>").UDN), "u");
}

TEST(DescriptionMarkup, DeclarationsAndStrayMarkupArePassedOver)
{
    EXPECT_EQ(text(parse("<?xml version=\"1.0\"?><?pi <x> ?><friendlyName>A</friendlyName>").friendlyName), "A");
    // "<" with a space or ">" after it is no tag; the name after it is plain bytes.
    EXPECT_EQ(text(parse("< friendlyName>A</friendlyName>").friendlyName), "");
    EXPECT_EQ(text(parse("<><friendlyName>A</friendlyName>").friendlyName), "A");
    EXPECT_EQ(text(parse("x < y > z <friendlyName>A</friendlyName>").friendlyName), "A");
    EXPECT_EQ(text(parse("<\tfriendlyName>A</friendlyName>").friendlyName), "");
}

TEST(DescriptionMarkup, ElementNameSurvivesEndTags)
{
    EXPECT_EQ(text(parse("<a>x</a>").elementName), "a");
    EXPECT_EQ(text(parse("<a><b/></a></c>").elementName), "b");
    // An end tag alone never sets the name.
    EXPECT_EQ(text(parse("</friendlyName>").elementName), "");
}

TEST(DescriptionMarkup, StartTagClearsTheWholePreviousName)
{
    const DeviceRecord record = parse("<" + std::string(120, 'n') + ">x</n><UDN>u</UDN>");
    EXPECT_EQ(text(record.UDN), "u");
    for (int i = 3; i < DeviceFieldSize; ++i) {
        ASSERT_EQ(record.elementName[i], '\0') << i;
    }
}

// --- The end of the buffer -----------------------------------------------------------------

TEST(DescriptionTruncation, BufferEndingInsideTextStoresNothing)
{
    EXPECT_EQ(text(parse("<friendlyName>Half").friendlyName), "");
    EXPECT_EQ(text(parse("<friendlyName>Half<").friendlyName), "");
    EXPECT_EQ(text(parse("<friendlyName>  ").friendlyName), "");
    EXPECT_EQ(text(parse("<friendlyName>").friendlyName), "");
    EXPECT_EQ(text(parse("<friendlyName><![CDATA[Half]]").friendlyName), "");
    EXPECT_EQ(text(parse("<friendlyName><![CDATA[Half]]>").friendlyName), "");
    // The text is complete once "</" is seen.
    EXPECT_EQ(text(parse("<friendlyName>Whole</").friendlyName), "Whole");
}

TEST(DescriptionTruncation, BufferEndingInsideMarkupKeepsEarlierFields)
{
    const std::string head = "<modelName>M</modelName>";
    for (const char* tail : {"<", "<f", "<friendlyNa", "<dev:", "<friendlyName ", "<friendlyName a",
                             "<friendlyName a=", "<friendlyName a=\"x", "<friendlyName a=x", "</modelNa", "</",
                             "<!-- c", "<friendlyName/", "<friendlyName><![CDATA["}) {
        const DeviceRecord record = parse(head + tail);
        EXPECT_EQ(text(record.modelName), "M") << tail;
        EXPECT_EQ(text(record.friendlyName), "") << tail;
        EXPECT_TRUE(allFieldsTerminated(record)) << tail;
    }
}

TEST(DescriptionTruncation, EmptyAndTinyBuffers)
{
    DeviceRecord record{};
    qvd::parseDescription(nullptr, 0, record);
    EXPECT_EQ(text(record.elementName), "");
    for (const char* body : {"", "<", "x", "<a", "<>", "</", "<?", "a<"}) {
        record = parse(body);
        EXPECT_TRUE(allFieldsTerminated(record)) << body;
    }
    // The last byte is never taken as markup, so a one-letter name at the end is not opened.
    EXPECT_EQ(text(parse("x<a").elementName), "");
    EXPECT_EQ(text(parse("x<a>").elementName), "a");
}

TEST(DescriptionTruncation, EveryPrefixStoresOnlyWholeValues)
{
    // Whatever the cut, a stored value is always the complete text of one element of the full
    // document: a partly seen text is never stored.
    const std::string body = fixture("maker_nas.xml");
    ASSERT_GT(body.size(), 3000u);
    for (std::size_t length = 0; length <= body.size(); ++length) {
        const DeviceRecord record = parse(std::string_view(body).substr(0, length));
        ASSERT_TRUE(allFieldsTerminated(record)) << length;
        for (const char* field : {record.deviceType, record.friendlyName, record.manufacturer, record.manufacturerURL,
                                  record.modelDescription, record.modelName, record.modelNumber, record.modelURL,
                                  record.UDN, record.presentationURL}) {
            const std::string value(field, ::strnlen(field, DeviceFieldSize));
            if (!value.empty()) {
                ASSERT_NE(body.find(">" + value + "</"), std::string::npos) << length << ": " << value;
            }
        }
    }
}

// --- Whole descriptions --------------------------------------------------------------------

TEST(DescriptionFixture, EmbeddedDevicesOverrideTheRootDevice)
{
    DeviceRecord record = parse(fixture("maker_nas.xml"));
    // The second embedded device is the last to carry these.
    EXPECT_EQ(text(record.deviceType), "urn:halvren-example:device:QvNAS:1");
    EXPECT_EQ(text(record.friendlyName), "Office Storage: Backup");
    EXPECT_EQ(text(record.modelName), "QvNAS Backup Agent");
    EXPECT_EQ(text(record.UDN), "uuid:4f1c2a90-0000-1000-8000-00a0c9f3e203");
    // The first embedded device is the last to carry these.
    EXPECT_EQ(text(record.manufacturerURL), "http://www.halvren.example/media/");
    EXPECT_EQ(text(record.modelNumber), "2.1");
    // Only the root device carries these.
    EXPECT_EQ(text(record.modelDescription), "Two-bay network storage with media sharing");
    EXPECT_EQ(text(record.modelURL), "http://www.halvren.example/products/ktc32");
    // After the deviceList: the root device's value.
    EXPECT_EQ(text(record.presentationURL), "http://192.168.1.20:80/");
    EXPECT_EQ(text(record.manufacturer), "Halvren Storage Corporation");
    EXPECT_EQ(text(record.elementName), "presentationURL");
    EXPECT_EQ(text(record.hostPort), "");

    qvd::shortenDeviceType(record);
    EXPECT_EQ(text(record.deviceType), "QvNAS");
    EXPECT_TRUE(qvd::isListedDevice(record));
}

TEST(DescriptionFixture, AnotherMakersMediaServerIsKnownButNotListed)
{
    DeviceRecord record = parse(fixture("other_media_server.xml"));
    EXPECT_EQ(text(record.friendlyName), "Den Media Library");
    EXPECT_EQ(text(record.manufacturer), "Brightwave Media Systems");
    EXPECT_EQ(text(record.modelNumber), "3.4.0");
    EXPECT_EQ(text(record.UDN), "uuid:8d2e6b10-5c3a-4e7f-9a01-b2c3d4e5f607");
    EXPECT_EQ(text(record.presentationURL), "");
    qvd::shortenDeviceType(record);
    EXPECT_TRUE(qvd::isKnownDeviceType(record));
    EXPECT_FALSE(qvd::isMakerDevice(record));
    EXPECT_FALSE(qvd::isListedDevice(record));
}

TEST(DescriptionFixture, TruncatedDescriptionKeepsWhatWasComplete)
{
    const DeviceRecord record = parse(fixture("truncated.xml"));
    // Cut inside the embedded device's friendlyName: its type arrived, its name did not.
    EXPECT_EQ(text(record.deviceType), "urn:schemas-upnp-org:device:MediaServer:1");
    EXPECT_EQ(text(record.friendlyName), "Office Storage");
    EXPECT_EQ(text(record.modelName), "QvNAS KTC32");
    EXPECT_EQ(text(record.presentationURL), "");
    EXPECT_EQ(text(record.elementName), "friendlyName");
}

TEST(DescriptionFixture, CommentsSwallowTheMarkupAfterThem)
{
    const DeviceRecord record = parse(fixture("comments.xml"));
    // The comment before the root ends at the root's xmlns attribute, which costs nothing; the
    // one inside the device finds no "=" and ends the parse.
    EXPECT_EQ(text(record.deviceType), "urn:halvren-example:device:ZeNAS:1");
    EXPECT_EQ(text(record.manufacturer), "Halvren Storage Corporation");
    EXPECT_EQ(text(record.friendlyName), "");
    EXPECT_EQ(text(record.modelName), "");
    EXPECT_EQ(text(record.presentationURL), "");
    EXPECT_EQ(text(record.elementName), "!--");
}

TEST(DescriptionFixture, CdataSections)
{
    const DeviceRecord record = parse(fixture("cdata.xml"));
    EXPECT_EQ(text(record.deviceType), "urn:schemas-upnp-org:device:MediaRenderer:1");
    EXPECT_EQ(text(record.friendlyName), "Living <Room> & Kitchen");
    EXPECT_EQ(text(record.manufacturer), "");
    EXPECT_EQ(text(record.modelDescription), " spaced ");
    EXPECT_EQ(text(record.modelName), "");
    EXPECT_EQ(text(record.modelNumber), "R-2");
}

TEST(DescriptionFixture, NamespacePrefixes)
{
    const DeviceRecord record = parse(fixture("namespaces.xml"));
    EXPECT_EQ(text(record.deviceType), "urn:schemas-upnp-org:device:MediaServer:1");
    EXPECT_EQ(text(record.friendlyName), "Prefixed");
    EXPECT_EQ(text(record.manufacturer), "Halvren Storage Corporation");
    EXPECT_EQ(text(record.modelName), "Two Colons");
    EXPECT_EQ(text(record.UDN), "");
    EXPECT_EQ(text(record.modelNumber), "");
}

TEST(DescriptionFixture, ParsingIntoAUsedRecordOverwritesOnlyWhatIsFound)
{
    DeviceRecord record{};
    const char location[] = "http://192.168.1.20:80/desc.xml";
    qvd::copyField(record.hostPort, location, sizeof location - 1);
    parseInto(record, fixture("other_media_server.xml"));
    EXPECT_EQ(text(record.hostPort), location);
    EXPECT_EQ(text(record.friendlyName), "Den Media Library");
}

} // namespace
