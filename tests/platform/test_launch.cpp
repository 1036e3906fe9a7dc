// Starting programs, reading desktop entries' Exec lines, finding the default browser, and
// the reachability probe: what reaches a started program, argument by argument.
#include "BrowserLookup.h"
#include "DesktopExec.h"
#include "LaunchTestSupport.h"
#include "Launcher.h"
#include "Reachability.h"
#include "UniqueFd.h"
#include "UrlEncoding.h"

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Argv = std::vector<std::string>;
using launchtest::readRecords;
using launchtest::RecorderPath;
using launchtest::TempDir;

const std::string Url = "http://10.0.0.5:8080/a b";

struct ExecCase
{
    const char* exec;
    Argv expected; // empty: refused
};

TEST(ExecLine, QuotingEscapesAndFieldCodes)
{
    const ExecCase cases[] = {
        {"firefox %u", {"firefox", Url}},
        {"firefox", {"firefox", Url}}, // no code: appended
        {"browser --new-window %U", {"browser", "--new-window", Url}},
        {"viewer %F", {"viewer", Url}},
        {"viewer --file=%f", {"viewer", "--file=" + Url}},
        {"b %i %c %k %u", {"b", Url}},           // other codes dropped with their argument
        {"b --icon%i %u", {"b", "--icon", Url}}, // only the code dropped from a longer one
        {"b 100%% %u", {"b", "100%", Url}},      // %% is not a URL code: still in place
        {"b 100%%", {"b", "100%", Url}},         // ... and the URL is appended
        {"\"/opt/my browser/run\" %u", {"/opt/my browser/run", Url}},
        {"b \"a \\\"q\\\" \\$x \\`y\\` \\\\z\" %u", {"b", "a \"q\" $x `y` \\z", Url}},
        {"b \"\" %u", {"b", "", Url}}, // an empty quoted argument stays
        {"b   x\t\ty  %u ", {"b", "x", "y", Url}},
        {"b \"%u\"", {"b", Url}},
        {"b $(rm) `x` ; | %u", {"b", "$(rm)", "`x`", ";", "|", Url}}, // no shell: plain words
        {"b \"open", {}},                                             // unterminated quote
        {"b %", {}},                                                  // lone percent
        {"", {}},
        {"   ", {}},
        {"%i %u", {}}, // the URL would become the program
    };
    for (const ExecCase& c : cases) {
        const auto argv = qvp::parseExecLine(c.exec, Url);
        if (c.expected.empty()) {
            EXPECT_FALSE(argv.has_value()) << c.exec;
        } else {
            ASSERT_TRUE(argv.has_value()) << c.exec;
            EXPECT_EQ(*argv, c.expected) << c.exec;
        }
    }
}

TEST(ExecLine, UrlIsNeverReparsed)
{
    const std::string hostile = "http://x/\" %u $(touch /tmp/p) \\\" \n;|";
    const auto argv = qvp::parseExecLine("b %u --x", hostile);
    ASSERT_TRUE(argv.has_value());
    EXPECT_EQ(*argv, (Argv{"b", hostile, "--x"}));
}

TEST(DesktopEntry, ValueOfTheMainGroupOnly)
{
    const std::string text = "# c\n[Desktop Action new]\nExec=wrong\n[Desktop Entry]\nName=B\n"
                             "Exec[de]=localised\nExec = run\\sit\\\\ \"%u\"\r\nExec=second\n";
    EXPECT_EQ(qvp::desktopEntryValue(text, "Exec"), std::optional<std::string>("run it\\ \"%u\""));
    EXPECT_EQ(qvp::desktopEntryValue(text, "Icon"), std::nullopt);
    EXPECT_EQ(qvp::desktopEntryValue("[Other]\nExec=x\n", "Exec"), std::nullopt);
    EXPECT_EQ(qvp::unescapeDesktopValue("a\\nb\\tc\\rd\\q\\"), "a\nb\tc\rd\\q\\");
}

class BrowserLookupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_first = m_dir.path() + "/first";
        m_second = m_dir.path() + "/second";
        launchtest::writeFile(m_first + "/applications/web.desktop", "[Desktop Entry]\nExec=/opt/web --private %u\n");
        launchtest::writeFile(m_second + "/applications/web.desktop", "[Desktop Entry]\nExec=/usr/bin/hidden %u\n");
        launchtest::writeFile(m_second + "/applications/kde/konq.desktop", "[Desktop Entry]\nExec=konq\n");
        launchtest::writeFile(m_second + "/applications/broken.desktop", "[Desktop Entry]\nExec=\"open\n");
        launchtest::writeFile(m_dir.path() + "/applications/secret.desktop", "[Desktop Entry]\nExec=secret %u\n");
    }
    Argv lookup(const std::string& id, const char* browserEnv = nullptr)
    {
        return qvp::browserCommandFor(id, {m_first, m_second}, browserEnv, Url);
    }

    TempDir m_dir;
    std::string m_first, m_second;
};

TEST_F(BrowserLookupTest, OrderOfTheAttempts)
{
    EXPECT_EQ(lookup("web.desktop"), (Argv{"/opt/web", "--private", Url})); // first folder hides the second
    EXPECT_EQ(lookup("kde-konq.desktop"), (Argv{"konq", Url}));             // '-' as a subfolder
    EXPECT_EQ(lookup("IEXPLORE.desktop", "/bin/rec"), qvp::openerCommand(Url));
    EXPECT_EQ(lookup("myIEbrowser", "/bin/rec"), qvp::openerCommand(Url));      // "IE" anywhere
    EXPECT_EQ(lookup("iexplore.desktop", "/bin/rec"), (Argv{"/bin/rec", Url})); // capitals only
    EXPECT_EQ(lookup("missing.desktop", "/bin/rec:/bin/other"), (Argv{"/bin/rec", Url}));
    EXPECT_EQ(lookup("broken.desktop", "/bin/rec"), (Argv{"/bin/rec", Url}));
    EXPECT_EQ(lookup("", nullptr), (Argv{"", Url}));
    EXPECT_EQ(lookup("../secret.desktop", nullptr), (Argv{"", Url})); // an id is never a path
    EXPECT_EQ(lookup("missing.desktop", ""), (Argv{"", Url}));
}

TEST(Launcher, MissingProgramsGiveTheFallbackResults)
{
    TempDir dir;
    launchtest::writeFile(dir.path() + "/plain.txt", "not a program\n");
    chmod((dir.path() + "/plain.txt").c_str(), 0755);
    launchtest::writeFile(dir.path() + "/noexec", "#!/bin/sh\n");
    EXPECT_EQ(qvp::spawnDetached({"", "http://x"}), qvp::StartFileNotFound);
    EXPECT_EQ(qvp::spawnDetached({"qvlink-no-such-program"}), qvp::StartFileNotFound);
    EXPECT_EQ(qvp::spawnDetached({dir.path() + "/plain.txt/x"}), qvp::StartPathNotFound);
    EXPECT_EQ(qvp::spawnDetached({dir.path() + "/plain.txt"}), qvp::StartBadFormat); // no shell takes it
    EXPECT_EQ(qvp::spawnDetached({dir.path() + "/noexec"}), qvp::StartBadFormat);    // mode 0644
    EXPECT_EQ(qvp::spawnDetached({}), qvp::StartFileNotFound);
    for (int result : {2, 3, 11}) {
        EXPECT_TRUE(qvp::isMissingProgram(result));
    }
    EXPECT_FALSE(qvp::isMissingProgram(qvp::StartOk));
    EXPECT_FALSE(qvp::isMissingProgram(qvp::StartFailed));
}

TEST(Launcher, ArgumentsArriveExactlyAndNothingIsLeftBehind)
{
    TempDir dir;
    const std::string record = dir.path() + "/record";
    setenv("QV_RECORD", record.c_str(), 1); // NOLINT(concurrency-mt-unsafe): single-threaded test
    // A descriptor without close-on-exec, as a library might leave one.
    const int leaked = open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);
    const Argv argv{RecorderPath(), "-rf", "a b", "$(touch x)", "`id`", "; |", "line\nbreak", "\t", "", "\xff\xfe"};
    EXPECT_EQ(qvp::spawnDetached(argv), qvp::StartOk);
    const auto records = launchtest::waitForRecords(record, 1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], argv);
    EXPECT_FALSE(launchtest::exists(dir.path() + "/x"));

    // What a started program holds open: 0 to 2 and ls's own directory handle (3), nothing of ours.
    const std::string listing = dir.path() + "/fds";
    EXPECT_EQ(qvp::spawnDetached({"sh", "-c", "exec ls /proc/self/fd >\"$0\"", listing}), qvp::StartOk);
    ASSERT_TRUE(launchtest::waitForNoZombies(5000));
    for (int i = 0; i < 500 && launchtest::readFile(listing).size() < 8; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(launchtest::readFile(listing), "0\n1\n2\n3\n");
    EXPECT_EQ(qvp::runAndRead({"ls", "/proc/self/fd"}, 5000), "0\n1\n2\n3\n");
    close(leaked);

    EXPECT_TRUE(launchtest::waitForNoZombies(5000));
}

TEST(Launcher, RunAndReadIsBounded)
{
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(qvp::runAndRead({"sleep", "5"}, 200), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(qvp::runAndRead({"sh", "-c", "echo ok"}, 5000), "ok\n");
    EXPECT_EQ(qvp::runAndRead({"sh", "-c", "echo ok; exit 3"}, 5000), ""); // a failure is no answer
    EXPECT_EQ(qvp::runAndRead({"head", "-c", "100000", "/dev/zero"}, 5000, 10).size(), 10u);
    EXPECT_TRUE(launchtest::waitForNoZombies(5000));
}

TEST(Launcher, RunAndReadBoundsTheWaitForTheExitToo)
{
    // Output ended, program still running: the answer is not complete, and it is not waited for.
    for (const char* script : {"exec >&-; sleep 5", "echo ok; exec >&-; sleep 5"}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(qvp::runAndRead({"sh", "-c", script}, 300), "") << script;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << script;
    }
    // One that ends its output a little before it exits still answers.
    EXPECT_EQ(qvp::runAndRead({"sh", "-c", "echo ok; exec >&-; sleep 0.1"}, 5000), "ok\n");
    EXPECT_TRUE(launchtest::waitForNoZombies(5000));
}

TEST(Launcher, UrlsHoldNothingAShellWouldRead)
{
    EXPECT_EQ(qvp::shellInertUrl("http://10.0.0.5:8080/setup?a=1&b=(2);c#top"),
              "http://10.0.0.5:8080/setup?a=1&b=(2);c#top");
    EXPECT_EQ(qvp::shellInertUrl("10.0.0.5/a'b\"c d$(id)`x`\\e\nf<g>{h}|^"),
              "10.0.0.5/a%27b%22c%20d%24(id)%60x%60%5Ce%0Af%3Cg%3E%7Bh%7D%7C%5E");
    EXPECT_EQ(qvp::shellInertUrl("h/%41\xC3\xA9\x7F"), "h/%41%C3%A9%7F"); // '%' kept: no double encoding
}

TEST(Reachability, HostAndPortOfAPageAddress)
{
    struct Case
    {
        const char* address;
        const char* host;
        int port; // 0: invalid
    } const cases[] = {
        {"10.0.0.5", "10.0.0.5", 80},
        {"10.0.0.5:8080/index.html", "10.0.0.5", 8080},
        {"http://10.0.0.5:81", "10.0.0.5", 81},
        {"10.0.0.5//setup?x=1", "10.0.0.5", 80},
        {"10.0.0.5?x", "10.0.0.5", 80},
        {"[fe80::1]:8000/", "fe80::1", 8000},
        {"10.0.0.5:0", "", 0},
        {"10.0.0.5:65536", "", 0},
        {"10.0.0.5:8x", "", 0},
        {"10.0.0.5:", "10.0.0.5", 80}, // an empty port is the default one
        {"/path", "", 0},
        {"", "", 0},
        {"[fe80::1", "", 0},
    };
    for (const Case& c : cases) {
        const qvp::HostPort hp = qvp::hostAndPort(c.address);
        EXPECT_EQ(hp.valid, c.port != 0) << c.address;
        if (hp.valid) {
            EXPECT_EQ(hp.host, c.host) << c.address;
            EXPECT_EQ(hp.port, c.port) << c.address;
        }
    }
}

TEST(Reachability, ListeningAndClosedPorts)
{
    qvd::UniqueFd listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(listener.valid());
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener.get(), 4), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string open = "127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/cgi";
    qvp::TcpReachabilityProbe probe;
    EXPECT_TRUE(probe.Probe(open, 1000));
    listener.reset();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(probe.Probe(open, 1000)); // refused: at once, not after the wait
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_FALSE(probe.Probe("127.0.0.1:99999", 1000));
}

} // namespace
