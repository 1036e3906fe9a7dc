// The search's interfaces and its reading of several sockets at once, on loopback in a
// namespace of the test's own (only lo).
#include "UniqueFd.h"
#include "interfaces.h"
#include "searchsockets.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <set>
#include <string>
#include <sys/socket.h>

namespace {

bool isolated()
{
    struct if_nameindex* names = if_nameindex();
    bool onlyLo = names != nullptr;
    for (struct if_nameindex* n = names; n != nullptr && n->if_index != 0; ++n) {
        onlyLo = onlyLo && std::string(n->if_name) == "lo";
    }
    if_freenameindex(names);
    return onlyLo;
}

struct Bound
{
    qvd::UniqueFd fd;
    sockaddr_in address{};
};

Bound boundUdp()
{
    Bound b;
    b.fd = qvd::UniqueFd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    b.address = {AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof b.address;
    EXPECT_EQ(::bind(b.fd.get(), reinterpret_cast<sockaddr*>(&b.address), sizeof b.address), 0);
    EXPECT_EQ(::getsockname(b.fd.get(), reinterpret_cast<sockaddr*>(&b.address), &length), 0);
    return b;
}

void sendTo(const Bound& to, const std::string& text)
{
    const qvd::UniqueFd out(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ASSERT_EQ(::sendto(out.get(), text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to.address),
                       sizeof to.address),
              static_cast<ssize_t>(text.size()));
}

class SearchSockets : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!isolated()) {
            GTEST_SKIP() << "not in a network namespace of its own";
        }
    }
};

} // namespace

// Loopback is never searched beside the route's interface; the route's own interface is
// described with its network.
TEST_F(SearchSockets, OnlyLoopbackLeavesNothingElseToSearch)
{
    qvd::SearchInterface primary;
    qvd::SearchInterface others[qvd::MaxSearchInterfaces];
    EXPECT_EQ(qvd::listSearchInterfaces(htonl(INADDR_LOOPBACK), &primary, others, qvd::MaxSearchInterfaces), 0);
    EXPECT_STREQ(primary.name, "lo");
    ASSERT_EQ(primary.networkCount, 1);
    EXPECT_TRUE(qvd::isOnInterfaceNetwork(primary, htonl(0x7f000005)));
    EXPECT_FALSE(qvd::isOnInterfaceNetwork(primary, htonl(0x0a000001)));
    EXPECT_EQ(qvd::listSearchInterfaces(0, &primary, others, qvd::MaxSearchInterfaces), 0);
    EXPECT_EQ(primary.networkCount, 0);
}

// One socket with a queue of answers does not keep the other's answer waiting behind them.
TEST_F(SearchSockets, ReadySocketsTakeTurns)
{
    Bound busy = boundUdp();
    Bound quiet = boundUdp();
    for (int i = 0; i < 5; ++i) {
        sendTo(busy, "busy" + std::to_string(i));
    }
    sendTo(quiet, "quiet");
    const int fds[] = {busy.fd.get(), quiet.fd.get()};
    qvd::MultiSocketByteSource source(fds, 2);
    char buffer[64];
    std::vector<int> channels;
    for (int i = 0; i < 6; ++i) {
        const qvd::ReceiveResult got = source.receive(buffer, sizeof buffer, 1000);
        ASSERT_EQ(got.status, qvd::ReceiveStatus::Data);
        EXPECT_EQ(got.sourceAddress, htonl(INADDR_LOOPBACK));
        channels.push_back(got.channel);
        EXPECT_EQ(std::string(buffer, got.size).rfind(got.channel == 0 ? "busy" : "quiet", 0), 0u);
    }
    EXPECT_EQ(channels[1], 1) << "the quiet socket's answer comes second, not last";
    EXPECT_EQ(source.receive(buffer, sizeof buffer, 30).status, qvd::ReceiveStatus::TimedOut);
}

// A socket that fails is dropped; the others are still read, and only when none is left does
// the source fail.
TEST_F(SearchSockets, AFailingSocketIsDroppedAndTheOthersRead)
{
    Bound good = boundUdp();
    int spare = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(spare, 0);
    qvd::UniqueFd(spare).reset(); // closed: the number is now invalid
    const int fds[] = {spare, good.fd.get()};
    qvd::MultiSocketByteSource source(fds, 2);
    sendTo(good, "answer");
    char buffer[64];
    const qvd::ReceiveResult got = source.receive(buffer, sizeof buffer, 1000);
    ASSERT_EQ(got.status, qvd::ReceiveStatus::Data);
    EXPECT_EQ(got.channel, 1);
    const int onlyBad[] = {spare};
    qvd::MultiSocketByteSource none(onlyBad, 1);
    EXPECT_EQ(none.receive(buffer, sizeof buffer, 100).status, qvd::ReceiveStatus::Failed);
}
