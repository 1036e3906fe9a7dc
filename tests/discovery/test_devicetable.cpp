#include "description.h"
#include "devicetable.h"
#include "filter.h"

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

DeviceRecord recordOfType(const std::string& type)
{
    DeviceRecord record{};
    qvd::copyField(record.deviceType, type.data(), type.size());
    return record;
}

DeviceRecord recordAtLocation(const std::string& location)
{
    DeviceRecord record{};
    qvd::copyField(record.hostPort, location.data(), location.size());
    return record;
}

std::string shortened(const std::string& type)
{
    DeviceRecord record = recordOfType(type);
    qvd::shortenDeviceType(record);
    return text(record.deviceType);
}

std::string hostPortOf(const std::string& location)
{
    DeviceRecord record = recordAtLocation(location);
    qvd::cutToHostPort(record);
    return text(record.hostPort);
}

bool acceptedAfterShortening(const std::string& type)
{
    DeviceRecord record = recordOfType(type);
    qvd::shortenDeviceType(record);
    return qvd::isKnownDeviceType(record);
}

TEST(DeviceType, ShortensToTheFourthToken)
{
    EXPECT_EQ(shortened("urn:schemas-upnp-org:device:MediaServer:1"), "MediaServer");
    EXPECT_EQ(shortened("urn:schemas-upnp-org:device:QvNAS-KTC32:1"), "QvNAS-KTC32");
    EXPECT_EQ(shortened("a:b:c:ZeNAS"), "ZeNAS");
    // Runs of separators count as one and leading ones are skipped.
    EXPECT_EQ(shortened(":::urn::schemas-upnp-org:::device::MediaRenderer:1"), "MediaRenderer");
    EXPECT_EQ(shortened("a:b:c::::"), "a:b:c::::");
}

TEST(DeviceType, FewerThanFourTokensStayUnchanged)
{
    EXPECT_EQ(shortened("MediaServer"), "MediaServer");
    EXPECT_TRUE(acceptedAfterShortening("MediaServer"));
    EXPECT_EQ(shortened("urn:device:QvNAS"), "urn:device:QvNAS");
    EXPECT_FALSE(acceptedAfterShortening("urn:device:QvNAS"));
    EXPECT_EQ(shortened(""), "");
    EXPECT_EQ(shortened(":::"), ":::");
}

TEST(DeviceType, ShorteningClearsTheRestOfTheField)
{
    DeviceRecord record = recordOfType("urn:schemas-upnp-org:device:ZeNAS:1");
    qvd::shortenDeviceType(record);
    for (int i = 5; i < DeviceFieldSize; ++i) {
        EXPECT_EQ(record.deviceType[i], '\0') << i;
    }
}

TEST(DeviceType, AcceptsExactlyTheFiveShortTypes)
{
    for (const char* type : {"MediaServer", "MediaRenderer", "ZeNAS", "QvNAS", "QvNAS-KTC32"}) {
        EXPECT_TRUE(qvd::isKnownDeviceType(recordOfType(type))) << type;
    }
    for (const char* type : {"", "mediaserver", "MEDIASERVER", "MediaServer ", " MediaServer", "QvNAS-KTC3",
                             "QvNAS-KTC32x", "ZeNAS:1", "MediaRenderers", "Media"}) {
        EXPECT_FALSE(qvd::isKnownDeviceType(recordOfType(type))) << '"' << type << '"';
    }
}

TEST(DeviceType, KnownUrnsAndOthers)
{
    EXPECT_TRUE(acceptedAfterShortening("urn:schemas-upnp-org:device:MediaServer:1"));
    EXPECT_TRUE(acceptedAfterShortening("urn:schemas-upnp-org:device:MediaRenderer:2"));
    EXPECT_TRUE(acceptedAfterShortening("urn:halvren-example:device:QvNAS-KTC32:1"));
    EXPECT_EQ(shortened("urn:schemas-upnp-org:device:InternetGatewayDevice:1"), "InternetGatewayDevice");
    EXPECT_FALSE(acceptedAfterShortening("urn:schemas-upnp-org:device:InternetGatewayDevice:1"));
    EXPECT_FALSE(acceptedAfterShortening("urn:schemas-upnp-org:device:MediaServer :1"));
    EXPECT_FALSE(acceptedAfterShortening("urn:schemas-upnp-org:device:mediaserver:1"));
}

TEST(DeviceType, UnterminatedFieldIsReadOnlyToItsEdge)
{
    // A record without a terminator in deviceType must not pull the next field into the token.
    DeviceRecord record{};
    std::memset(record.deviceType, 'x', DeviceFieldSize);
    std::memcpy(record.deviceType, "a:b:c:", 6);
    std::memcpy(record.friendlyName, "ZeNAS", 6);
    EXPECT_FALSE(qvd::isKnownDeviceType(record));
    qvd::shortenDeviceType(record);
    EXPECT_EQ(text(record.deviceType), std::string(DeviceFieldSize - 6, 'x'));
    EXPECT_EQ(text(record.friendlyName), "ZeNAS");
}

TEST(HostPort, KeepsTheSecondSlashToken)
{
    EXPECT_EQ(hostPortOf("http://192.168.1.20:80/desc.xml"), "192.168.1.20:80");
    EXPECT_EQ(hostPortOf("http://192.168.1.20/desc.xml"), "192.168.1.20");
    EXPECT_EQ(hostPortOf("http://192.168.1.20:49152/upnp/dev/desc.xml"), "192.168.1.20:49152");
    EXPECT_EQ(hostPortOf("http:///192.168.1.20:80//a"), "192.168.1.20:80");
    EXPECT_EQ(hostPortOf("http://10.0.0.2:8080"), "10.0.0.2:8080");
}

TEST(HostPort, LongLocationIsCutBeforeTheHostIsTaken)
{
    const std::string location = "http://192.168.1.20:80/" + std::string(177, 'p');
    ASSERT_EQ(location.size(), 200u);
    DeviceRecord record = recordAtLocation(location);
    EXPECT_EQ(text(record.hostPort), location.substr(0, 127));
    qvd::cutToHostPort(record);
    EXPECT_EQ(text(record.hostPort), "192.168.1.20:80");
}

TEST(HostPort, LocationWithoutASecondTokenStaysUnchanged)
{
    // A strtok-style cut would have no token to copy here.
    EXPECT_EQ(hostPortOf("192.168.1.20:80"), "192.168.1.20:80");
    EXPECT_EQ(hostPortOf("///"), "///");
    EXPECT_EQ(hostPortOf(""), "");
}

TEST(CopyField, CutsAt127AndTerminates)
{
    char field[DeviceFieldSize];
    const std::string longText(300, 'x');
    for (std::size_t length : {0u, 1u, 126u, 127u, 128u, 300u}) {
        std::memset(field, '#', sizeof field);
        qvd::copyField(field, longText.data(), length);
        const std::size_t kept = length < 127 ? length : 127;
        EXPECT_EQ(::strnlen(field, DeviceFieldSize), kept) << length;
        EXPECT_EQ(field[kept], '\0') << length;
    }
}

TEST(CopyField, CopiesBytesAsTheyAre)
{
    char field[DeviceFieldSize] = {};
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
    std::size_t nonZero = 0;
    for (std::size_t i = 0; i < sizeof list->records; ++i) {
        nonZero += bytes[i] != 0 ? 1 : 0;
    }
    EXPECT_EQ(nonZero, 0u);
}

TEST(DeviceTable, OneTableForTheWholeProcess)
{
    EXPECT_EQ(&qvd::deviceList(), &qvd::deviceList());
}

TEST(DeviceFilter, MakerTestIsACaseSensitiveSubstringSearch)
{
    const auto maker = [](const char* manufacturer) {
        DeviceRecord record{};
        qvd::copyField(record.manufacturer, manufacturer, std::strlen(manufacturer));
        return qvd::isMakerDevice(record);
    };
    EXPECT_TRUE(maker("Halvren Storage Corporation"));
    EXPECT_TRUE(maker("Halvren Storage Corporation, Networking Division"));
    EXPECT_TRUE(maker("  Halvren Storage Corporation"));
    EXPECT_FALSE(maker("HALVREN STORAGE CORPORATION"));
    EXPECT_FALSE(maker("halvren storage corporation"));
    EXPECT_FALSE(maker("Halvren Storage Corp."));
    EXPECT_FALSE(maker("Halvren  Storage Corporation"));
    EXPECT_FALSE(maker(""));
}

TEST(DeviceFilter, ListedDeviceNeedsBothTests)
{
    DeviceRecord record = recordOfType("urn:schemas-upnp-org:device:MediaServer:1");
    const char maker[] = "Halvren Storage Corporation";
    qvd::copyField(record.manufacturer, maker, sizeof maker - 1);
    EXPECT_FALSE(qvd::isListedDevice(record)) << "type not shortened yet";
    qvd::shortenDeviceType(record);
    EXPECT_TRUE(qvd::isListedDevice(record));
    const char other[] = "Brightwave Media Systems";
    qvd::copyField(record.manufacturer, other, sizeof other - 1);
    EXPECT_FALSE(qvd::isListedDevice(record));
}

} // namespace
