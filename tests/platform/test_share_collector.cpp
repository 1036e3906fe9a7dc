// The cap of a share listing: what a server that lists tens of thousands of shares leaves in
// memory and in the list.
#include "SmbShares.h"

#include <gtest/gtest.h>

namespace {

using qvp::MaxListedShares;
using qvp::ShareCollector;
using qvp::ShareEntry;

ShareEntry Disk(std::size_t i)
{
    return {"share" + std::to_string(i), qvp::ShareTypeDisk, "remark"};
}

TEST(ShareCollector, StopsAtTheCapInListingOrder)
{
    ShareCollector collected;
    std::size_t offered = 0;
    // A server with 20,000 disk shares: the listing is left once the cap is reached.
    while (offered < 20000) {
        const bool room = collected.Add(Disk(offered++));
        if (!room) {
            break;
        }
    }
    EXPECT_EQ(offered, MaxListedShares);
    const std::vector<ShareEntry> entries = collected.Take();
    ASSERT_EQ(entries.size(), MaxListedShares);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].name, "share" + std::to_string(i));
    }
}

TEST(ShareCollector, EntriesTheListDoesNotShowDoNotUseUpTheCap)
{
    ShareCollector collected;
    EXPECT_TRUE(collected.Add({"IPC$", qvp::ShareTypeIpc | qvp::ShareTypeSpecial, ""}));
    EXPECT_TRUE(collected.Add({"laser", qvp::ShareTypePrinter, ""}));
    EXPECT_TRUE(collected.Add({"config", qvp::ShareTypeDisk, "System Configuration"}));
    for (std::size_t i = 0; i + 1 < MaxListedShares; ++i) {
        ASSERT_TRUE(collected.Add(Disk(i)));
    }
    EXPECT_FALSE(collected.Add(Disk(MaxListedShares)));
    const std::vector<ShareEntry> entries = collected.Take();
    ASSERT_EQ(entries.size(), MaxListedShares + 3);
    EXPECT_EQ(entries[1].name, "laser");
    EXPECT_EQ(entries.back().name, "share" + std::to_string(MaxListedShares));
}

TEST(ShareCollector, AServerOfPrintersOnlyKeepsABoundedNumber)
{
    ShareCollector collected;
    for (std::size_t i = 0; i < 5 * MaxListedShares; ++i) {
        // Nothing listed yet: the listing goes on, but the entries are no longer kept.
        ASSERT_TRUE(collected.Add({"printer" + std::to_string(i), qvp::ShareTypePrinter, ""}));
    }
    EXPECT_TRUE(collected.Add(Disk(1)));
    const std::vector<ShareEntry> entries = collected.Take();
    ASSERT_EQ(entries.size(), MaxListedShares + 1);
    EXPECT_EQ(entries.back().name, "share1");
}

} // namespace
