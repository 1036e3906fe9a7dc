// Reading device descriptions into records, with every quirk of the tokenizer that a device's
// bytes can reach.
#include "description.h"
#include "devicetable.h"
#include "filter.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

namespace {

using qvd::DeviceFieldSize;
using qvd::DeviceRecord;
using Field = char (DeviceRecord::*)[DeviceFieldSize];

constexpr Field Type = &DeviceRecord::deviceType;
constexpr Field Name = &DeviceRecord::friendlyName;
constexpr Field Maker = &DeviceRecord::manufacturer;
constexpr Field Model = &DeviceRecord::modelName;
constexpr Field Number = &DeviceRecord::modelNumber;
constexpr Field Udn = &DeviceRecord::UDN;
constexpr Field Element = &DeviceRecord::elementName;
constexpr Field Texts[] = {Type,
                           Name,
                           Maker,
                           &DeviceRecord::manufacturerURL,
                           &DeviceRecord::modelDescription,
                           Model,
                           Number,
                           &DeviceRecord::modelURL,
                           Udn,
                           &DeviceRecord::presentationURL};

std::string text(const DeviceRecord& record, Field field)
{
    return {record.*field, ::strnlen(record.*field, DeviceFieldSize)};
}

// Parses from an exact-size heap copy, so that a read past the end shows under the sanitizer.
DeviceRecord parse(std::string_view body, DeviceRecord record = {})
{
    std::unique_ptr<char[]> copy(new char[body.size()]);
    body.copy(copy.get(), body.size());
    qvd::parseDescription(copy.get(), body.size(), record);
    return record;
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

struct Case
{
    std::string body;
    Field field;
    std::string value;
};

TEST(Description, StoresTheTextOfTheLastElementOfEachName)
{
    const std::string n200 = "friendlyName" + std::string(188, 'x');
    const std::string swallowed = "<modelName>M</modelName><friendlyName id=7>Name</friendlyName>"
                                  "<manufacturer>Halvren Storage Corporation</manufacturer>";
    const std::string comment = "<modelName>M</modelName><!-- the name --><friendlyName>A</friendlyName>";
    const std::string mixed = "<deviceType>Outer<modelName>M</modelName>tail</deviceType>";
    const Case cases[] = {
        // White space around and of the text is kept.
        {"<friendlyName>  Office NAS </friendlyName>", Name, "  Office NAS "},
        {"<friendlyName>\r\n\tA\r\n</friendlyName>", Name, "\r\n\tA\r\n"},
        {"<friendlyName>   </friendlyName>", Name, "   "},
        // A CDATA section that opens the content is stored without its markers or the white space
        // before it; after other text it is markup; text after it is passed over; empty, it
        // reports nothing.
        {"<friendlyName><![CDATA[Den <A&B>]]></friendlyName>", Name, "Den <A&B>"},
        {"<friendlyName>\n  <![CDATA[ x ]]>\n</friendlyName>", Name, " x "},
        {"<friendlyName>a<![CDATA[b]]></friendlyName>", Name, ""},
        {"<friendlyName><![CDATA[b]]>tail</friendlyName>", Name, "b"},
        {"<friendlyName>A</friendlyName><friendlyName><![CDATA[]]></friendlyName>", Name, "A"},
        // A namespace prefix is dropped, however long; a colon at the end or a suffix is a
        // different name.
        {"<dev:friendlyName>P</dev:friendlyName>", Name, "P"},
        {"<a:b:c:friendlyName>Q</a:b:c:friendlyName>", Name, "Q"},
        {"<dev:friendlyName>P</dev:friendlyName>", Element, "friendlyName"},
        {"<friendlyName:>R</friendlyName:>", Name, ""},
        {"<friendlyName:x>S</friendlyName:x>", Name, ""},
        {"<" + std::string(300, 'p') + ":UDN>u</UDN>", Udn, "u"},
        // Empty and self-closing elements leave the field as it was.
        {"<friendlyName>A</friendlyName><friendlyName/>", Name, "A"},
        {"<friendlyName>A</friendlyName><friendlyName id=\"2\" />", Name, "A"},
        {"<friendlyName>A</friendlyName><friendlyName></friendlyName>", Name, "A"},
        // An element with a child has no text; the child's text is the child's.
        {"<friendlyName>Outer<b>inner</b></friendlyName>", Name, ""},
        {"<friendlyName>A</friendlyName><friendlyName>B<i>x</i></friendlyName>", Name, "A"},
        {mixed, Type, ""},
        {mixed, Model, "M"},
        // The second of a name wins, whatever the nesting; a shorter one replaces a long one whole.
        {"<friendlyName>First</friendlyName><friendlyName>Second</friendlyName>", Name, "Second"},
        {"<a><friendlyName>1</friendlyName></a><b><friendlyName>2</friendlyName></b>", Name, "2"},
        {"<UDN>" + std::string(200, 'u') + "</UDN><UDN>short</UDN>", Udn, "short"},
        // Names match exactly; elementName is only ever the last opened name.
        {"<FriendlyName>a</FriendlyName><friendlyname>b</friendlyname>", Name, ""},
        {"<udn>c</udn><hostPort>d</hostPort>", &DeviceRecord::hostPort, ""},
        {"<elementName>e</elementName><modelNumberX>g</modelNumberX>", Element, "modelNumberX"},
        {"<modelNumberX>g</modelNumberX>", Number, ""},
        // Entities and bytes stay raw.
        {"<friendlyName>Tom &amp; Jerry&#39;s &unknown; &#xZZ; &</friendlyName>", Name,
         "Tom &amp; Jerry&#39;s &unknown; &#xZZ; &"},
        {"<modelName>B\xC3\xBCro&#160;Speicher</modelName>", Model, "B\xC3\xBCro&#160;Speicher"},
        // An unquoted attribute ending at the tag swallows the ">": the text becomes attributes
        // that never meet an "=", and nothing more is stored...
        {swallowed, Model, "M"},
        {swallowed, Name, ""},
        {swallowed, Maker, ""},
        {swallowed, Element, "friendlyName"},
        // ...unless an "=" comes later: the tag ends there and what follows is its text.
        {"<friendlyName id=7>Name</friendlyName><modelName lang=\"en\">M</modelName>", Name, "M"},
        {"<friendlyName id=7>Name</friendlyName><modelName lang=\"en\">M</modelName>", Model, ""},
        // Other attributes are skipped; an unquoted value ending at "/" passes over the "/".
        {"<friendlyName a=\"x>y\" b='/\"' c = \"1\"\t\r\nd='' >N</friendlyName>", Name, "N"},
        {"<friendlyName a=b/>x</friendlyName>", Name, "x"},
        {"<friendlyName a=b >N</friendlyName>", Name, "N"},
        {"<friendlyName flag>a=b c</friendlyName><UDN>u</UDN>", Name, ""},
        // A comment is taken for a start tag: with no "=" after it the parse ends in its
        // "attributes"; an "=" ends it there; without spaces it costs nothing.
        {comment, Model, "M"},
        {comment, Name, ""},
        {comment, Element, "!--"},
        {"<!-- note --><friendlyName>A</friendlyName><modelName k=\"v\">M</modelName><friendlyName>B</friendlyName>",
         Name, "B"},
        {"<!--x--><friendlyName>A</friendlyName>", Name, "A"},
        {"<!--x--> ", Element, "!--x--"},
        // A 200-character name is cut and matches nothing.
        {"<" + n200 + ">text</" + n200 + ">", Element, n200.substr(0, 127)},
        {"<" + n200 + ">text</" + n200 + ">", Name, ""},
        // Declarations pass; "<" with white space after it is no tag.
        {"<?xml version=\"1.0\"?><?pi <x> ?><friendlyName>A</friendlyName>", Name, "A"},
        {"< friendlyName>A</friendlyName>", Name, ""},
        {"<\tfriendlyName>A</friendlyName>", Name, ""},
        {"x < y > z <><friendlyName>A</friendlyName>", Name, "A"},
        // End tags never set the name.
        {"<a><b/></a></c>", Element, "b"},
        {"</friendlyName>", Element, ""},
        // A buffer ending inside text stores nothing; the text is whole once "</" is seen. The
        // last byte is never taken as markup.
        {"<friendlyName>Half", Name, ""},
        {"<friendlyName>Half<", Name, ""},
        {"<friendlyName>  ", Name, ""},
        {"<friendlyName><![CDATA[Half]]>", Name, ""},
        {"<friendlyName>Whole</", Name, "Whole"},
        {"x<a", Element, ""},
        {"x<a>", Element, "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        const DeviceRecord record = parse(c.body);
        EXPECT_EQ(text(record, c.field), c.value);
        EXPECT_TRUE(allFieldsTerminated(record));
    }
}

TEST(Description, EveryFieldHasItsElementAndIsCutTo127Bytes)
{
    const char* names[] = {
        "deviceType",  "friendlyName", "manufacturer", "manufacturerURL", "modelDescription", "modelName",
        "modelNumber", "modelURL",     "UDN",          "presentationURL"};
    std::string body;
    for (std::size_t i = 0; i < std::size(Texts); ++i) {
        body += "<" + std::string(names[i]) + ">" + std::to_string(i) + std::string(200, 'v') + "</" + names[i] + ">";
    }
    const DeviceRecord record = parse(body);
    for (std::size_t i = 0; i < std::size(Texts); ++i) {
        EXPECT_EQ(text(record, Texts[i]), (std::to_string(i) + std::string(200, 'v')).substr(0, 127)) << names[i];
    }
    EXPECT_EQ(text(record, &DeviceRecord::hostPort), "");
    // Parsing into a used record overwrites only what is found; a start tag clears the whole
    // previous name.
    DeviceRecord used{};
    qvd::copyField(used.hostPort, "10.0.0.1:80", 11);
    used = parse("<" + std::string(120, 'n') + ">x</n><UDN>u</UDN>", used);
    EXPECT_EQ(text(used, &DeviceRecord::hostPort), "10.0.0.1:80");
    EXPECT_EQ(text(used, Element), "UDN");
    EXPECT_EQ(std::count(std::begin(used.elementName), std::end(used.elementName), '\0'), DeviceFieldSize - 3);
}

TEST(Description, BufferEndingInsideMarkupKeepsEarlierFields)
{
    DeviceRecord empty{};
    qvd::parseDescription(nullptr, 0, empty);
    EXPECT_EQ(text(empty, Element), "");
    for (const char* tail : {"", "<", "<f", "<friendlyNa", "<dev:", "<friendlyName ", "<friendlyName a",
                             "<friendlyName a=", "<friendlyName a=\"x", "<friendlyName a=x", "</modelNa", "</",
                             "<!-- c", "<friendlyName/", "<friendlyName><![CDATA[", "<?", "<>"}) {
        const DeviceRecord record = parse(std::string("<modelName>M</modelName>") + tail);
        EXPECT_EQ(text(record, Model), "M") << tail;
        EXPECT_EQ(text(record, Name), "") << tail;
        EXPECT_TRUE(allFieldsTerminated(record)) << tail;
        EXPECT_TRUE(allFieldsTerminated(parse(tail))) << tail;
    }
}

std::string fixture(const char* name)
{
    std::ifstream in(std::string(QVD_TEST_DATA_DIR) + "/descriptions/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Description, EmbeddedDevicesOverrideTheRootDevice)
{
    DeviceRecord record = parse(fixture("maker_nas.xml"));
    // The second embedded device is the last to carry these.
    EXPECT_EQ(text(record, Type), "urn:halvren-example:device:QvNAS:1");
    EXPECT_EQ(text(record, Name), "Office Storage: Backup");
    EXPECT_EQ(text(record, Model), "QvNAS Backup Agent");
    EXPECT_EQ(text(record, Udn), "uuid:4f1c2a90-0000-1000-8000-00a0c9f3e203");
    // The first embedded device is the last to carry these.
    EXPECT_EQ(text(record, &DeviceRecord::manufacturerURL), "http://www.halvren.example/media/");
    EXPECT_EQ(text(record, Number), "2.1");
    // Only the root device carries these.
    EXPECT_EQ(text(record, &DeviceRecord::modelDescription), "Two-bay network storage with media sharing");
    EXPECT_EQ(text(record, &DeviceRecord::modelURL), "http://www.halvren.example/products/ktc32");
    // After the deviceList: the root device's value.
    EXPECT_EQ(text(record, &DeviceRecord::presentationURL), "http://192.168.1.20:80/");
    EXPECT_EQ(text(record, Maker), "Halvren Storage Corporation");
    EXPECT_EQ(text(record, Element), "presentationURL");
    qvd::shortenDeviceType(record);
    EXPECT_TRUE(qvd::isListedDevice(record));
}

TEST(Description, EveryPrefixOfADescriptionStoresOnlyWholeValues)
{
    // Wherever the buffer ends, a stored value is the complete text of one element of the full
    // document: a partly seen text is never stored.
    const std::string body = fixture("maker_nas.xml");
    ASSERT_GT(body.size(), 3000u);
    for (std::size_t length = 0; length <= body.size(); ++length) {
        const DeviceRecord record = parse(std::string_view(body).substr(0, length));
        ASSERT_TRUE(allFieldsTerminated(record)) << length;
        for (const Field field : Texts) {
            const std::string value = text(record, field);
            if (!value.empty()) {
                ASSERT_NE(body.find(">" + value + "</"), std::string::npos) << length << ": " << value;
            }
        }
    }
}

} // namespace
