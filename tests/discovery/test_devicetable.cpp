// The record helpers of the device table and the filter that picks the maker's devices.
#include "devicetable.h"
#include "filter.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

using qvd::DeviceFieldSize;
using qvd::DeviceRecord;

std::string text(const char (&field)[DeviceFieldSize])
{
    return {field, ::strnlen(field, DeviceFieldSize)};
}

DeviceRecord record(const std::string& type, const std::string& hostPort = "", const std::string& maker = "")
{
    DeviceRecord r{};
    qvd::copyField(r.deviceType, type.data(), type.size());
    qvd::copyField(r.hostPort, hostPort.data(), hostPort.size());
    qvd::copyField(r.manufacturer, maker.data(), maker.size());
    return r;
}

TEST(DeviceType, ShortensToTheFourthTokenAndAcceptsFiveShortTypes)
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
        {"x:y:z:QvNAS", "QvNAS", true},
        // Runs of separators count as one and leading ones are skipped.
        {":::urn::schemas-upnp-org:::device::MediaRenderer:1", "MediaRenderer", true},
        // Fewer than four tokens: unchanged.
        {"a:b:c::::", "a:b:c::::", false},
        {"MediaServer", "MediaServer", true},
        {"urn:device:QvNAS", "urn:device:QvNAS", false},
        {"", "", false},
        {":::", ":::", false},
        {"urn:schemas-upnp-org:device:InternetGatewayDevice:1", "InternetGatewayDevice", false},
        // Exact, case-sensitive matches only.
        {"urn:schemas-upnp-org:device:MediaServer :1", "MediaServer ", false},
        {"urn:schemas-upnp-org:device:mediaserver:1", "mediaserver", false},
    };
    for (const auto& c : cases) {
        DeviceRecord r = record(c.type);
        qvd::shortenDeviceType(r);
        EXPECT_EQ(text(r.deviceType), c.shortened) << c.type;
        EXPECT_EQ(qvd::isKnownDeviceType(r), c.known) << c.type;
        const auto rest = static_cast<long>(DeviceFieldSize - std::strlen(c.shortened));
        EXPECT_EQ(std::count(std::end(r.deviceType) - rest, std::end(r.deviceType), '\0'), rest)
            << c.type << ": the rest of the field is cleared";
    }
    for (const char* type :
         {" MediaServer", "QvNAS-KTC3", "QvNAS-KTC32x", "ZeNAS:1", "MediaRenderers", "Media", "MEDIASERVER"}) {
        EXPECT_FALSE(qvd::isKnownDeviceType(record(type))) << '"' << type << '"';
    }
}

TEST(DeviceType, UnterminatedFieldIsReadOnlyToItsEdge)
{
    // A record without a terminator in deviceType must not pull the next field into the token.
    DeviceRecord r{};
    std::memset(r.deviceType, 'x', DeviceFieldSize);
    std::memcpy(r.deviceType, "a:b:c:", 6);
    std::memcpy(r.friendlyName, "ZeNAS", 6);
    EXPECT_FALSE(qvd::isKnownDeviceType(r));
    qvd::shortenDeviceType(r);
    EXPECT_EQ(text(r.deviceType), std::string(DeviceFieldSize - 6, 'x'));
    EXPECT_EQ(text(r.friendlyName), "ZeNAS");
}

TEST(HostPort, KeepsTheSecondSlashTokenOfTheCutLocation)
{
    const std::string longLocation = "http://192.168.1.20:80/" + std::string(177, 'p'); // 200 bytes
    const std::pair<std::string, std::string> cases[] = {
        {"http://192.168.1.20:80/desc.xml", "192.168.1.20:80"},
        {"http://192.168.1.20:49152/upnp/dev/desc.xml", "192.168.1.20:49152"},
        {"http:///192.168.1.20:80//a", "192.168.1.20:80"},
        {"http://10.0.0.2:8080", "10.0.0.2:8080"},
        {longLocation, "192.168.1.20:80"},
        // Without a second token the field stays as it is.
        {"192.168.1.20:80", "192.168.1.20:80"},
        {"///", "///"},
        {"", ""},
    };
    for (const auto& [location, hostPort] : cases) {
        DeviceRecord r = record("", location);
        qvd::cutToHostPort(r);
        EXPECT_EQ(text(r.hostPort), hostPort) << location;
    }
}

TEST(CopyField, CutsAt127AndTerminatesKeepingBytesAsTheyAre)
{
    char field[DeviceFieldSize];
    const std::string longText(300, 'x');
    for (std::size_t length : {0u, 1u, 126u, 127u, 128u, 300u}) {
        std::memset(field, '#', sizeof field);
        qvd::copyField(field, longText.data(), length);
        EXPECT_EQ(text(field), longText.substr(0, std::min<std::size_t>(length, 127))) << length;
    }
    const char bytes[] = "a&amp;\xC3\xBC\t b";
    qvd::copyField(field, bytes, sizeof bytes - 1);
    EXPECT_STREQ(field, bytes);
}

TEST(DeviceTable, ResetZeroesEveryRecordAndStartsASearch)
{
    auto list = std::make_unique<qvd::DeviceList>();
    std::memset(list->records, 0x5a, sizeof list->records);
    list->count.store(17);
    list->done.store(1);
    qvd::resetDeviceList(*list);
    EXPECT_EQ(list->count.load(), 0);
    EXPECT_EQ(list->done.load(), 0);
    const auto* bytes = reinterpret_cast<const unsigned char*>(list->records);
    EXPECT_EQ(std::count(bytes, bytes + sizeof list->records, 0), static_cast<long>(sizeof list->records));
}

TEST(DeviceFilter, ListedDevicesHaveAKnownShortTypeAndTheMakersName)
{
    for (const char* maker : {"Halvren Storage Corporation", "Halvren Storage Corporation, Networking Division",
                              "  Halvren Storage Corporation"}) {
        EXPECT_TRUE(qvd::isMakerDevice(record("", "", maker))) << maker;
    }
    for (const char* maker : {"HALVREN STORAGE CORPORATION", "halvren storage corporation", "Halvren Storage Corp.",
                              "Halvren  Storage Corporation", ""}) {
        EXPECT_FALSE(qvd::isMakerDevice(record("", "", maker))) << maker;
    }
    DeviceRecord r = record("urn:schemas-upnp-org:device:MediaServer:1", "", "Halvren Storage Corporation");
    EXPECT_FALSE(qvd::isListedDevice(r)) << "type not shortened yet";
    qvd::shortenDeviceType(r);
    EXPECT_TRUE(qvd::isListedDevice(r));
    qvd::copyField(r.manufacturer, "Brightwave", 10);
    EXPECT_FALSE(qvd::isListedDevice(r));
}

} // namespace
