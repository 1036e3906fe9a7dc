// Share entries, smb:// addresses and the version table: pure functions on texts a server or
// device sent.
#include "SmbShares.h"
#include "SmbUri.h"
#include "WindowsVersion.h"

#include <gtest/gtest.h>
#include <libsmbclient.h>

namespace {

using qvp::cutUtf8;

TEST(CutUtf8, KeepsWholeCharactersWithinTheLimit)
{
    const std::string e = "\xC3\xA9";            // two bytes
    const std::string euro = "\xE2\x82\xAC";     // three bytes
    const std::string clef = "\xF0\x9D\x84\x9E"; // four bytes
    struct Row
    {
        std::string in;
        std::size_t limit;
        std::string out;
    } rows[] = {
        {"abc", 128, "abc"},
        {std::string(127, 'a'), 128, std::string(127, 'a')},
        {std::string(128, 'a'), 128, std::string(127, 'a')},
        {std::string(125, 'a') + e, 128, std::string(125, 'a') + e},
        {std::string(126, 'a') + e, 128, std::string(126, 'a')},
        {std::string(125, 'a') + e + "b", 128, std::string(125, 'a') + e},
        {std::string(125, 'a') + e + e, 128, std::string(125, 'a') + e},
        {std::string(125, 'a') + euro, 128, std::string(125, 'a')},
        {std::string(124, 'a') + euro, 128, std::string(124, 'a') + euro},
        {std::string(253, 'a') + clef, 256, std::string(253, 'a')},
        {std::string(300, 'x'), 256, std::string(255, 'x')},
        // Not UTF-8: a long run of continuation bytes is cut at the limit, not swallowed.
        {std::string(300, '\x80'), 128, std::string(127, '\x80')},
        {"\xFF\xFE", 128, "\xFF\xFE"},
        {"abc", 0, ""},
    };
    for (const Row& row : rows) {
        const std::string got = cutUtf8(row.in, row.limit);
        EXPECT_EQ(got, row.out) << "input of " << row.in.size() << " bytes, limit " << row.limit;
        EXPECT_LT(got.size(), std::max<std::size_t>(row.limit, 1));
    }
}

TEST(ShareType, FromLibraryTypesAndTheDollarRule)
{
    struct Row
    {
        unsigned smbcType;
        const char* name;
        std::optional<std::uint32_t> type;
    } rows[] = {
        {SMBC_FILE_SHARE, "public", qvp::ShareTypeDisk},
        {SMBC_FILE_SHARE, "admin$", qvp::ShareTypeDisk | qvp::ShareTypeSpecial},
        {SMBC_FILE_SHARE, "$mid", qvp::ShareTypeDisk},
        {SMBC_PRINTER_SHARE, "laser", qvp::ShareTypePrinter},
        {SMBC_FILE_SHARE, "print$", qvp::ShareTypeDisk | qvp::ShareTypeSpecial},
        {SMBC_COMMS_SHARE, "com", qvp::ShareTypeDevice},
        {SMBC_IPC_SHARE, "IPC$", qvp::ShareTypeIpc | qvp::ShareTypeSpecial},
        {SMBC_DIR, "folder", std::nullopt},
        {SMBC_SERVER, "NAS", std::nullopt},
        {SMBC_WORKGROUP, "WORKGROUP", std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(qvp::shareTypeFor(row.smbcType, row.name), row.type) << row.name;
    }
}

TEST(ShareFilter, OnlyPlainDiskSharesWithoutTheConfigurationRemark)
{
    struct Row
    {
        qvp::ShareEntry entry;
        bool listed;
    } rows[] = {
        {{"public", qvp::ShareTypeDisk, ""}, true},
        {{"media", qvp::ShareTypeDisk, "Videos"}, true},
        {{"config", qvp::ShareTypeDisk, "System Configuration"}, false},
        {{"config", qvp::ShareTypeDisk, "system configuration"}, true},
        {{"config", qvp::ShareTypeDisk, "System Configuration "}, true},
        {{"admin$", qvp::ShareTypeDisk | qvp::ShareTypeSpecial, ""}, false},
        {{"laser", qvp::ShareTypePrinter, ""}, false},
        {{"IPC$", qvp::ShareTypeIpc | qvp::ShareTypeSpecial, "IPC Service"}, false},
        {{"com", qvp::ShareTypeDevice, ""}, false},
        {{"..", qvp::ShareTypeDisk, ""}, false},
        {{".", qvp::ShareTypeDisk, ""}, false},
        {{"", qvp::ShareTypeDisk, ""}, false},
        {{"../up", qvp::ShareTypeDisk, ""}, true},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(qvp::isListedShare(row.entry), row.listed) << row.entry.name << " / " << row.entry.remark;
    }
}

TEST(SmbUri, HostAndShareNeverLeaveTheirPart)
{
    struct Row
    {
        const char* host;
        std::string share;
        const char* uri;
    } rows[] = {
        {"10.77.0.2", "public", "smb://10.77.0.2/public"},
        {"10.77.0.2", "My Files", "smb://10.77.0.2/My%20Files"},
        {"10.77.0.2", "../etc", "smb://10.77.0.2/..%2Fetc"},
        {"10.77.0.2", "a\nb\"c'", "smb://10.77.0.2/a%0Ab%22c%27"},
        {"evil.host/x?y#z", "s", "smb://evil.host%2Fx%3Fy%23z/s"},
        {"user@host", "s", "smb://user%40host/s"},
        {"10.77.0.2", "caf\xC3\xA9", "smb://10.77.0.2/caf%C3%A9"},
        {"10.77.0.2", "100%", "smb://10.77.0.2/100%25"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(qvp::smbShareUri(row.host, row.share), row.uri);
    }
    EXPECT_EQ(qvp::smbServerUri("10.0.0.1"), "smb://10.0.0.1/");
}

struct VersionRow
{
    unsigned platform, major, minor, build;
    const char* name;
};

TEST(WindowsVersion, TableRowsAtTheirBoundaries)
{
    const VersionRow rows[] = {
        {1, 4, 0, 949, "unknown Windows version"},
        {1, 4, 0, 950, "Windows 95"},
        {1, 4, 9, 950, "Windows 95"},
        {1, 4, 0, 951, "Windows 95 SP1"},
        {1, 4, 0, 1080, "Windows 95 SP1"},
        {1, 4, 0, 1081, "Windows 95 OSR2"},
        {1, 4, 10, 1997, "unknown Windows version"},
        {1, 4, 10, 1998, "Windows 98"},
        {1, 4, 10, 1999, "Windows 98 SP1"},
        {1, 4, 10, 2182, "Windows 98 SP1"},
        {1, 4, 10, 2183, "Windows 98 SE"},
        {1, 4, 10, 0x0A0007CE, "Windows 98"}, // only the low 16 bits count
        {1, 4, 90, 0, "Windows ME"},
        {1, 4, 11, 3000, "unknown Windows version"},
        {1, 5, 0, 950, "unknown Windows version"},
        {2, 3, 51, 0, "Windows NT 3.51"},
        {2, 3, 50, 0, "unknown Windows version"},
        {2, 4, 0, 1381, "Windows NT 4"},
        {2, 4, 1, 0, "unknown Windows version"},
        {2, 5, 0, 2195, "Windows 2000"},
        {2, 5, 1, 2600, "Windows XP"},
        {2, 5, 2, 3790, "unknown Windows version"},
        {2, 6, 0, 6000, "Vista"},
        {2, 6, 3, 9600, "Vista"},
        {2, 7, 0, 0, "unknown Windows version"},
        {2, 10, 0, 19045, "unknown Windows version"},
        {3, 0, 0, 0, "Windows CE"},
        {3, 7, 9, 1, "Windows CE"},
        {0, 4, 0, 950, "unknown Windows version"},
        {4, 6, 0, 0, "unknown Windows version"},
    };
    for (const VersionRow& row : rows) {
        const qvp::OsVersionRecord record{row.platform, row.major, row.minor, row.build};
        EXPECT_STREQ(qvp::windowsVersionNameFor(record), row.name)
            << row.platform << " " << row.major << "." << row.minor << " build " << row.build;
    }
    EXPECT_STREQ(qvp::windowsVersionNameFor(std::nullopt), qvp::UnknownWindowsVersion);
    EXPECT_STREQ(qvp::windowsVersionNameFor(qvp::makeVersionQuery()->Query()), qvp::UnknownWindowsVersion);
}

} // namespace
