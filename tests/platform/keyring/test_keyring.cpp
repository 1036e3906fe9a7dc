// The Secret Service keyring on a real gnome-keyring-daemon (test_keyring.sh starts it in a
// D-Bus session of the test's own and says in QVD_KEYRING what it started): running, hung
// (owns its name, answers nothing) or none. Items are checked with secret-tool as well, the way
// any other client of the keyring (GVfs, the file manager) sees them.
#include "PasswordKeyring.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {

constexpr int TimeoutMs = 1500;
// What a call may take beyond its timeout: the cancelled call's grace and scheduling.
constexpr auto Slack = std::chrono::milliseconds(1500);

std::string Mode()
{
    const char* mode = std::getenv("QVD_KEYRING"); // NOLINT(concurrency-mt-unsafe): no other thread
    return mode != nullptr ? mode : "";
}

// The standard output of a command of fixed words (never device text).
std::string Output(const std::string& command)
{
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return text;
    }
    std::array<char, 256> buffer{};
    while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) {
        text += buffer.data();
    }
    ::pclose(pipe);
    return text;
}

int Count(const std::string& text, const std::string& word)
{
    int count = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        ++count;
    }
    return count;
}

class KeyringRunning : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (Mode() != "running") {
            GTEST_SKIP() << "needs the keyring of test_keyring.sh";
        }
        m_keyring = qvp::makeSecretServiceKeyring(TimeoutMs);
    }
    std::unique_ptr<qvp::PasswordKeyring> m_keyring;
};

TEST_F(KeyringRunning, StoreAndLookup)
{
    ASSERT_TRUE(m_keyring->Available());
    EXPECT_FALSE(m_keyring->Lookup("10.77.0.2").has_value());
    ASSERT_TRUE(m_keyring->Store("10.77.0.2", {"alice", "WORKGROUP", "p\xC3\xA4ss word\n;'\""}));
    const std::optional<qvp::SmbCredentials> found = m_keyring->Lookup("10.77.0.2");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->user, "alice");
    EXPECT_EQ(found->domain, "WORKGROUP");
    EXPECT_EQ(found->password, "p\xC3\xA4ss word\n;'\"");
    // Another server, or the same address under another protocol, is not this one.
    EXPECT_FALSE(m_keyring->Lookup("10.77.0.20").has_value());
    EXPECT_FALSE(m_keyring->Lookup("10.77.0").has_value());
    // A second client finds it under the network-password schema's attributes.
    const std::string other = Output("secret-tool lookup xdg:schema org.gnome.keyring.NetworkPassword "
                                     "server 10.77.0.2 protocol smb user alice domain WORKGROUP");
    EXPECT_EQ(other, "p\xC3\xA4ss word\n;'\"");
    // A new keyring object (a later run) finds it too.
    EXPECT_EQ(qvp::makeSecretServiceKeyring(TimeoutMs)->Lookup("10.77.0.2")->user, "alice");
}

TEST_F(KeyringRunning, StoreReplaces)
{
    ASSERT_TRUE(m_keyring->Store("nas-r", {"alice", "WORKGROUP", "first"}));
    ASSERT_TRUE(m_keyring->Store("nas-r", {"alice", "WORKGROUP", "second"}));
    EXPECT_EQ(m_keyring->Lookup("nas-r")->password, "second");
    ASSERT_TRUE(m_keyring->Store("nas-r", {"bob", "OFFICE", "third"}));
    const std::optional<qvp::SmbCredentials> found = m_keyring->Lookup("nas-r");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->user, "bob");
    EXPECT_EQ(found->domain, "OFFICE");
    EXPECT_EQ(found->password, "third");
    // One item for the server, whoever stored what before.
    const std::string items = Output("secret-tool search --all server nas-r protocol smb 2>&1");
    EXPECT_EQ(Count(items, "\nsecret = "), 1) << items;
    EXPECT_NE(items.find("\nschema = org.gnome.keyring.NetworkPassword\n"), std::string::npos) << items;
    EXPECT_EQ(items.find("attribute.port"), std::string::npos) << items;
    EXPECT_EQ(items.find("attribute.object"), std::string::npos) << items;
}

TEST_F(KeyringRunning, FindsAnotherClientsItem)
{
    // As a file manager keeps it: the same schema, with a port and a folder of its own.
    ASSERT_EQ(std::system("printf 'from-elsewhere' | secret-tool store --label='carol@nas-f' " // NOLINT(cert-env33-c)
                          "xdg:schema org.gnome.keyring.NetworkPassword server nas-f protocol smb user carol "
                          "domain HOME port 445 object music"),
              0);
    ASSERT_EQ(std::system("printf 'other-schema' | secret-tool store --label='x' " // NOLINT(cert-env33-c)
                          "server nas-g protocol smb user dave"),
              0);
    const std::optional<qvp::SmbCredentials> found = m_keyring->Lookup("nas-f");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->user, "carol");
    EXPECT_EQ(found->domain, "HOME");
    EXPECT_EQ(found->password, "from-elsewhere");
    // An item of another schema is not a network password.
    EXPECT_FALSE(m_keyring->Lookup("nas-g").has_value());
}

// A keyring that is not there, or does not answer: each call ends within its bound and the
// keyring counts as unavailable.
class KeyringAway : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (Mode() != "hung" && Mode() != "none") {
            GTEST_SKIP() << "needs a session without a working keyring (test_keyring.sh)";
        }
    }
};

TEST_F(KeyringAway, EveryCallEndsInTime)
{
    auto keyring = qvp::makeSecretServiceKeyring(TimeoutMs);
    const auto bound = std::chrono::milliseconds(TimeoutMs) + Slack;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(keyring->Available());
    EXPECT_LT(std::chrono::steady_clock::now() - start, bound);
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(keyring->Lookup("10.77.0.2").has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - start, bound);
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(keyring->Store("10.77.0.2", {"alice", "WORKGROUP", "secret"}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, bound);
}

TEST_F(KeyringAway, NoSessionBus)
{
    // The test's own process: no other thread reads the environment meanwhile.
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");         // NOLINT(concurrency-mt-unsafe)
    ::setenv("XDG_RUNTIME_DIR", "/nonexistent", 1); // NOLINT(concurrency-mt-unsafe)
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(qvp::makeSecretServiceKeyring(TimeoutMs)->Available());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(TimeoutMs));
}

} // namespace
