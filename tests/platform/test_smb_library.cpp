// The SMB client library comes into the process with the first share listing, not with the
// program.

#include "SmbLibrary.h"

#include <cstddef>
#include <gtest/gtest.h>
#include <iterator>

namespace {

TEST(SmbLibrary, LoadedWhenFirstAskedAndOnlyOnce)
{
    // Nothing in a program that links the platform layer loads it on its own.
    EXPECT_FALSE(qvp::smbLibraryLoaded());
    const qvp::SmbApi* api = qvp::smbLibrary();
    ASSERT_NE(api, nullptr);
    EXPECT_TRUE(qvp::smbLibraryLoaded());
    EXPECT_EQ(qvp::smbLibrary(), api);
    // Every function the lister calls was found; a context can be made and freed.
    const bool found[] = {api->newContext != nullptr,           api->freeContext != nullptr,
                          api->initContext != nullptr,          api->getOptionUserData != nullptr,
                          api->setOptionUserData != nullptr,    api->setFunctionAuthDataWithContext != nullptr,
                          api->setTimeout != nullptr,           api->setPort != nullptr,
                          api->setOptionUseKerberos != nullptr, api->setOptionFallbackAfterKerberos != nullptr,
                          api->setOptionUseCCache != nullptr,   api->getFunctionOpendir != nullptr,
                          api->getFunctionReaddir != nullptr,   api->getFunctionClosedir != nullptr};
    for (std::size_t i = 0; i < std::size(found); ++i) {
        EXPECT_TRUE(found[i]) << "function " << i;
    }
    SMBCCTX* context = api->newContext();
    ASSERT_NE(context, nullptr);
    api->setOptionUserData(context, &context);
    EXPECT_EQ(api->getOptionUserData(context), &context);
    EXPECT_EQ(api->freeContext(context, 1), 0);
}

} // namespace
