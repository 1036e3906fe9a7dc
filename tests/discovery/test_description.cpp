// Reading device descriptions into records, with every quirk of the tokenizer that a device's
// bytes can reach, and the record helpers applied to them. Buffers are exact-size
// heap copies, so that a read past the end shows under the sanitizers.
#include "description.h"
#include "devicetable.h"
#include "filter.h"

#include <cstddef>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

using qvd::DeviceFieldSize;
using qvd::DeviceRecord;

// Field indexes in record order, and the element that sets each.
constexpr std::size_t Type = 0, Name = 1, HostPort = 2, Maker = 3, Model = 6, Number = 7, ModelUrl = 8, Udn = 9,
                      Presentation = 10, Element = 11;
constexpr const char* ElementOf[] = {
    "deviceType", "friendlyName", nullptr,    "manufacturer", "manufacturerURL", "modelDescription",
    "modelName",  "modelNumber",  "modelURL", "UDN",          "presentationURL", nullptr};
static_assert(offsetof(DeviceRecord, elementName) == Element * DeviceFieldSize && sizeof(DeviceRecord) == 12 * 128);

std::string text(const DeviceRecord& record, std::size_t field)
{
    const char* start = reinterpret_cast<const char*>(&record) + field * DeviceFieldSize;
    return {start, ::strnlen(start, DeviceFieldSize)};
}

bool allFieldsTerminated(const DeviceRecord& record)
{
    for (std::size_t field = Type; field <= Element; ++field) {
        if (text(record, field).size() == DeviceFieldSize) {
            return false;
        }
    }
    return true;
}

DeviceRecord parse(std::string_view body, DeviceRecord record = {})
{
    const std::vector<char> copy(body.begin(), body.end());
    qvd::parseDescription(copy.data(), copy.size(), record);
    return record;
}

} // namespace

TEST(Description, StoresTheTextOfTheLastElementOfEachName)
{
    const std::string n200 = "friendlyName" + std::string(188, 'x');
    const std::string comment = "<modelName>M</modelName><!-- the name --><friendlyName>A</friendlyName>";
    const struct
    {
        std::string body;
        std::size_t field;
        std::string value;
    } cases[] = {
        // White space is kept, except before a CDATA section, which counts only at the start.
        {"<friendlyName>  Office NAS </friendlyName>", Name, "  Office NAS "},
        {"<friendlyName>\n  <![CDATA[ <A&B> ]]>\n</friendlyName>", Name, " <A&B> "},
        {"<friendlyName>a<![CDATA[b]]></friendlyName>", Name, ""},
        {"<friendlyName>A</friendlyName><friendlyName><![CDATA[]]></friendlyName>", Name, "A"},
        // Its text counts once a byte follows its close.
        {"<friendlyName><![CDATA[b]]>", Name, ""},
        {"<friendlyName><![CDATA[b]]> ", Name, "b"},
        // Any namespace prefix is dropped, before the name is cut; a colon at the end is a
        // different name.
        {"<a:b:c:friendlyName>Q</a:b:c:friendlyName>", Name, "Q"},
        {"<" + std::string(300, 'p') + ":UDN>u</UDN>", Udn, "u"},
        {"<friendlyName:>R</friendlyName:>", Name, ""},
        // Empty elements and elements with a child leave the field as it was.
        {"<friendlyName>A</friendlyName><friendlyName/>", Name, "A"},
        {"<friendlyName>A</friendlyName><friendlyName></friendlyName>", Name, "A"},
        {"<friendlyName>A</friendlyName><friendlyName>B<i>x</i>tail</friendlyName>", Name, "A"},
        // A shorter value replaces a long one whole.
        {"<UDN>" + std::string(200, 'u') + "</UDN><UDN>short</UDN>", Udn, "short"},
        // Names match exactly and whole; hostPort has no element.
        {"<FriendlyName>a</FriendlyName><friendlyname>b</friendlyname>", Name, ""},
        {"<modelNumberX>g</modelNumberX>", Number, ""},
        {"<hostPort>d</hostPort>", HostPort, ""},
        {"<" + n200 + ">text</" + n200 + ">", Element, n200.substr(0, 127)},
        // Entities stay raw.
        {"<friendlyName>Tom &amp; Jerry&#39;s &unknown; &</friendlyName>", Name, "Tom &amp; Jerry&#39;s &unknown; &"},
        // An unquoted attribute ending at the tag, or one without "=", swallows the ">": what
        // follows is taken for attributes up to the next "=", or nothing more is stored.
        {"<friendlyName id=7>Name</friendlyName><manufacturer>Halvren Storage Corporation</manufacturer>", Maker, ""},
        {"<friendlyName id=7>Name</friendlyName><modelName lang=\"en\">M</modelName>", Name, "M"},
        {"<friendlyName flag>a=b c</friendlyName><UDN>u</UDN>", Name, ""},
        // Other attributes are skipped; an unquoted value ending at "/" passes over the "/".
        {"<friendlyName a=\"x>y\" b='/\"' c = \"1\"\t\r\nd='' >N</friendlyName>", Name, "N"},
        {"<friendlyName a=b/>x</friendlyName>", Name, "x"},
        // A comment is taken for a start tag with attributes; without blanks it costs nothing.
        {comment, Name, ""},
        {comment, Element, "!--"},
        {"<!-- note --><friendlyName>A</friendlyName><modelName k=\"v\">M</modelName><friendlyName>B</friendlyName>",
         Name, "B"},
        {"<!--x--><friendlyName>A</friendlyName>", Name, "A"},
        // Declarations pass; "<" with a blank after it is no tag; end tags never set the name.
        {"<?xml version=\"1.0\"?><?pi <x> ?><friendlyName>A</friendlyName>", Name, "A"},
        {"< friendlyName>A</friendlyName>", Name, ""},
        {"<a><b/></a></c>", Element, "b"},
        // Text counts once "</" is seen; the last byte is never taken as markup.
        {"<friendlyName>Half<", Name, ""},
        {"<friendlyName>Whole</", Name, "Whole"},
        {"x<a", Element, ""},
        {"x<a>", Element, "a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        const DeviceRecord record = parse(c.body);
        EXPECT_EQ(text(record, c.field), c.value);
        EXPECT_TRUE(allFieldsTerminated(record));
    }
}

TEST(Description, EveryFieldHasItsElementAndIsCutTo127Bytes)
{
    const auto valueFor = [](std::size_t field) { return std::to_string(field) + std::string(200, 'v'); };
    std::string body;
    for (std::size_t field = Type; field < Element; ++field) {
        body += field == HostPort ? "" : "<" + std::string(ElementOf[field]) + ">" + valueFor(field) + "</x>";
    }
    const DeviceRecord record = parse(body);
    for (std::size_t field = Type; field < Element; ++field) {
        EXPECT_EQ(text(record, field), field == HostPort ? "" : valueFor(field).substr(0, 127)) << field;
    }
    // Parsing into a used record overwrites only what is found; a start tag clears the whole
    // previous name.
    DeviceRecord used{};
    qvd::copyField(used.hostPort, "10.0.0.1:80", 11);
    used = parse("<" + std::string(120, 'n') + ">x</n><UDN>u</UDN>", used);
    EXPECT_EQ(text(used, HostPort), "10.0.0.1:80");
    EXPECT_EQ(std::string_view(used.elementName, DeviceFieldSize), "UDN" + std::string(DeviceFieldSize - 3, '\0'));
}

TEST(Description, EmbeddedDevicesOverrideTheRootAndEveryPrefixStoresOnlyWholeValues)
{
    // Wherever the buffer ends (inside names, attributes, quotes, CDATA or a comment), every
    // field stays terminated and a stored value is the whole text of one element.
    std::ifstream in(QVD_TEST_DATA_DIR "/descriptions/maker_nas.xml", std::ios::binary);
    ASSERT_TRUE(in.good());
    const std::string body = std::string(std::istreambuf_iterator<char>(in), {}) +
                             "<dev:modelName a=\"x>y\" b='/'>Tail</dev:modelName><UDN>\n<![CDATA[ <c> ]]></UDN>"
                             "<friendlyName k=v/><!-- end -->";
    DeviceRecord untouched{};
    qvd::parseDescription(nullptr, 0, untouched);
    for (std::size_t length = 0; length <= body.size(); ++length) {
        const DeviceRecord record = parse(std::string_view(body).substr(0, length));
        ASSERT_TRUE(allFieldsTerminated(record)) << length;
        for (std::size_t field = Type; field < Element; ++field) {
            const std::string value = text(record, field);
            if (!value.empty()) {
                ASSERT_TRUE(body.find(">" + value + "<") != std::string::npos ||
                            body.find("[" + value + "]") != std::string::npos)
                    << length << ": " << value;
            }
        }
    }
    // The last embedded device's type and name, the first one's model number, the root
    // device's model URL and, after its deviceList, its presentation URL; then the tail's.
    DeviceRecord whole = parse(body);
    EXPECT_EQ(text(whole, Type), "urn:halvren-example:device:QvNAS:1");
    EXPECT_EQ(text(whole, Name), "Office Storage: Backup");
    EXPECT_EQ(text(whole, Number), "2.1");
    EXPECT_EQ(text(whole, ModelUrl), "http://www.halvren.example/products/ktc32");
    EXPECT_EQ(text(whole, Presentation), "http://192.168.1.20:80/");
    EXPECT_EQ(text(whole, Model), "Tail");
    EXPECT_EQ(text(whole, Udn), " <c> ");
    qvd::shortenDeviceType(whole);
    EXPECT_TRUE(qvd::isListedDevice(whole));
}

TEST(DeviceType, ShortensToTheFourthTokenAndAcceptsFiveShortTypesExactly)
{
    const struct
    {
        const char* type;
        const char* shortened;
        bool known;
    } cases[] = {
        {"urn:schemas-upnp-org:device:MediaServer:1", "MediaServer", true},
        {"urn:schemas-upnp-org:device:MediaRenderer:2", "MediaRenderer", true},
        {"urn:halvren-example:device:QvNAS-KTC32:1", "QvNAS-KTC32", true},
        {"a:b:c:ZeNAS", "ZeNAS", true},
        // Runs of separators count as one and leading ones are skipped.
        {":::urn::schemas-upnp-org:::device::QvNAS:1", "QvNAS", true},
        // Fewer than four tokens: unchanged.
        {"a:b:c::::", "a:b:c::::", false},
        {"MediaServer", "MediaServer", true},
        {"", "", false},
        {"urn:schemas-upnp-org:device:InternetGatewayDevice:1", "InternetGatewayDevice", false},
        {"urn:schemas-upnp-org:device:MediaServer :1", "MediaServer ", false},
        {"urn:schemas-upnp-org:device:mediaserver:1", "mediaserver", false},
        {"QvNAS-KTC3", "QvNAS-KTC3", false},
    };
    for (const auto& c : cases) {
        DeviceRecord r{};
        qvd::copyField(r.deviceType, c.type, std::strlen(c.type));
        qvd::shortenDeviceType(r);
        EXPECT_EQ(std::string_view(r.deviceType, DeviceFieldSize),
                  c.shortened + std::string(DeviceFieldSize - std::strlen(c.shortened), '\0'))
            << c.type << ": the rest of the field is cleared";
        EXPECT_EQ(qvd::isKnownDeviceType(r), c.known) << c.type;
    }
    // A record without a terminator in deviceType must not pull the next field into the token.
    DeviceRecord r{};
    std::memset(r.deviceType, 'x', DeviceFieldSize);
    std::memcpy(r.deviceType, "a:b:c:", 6);
    std::memcpy(r.friendlyName, "ZeNAS", 6);
    EXPECT_FALSE(qvd::isKnownDeviceType(r));
    qvd::shortenDeviceType(r);
    EXPECT_EQ(text(r, Type), std::string(DeviceFieldSize - 6, 'x'));
}

TEST(HostPort, KeepsTheSecondSlashTokenOfTheLocation)
{
    const std::pair<std::string, std::string> cases[] = {
        {"http://192.168.1.20:80/desc.xml", "192.168.1.20:80"},
        {"http:///192.168.1.20:80//a", "192.168.1.20:80"},
        {"http://10.0.0.2:8080", "10.0.0.2:8080"},
        // Without a second token the field stays as it is.
        {"192.168.1.20:80", "192.168.1.20:80"},
    };
    for (const auto& [location, hostPort] : cases) {
        DeviceRecord r{};
        qvd::copyField(r.hostPort, location.data(), location.size());
        qvd::cutToHostPort(r);
        EXPECT_EQ(text(r, HostPort), hostPort) << location;
    }
}
