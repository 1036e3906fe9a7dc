// The listening loop's fetch budgets, its network check and the answer log, fed from memory.
#include "MemoryByteSource.h"
#include "explain.h"
#include "interfaces.h"
#include "protocol.h"
#include "ssdp.h"
#include "worker.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace qvd;
using qvtest::bytes;
using qvtest::MemoryByteSource;
using qvtest::silence;
using qvtest::SourceStep;

namespace {

std::uint32_t ip(const char* text)
{
    in_addr address{};
    EXPECT_EQ(::inet_pton(AF_INET, text, &address), 1) << text;
    return address.s_addr;
}

std::vector<std::string> g_handled;

// A fetch fails for every location with "dead" in it.
ReplyOutcome fetchDeadOnes(const SsdpReply& reply, AnswerRecord*)
{
    g_handled.emplace_back(reply.location);
    return std::string(reply.location).find("dead") != std::string::npos ? ReplyOutcome::FetchFailed
                                                                         : ReplyOutcome::Published;
}

// Answers live as long as the test: the steps point into them.
struct Script
{
    std::vector<std::string> answers;
    std::vector<SourceStep> steps;

    void add(const std::string& host, const std::string& name, int channel = 0)
    {
        answers.push_back("HTTP/1.1 200 OK\r\nLOCATION: http://" + host + "/" + name +
                          "\r\nST: upnp:rootdevice\r\nUSN: uuid:" + name + "\r\n\r\n");
        from.push_back(ip(host.c_str()));
        channels.push_back(channel);
    }
    std::vector<SourceStep> build()
    {
        steps.clear();
        for (std::size_t i = 0; i < answers.size(); ++i) {
            steps.push_back(bytes(answers[i], from[i], channels[i]));
        }
        steps.push_back(silence());
        return steps;
    }
    std::vector<std::uint32_t> from;
    std::vector<int> channels;
};

std::vector<std::string> listen(Script& script, const SearchInterface* interfaces = nullptr, int count = 0)
{
    g_handled.clear();
    MemoryByteSource source(script.build(), MemoryByteSource::Mode::Datagram);
    SearchResult error = SearchResult::SearchFailed;
    freeReplyList(listenForReplies(source, &error, 0, fetchDeadOnes, Deadline::max(), interfaces, count));
    EXPECT_EQ(error, SearchResult::SearchOk);
    return g_handled;
}

class SearchBudget : public ::testing::Test
{
protected:
    void TearDown() override
    {
        timing().failedFetchLimit.store(20);
        timing().failedFetchSearchLimit.store(MaxSearchFailedFetches);
        resetAnswerLog();
    }
};

SearchInterface lan(const char* name, const char* address, const char* mask)
{
    SearchInterface interface;
    std::snprintf(interface.name, sizeof interface.name, "%s", name);
    interface.address = ip(address);
    interface.networks[0] = {ip(address), ip(mask)};
    interface.networkCount = 1;
    return interface;
}

} // namespace

// A host that floods dead locations spends its own budget only: the next host is still fetched.
TEST_F(SearchBudget, FailedFetchesCountPerAnsweringHost)
{
    const int limit = timing().failedFetchLimit.load();
    Script script;
    for (int i = 0; i < limit + 30; ++i) {
        script.add("10.0.0.1", "dead" + std::to_string(i));
    }
    script.add("10.0.0.1", "own-nas");
    script.add("10.0.0.2", "dead-b");
    script.add("10.0.0.2", "nas-b");
    const std::vector<std::string> handled = listen(script);
    ASSERT_EQ(handled.size(), static_cast<std::size_t>(limit + 2));
    EXPECT_EQ(handled[limit - 1], "http://10.0.0.1/dead" + std::to_string(limit - 1));
    EXPECT_EQ(handled[limit], "http://10.0.0.2/dead-b");
    EXPECT_EQ(handled[limit + 1], "http://10.0.0.2/nas-b");
}

// Many hosts each under their own bound still meet the whole search's bound.
TEST_F(SearchBudget, TheWholeSearchHasALargerBound)
{
    timing().failedFetchLimit.store(3);
    timing().failedFetchSearchLimit.store(7);
    Script script;
    for (int host = 1; host <= 4; ++host) {
        for (int i = 0; i < 3; ++i) {
            script.add("10.0.0." + std::to_string(host), "dead" + std::to_string(host) + "-" + std::to_string(i));
        }
    }
    script.add("10.0.0.9", "nas");
    const std::vector<std::string> handled = listen(script);
    ASSERT_EQ(handled.size(), 7u);
    EXPECT_EQ(handled.back(), "http://10.0.0.3/dead3-0");
}

// An answer from outside the network of its interface is not taken, and so cannot take the USN
// of the device that answers after it on the right network.
TEST_F(SearchBudget, AnAnswerFromOffTheInterfacesNetworkIsNotTaken)
{
    const SearchInterface interfaces[] = {lan("eth0", "10.0.0.1", "255.255.255.0"),
                                          lan("eth1", "169.254.3.1", "255.255.0.0")};
    Script script;
    script.add("10.0.1.5", "nas");          // on no network of eth0
    script.add("169.254.7.7", "direct", 0); // eth1's network, but it came in on eth0
    script.add("10.0.0.5", "nas");
    script.add("169.254.7.7", "direct", 1);
    const std::vector<std::string> handled = listen(script, interfaces, 2);
    EXPECT_EQ(handled, (std::vector<std::string>{"http://10.0.0.5/nas", "http://169.254.7.7/direct"}));
}

TEST(SearchInterfaces, NetworksAreMaskedAndUnknownOnesTakeEveryone)
{
    SearchInterface eth = lan("eth0", "192.168.4.10", "255.255.252.0");
    EXPECT_TRUE(isOnInterfaceNetwork(eth, ip("192.168.7.254")));
    EXPECT_FALSE(isOnInterfaceNetwork(eth, ip("192.168.8.1")));
    eth.networks[1] = {ip("10.8.0.1"), ip("255.255.255.255")};
    eth.networkCount = 2;
    EXPECT_TRUE(isOnInterfaceNetwork(eth, ip("10.8.0.1")));
    EXPECT_FALSE(isOnInterfaceNetwork(eth, ip("10.8.0.2")));
    EXPECT_TRUE(isOnInterfaceNetwork(SearchInterface(), ip("203.0.113.9")));
}

TEST(SearchInterfaces, WhyALocationIsRefused)
{
    const std::uint32_t host = ip("10.0.0.5");
    EXPECT_EQ(locationRefusal("http://10.0.0.5:80/d.xml", host), Refusal::None);
    EXPECT_EQ(locationRefusal("http://10.0.0.6/d.xml", host), Refusal::AnotherHost);
    EXPECT_EQ(locationRefusal("http://nas.local/d.xml", host), Refusal::HostName);
    EXPECT_EQ(locationRefusal("http://10.0.0.5", host), Refusal::NotHttp);
    EXPECT_EQ(locationRefusal("ftp://10.0.0.5/d.xml", host), Refusal::NotHttp);
    EXPECT_EQ(locationRefusal("http://10.0.0.5/d.xml", 0), Refusal::AnotherHost);
}

// Every datagram of the search gets one record, in order of arrival, with what became of it.
TEST_F(SearchBudget, TheAnswerLogSaysWhatBecameOfEachAnswer)
{
    ASSERT_TRUE(enableAnswerLog());
    resetAnswerLog();
    timing().failedFetchLimit.store(1);
    const SearchInterface interfaces[] = {lan("eth0", "10.0.0.1", "255.255.255.0")};
    Script script;
    script.add("10.0.0.5", "nas");
    script.add("10.0.0.5", "nas");
    script.add("10.0.9.9", "stranger");
    script.add("10.0.0.6", "dead0");
    script.add("10.0.0.6", "dead1");
    script.answers.push_back("HTTP/1.1 200 OK\r\nLOCATION: http://10.0.0.5/x\r\n\r\n");
    script.from.push_back(ip("10.0.0.5"));
    script.channels.push_back(0);
    listen(script, interfaces, 1);
    const AnswerLog& log = answerLog();
    ASSERT_EQ(log.count.load(), 6);
    const AnswerFate fates[] = {AnswerFate::Listed,      AnswerFate::DuplicateUsn, AnswerFate::LocationRefused,
                                AnswerFate::FetchFailed, AnswerFate::LimitReached, AnswerFate::Incomplete};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(log.records[i].fate, fates[i]) << i;
        EXPECT_STREQ(log.records[i].interfaceName, "eth0") << i;
    }
    EXPECT_EQ(log.records[2].refusal, Refusal::NotOnNetwork);
    EXPECT_EQ(log.records[4].limit, SearchLimit::HostFailures);
    EXPECT_STREQ(log.records[3].location, "http://10.0.0.6/dead0");
    EXPECT_STREQ(log.records[0].usn, "uuid:nas");
    EXPECT_EQ(log.records[0].sourceAddress, ip("10.0.0.5"));
    EXPECT_EQ(log.notExplained.load(), 0);
}

// The log is bounded: past its size, answers are only counted.
TEST_F(SearchBudget, TheAnswerLogKeepsAFixedNumberOfAnswers)
{
    ASSERT_TRUE(enableAnswerLog());
    resetAnswerLog();
    Script script;
    for (int i = 0; i < MaxExplainedAnswers + 5; ++i) {
        script.add("10.0.0.5", "same");
    }
    listen(script);
    EXPECT_EQ(answerLog().count.load(), MaxExplainedAnswers);
    EXPECT_EQ(answerLog().notExplained.load(), 5);
    EXPECT_EQ(answerLog().records[MaxExplainedAnswers - 1].fate, AnswerFate::DuplicateUsn);
}
