// Faults of the connection and bookmark files: an unreadable connection file is never
// overwritten, lines this program cannot parse survive a save, the bookmarks file keeps its
// mode and its symbolic link; the ledger of mounts the program made.
#include "AtomicFile.h"
#include "GtkBookmarks.h"
#include "RememberedConnections.h"
#include "ShareMount.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class FileFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char name[] = "/tmp/qvp-faults-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        m_dir = name;
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string m_dir;
};

// Runs check as an ordinary user (nobody, when the test runs as root: root reads every file
// whatever its mode) in a child process; true when check returned true there.
bool AsOrdinaryUser(const std::string& dir, const std::function<bool()>& check)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0) {
            constexpr uid_t Nobody = 65534;
            if (::chown(dir.c_str(), Nobody, Nobody) != 0 || ::setresgid(Nobody, Nobody, Nobody) != 0 ||
                ::setresuid(Nobody, Nobody, Nobody) != 0) {
                ::_exit(3);
            }
        }
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(FileFaults, UnreadableConnectionFileIsToldApartAndNeverOverwritten)
{
    const std::string path = m_dir + "/connections";
    const std::string original = "G: \\\\nas\\public\nK: \\\\nas\\media\n";
    EXPECT_TRUE(AsOrdinaryUser(m_dir, [&] {
        if (!qvp::writeFileAtomically(path, original, 0600) || ::chmod(path.c_str(), 0) != 0) {
            return false;
        }
        auto store = qvp::makeFileConnectionStore(path);
        qvp::ConnectionSnapshot mapped;
        mapped['E' - 'A'] = qvp::RemoteName{"nas", "docs"};
        // Could not read is not empty, and what could not be read is not replaced.
        const bool told = !store->Load().has_value();
        const bool refused = !store->Save(mapped);
        ::chmod(path.c_str(), 0600);
        return told && refused && qvp::readWholeFile(path) == original;
    }));
    // An empty or missing file is empty, not unreadable.
    EXPECT_EQ(qvp::makeFileConnectionStore(m_dir + "/none")->Load(), qvp::ConnectionSnapshot{});
}

TEST_F(FileFaults, LinesThatDoNotParseSurviveASave)
{
    const std::string path = m_dir + "/connections";
    const std::string odd = "# written by hand\n"
                            "L: \\\\nas\\a\\b\n"
                            "Q: smb://future/form\n";
    ASSERT_TRUE(qvp::writeFileAtomically(path, "G: \\\\nas\\public\n" + odd, 0600));
    auto store = qvp::makeFileConnectionStore(path);
    qvp::ConnectionSnapshot connections = store->Load().value();
    connections['G' - 'A'].reset();
    connections['K' - 'A'] = qvp::RemoteName{"nas", "public"};
    ASSERT_TRUE(store->Save(connections));
    EXPECT_EQ(qvp::readWholeFile(path), odd + "K: \\\\nas\\public\n");
    EXPECT_EQ(store->Load(), connections);
}

TEST_F(FileFaults, BookmarksKeepTheirModeAndTheirLink)
{
    const std::string real = m_dir + "/dotfiles/bookmarks";
    const std::string link = m_dir + "/gtk-3.0/bookmarks";
    fs::create_directories(m_dir + "/dotfiles");
    fs::create_directories(m_dir + "/gtk-3.0");
    ASSERT_TRUE(qvp::writeFileAtomically(real, "file:///tmp Temporary\n", 0600));
    fs::create_symlink("../dotfiles/bookmarks", link);
    auto store = qvp::makeFileBookmarkStore(link);
    ASSERT_TRUE(store->Add("smb://nas/public", "G: public on nas"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(qvp::readWholeFile(real), "file:///tmp Temporary\nsmb://nas/public G: public on nas\n");
    struct stat info = {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U);
    ASSERT_TRUE(store->Remove("smb://nas/public", "G: public on nas"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(qvp::readWholeFile(real), "file:///tmp Temporary\n");
    // A new file still gets the usual mode; a link loop is refused, not followed for ever.
    ASSERT_TRUE(qvp::makeFileBookmarkStore(m_dir + "/new")->Add("smb://h/s", "G: s on h"));
    ASSERT_EQ(::stat((m_dir + "/new").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644U);
    fs::create_symlink("loop", m_dir + "/loop");
    EXPECT_FALSE(qvp::writeFileAtomically(m_dir + "/loop", "x", 0644, qvp::ExistingFile::KeepLinkAndMode));
}

TEST_F(FileFaults, ShortcutWritesStillReplaceALinkOfTheirName)
{
    // A name from a device must never lead a write out of its folder.
    fs::create_directories(m_dir + "/desk");
    fs::create_symlink(m_dir + "/outside", m_dir + "/desk/x.desktop");
    ASSERT_TRUE(qvp::writeFileAtomically(m_dir + "/desk/x.desktop", "entry", 0755));
    EXPECT_FALSE(fs::is_symlink(m_dir + "/desk/x.desktop"));
    EXPECT_FALSE(fs::exists(m_dir + "/outside"));
}

// Mounts as the GVfs mounter reports them: some were there before.
class RecordingMounter final : public qvp::ShareMounter
{
public:
    void Mount(const std::string& host, const std::string& share, Done done) override
    {
        done({true, before.count(host + "/" + share) != 0, ""});
    }
    void Unmount(const std::string& host, const std::string& share) override { unmounts.push_back(host + "/" + share); }
    std::set<std::string> before;
    std::vector<std::string> unmounts;
};

TEST_F(FileFaults, OnlyMountsTheProgramMadeAreUnmounted)
{
    RecordingMounter gvfs;
    gvfs.before = {"nas/users-own"};
    const std::string ledgerPath = m_dir + "/runtime/qvlink/made-mounts";
    {
        // The restore at login mounts one share and finds another mounted by the user.
        auto ledger = qvp::makeMountLedger(ledgerPath);
        auto mounter = qvp::makeLedgerMounter(gvfs, *ledger);
        mounter->Mount("nas", "users-own", [](qvp::MountResult) {});
        mounter->Mount("nas", "restored", [](qvp::MountResult) {});
    }
    // The window, later in the session, cancels both letters and a never-mounted one.
    auto ledger = qvp::makeMountLedger(ledgerPath);
    auto mounter = qvp::makeLedgerMounter(gvfs, *ledger);
    mounter->Unmount("nas", "users-own");
    mounter->Unmount("nas", "restored");
    mounter->Unmount("nas", "browsed");
    EXPECT_EQ(gvfs.unmounts, std::vector<std::string>{"nas/restored"});
    // Once unmounted it is no longer the program's.
    mounter->Unmount("nas", "restored");
    EXPECT_EQ(gvfs.unmounts.size(), 1U);
    struct stat info = {};
    ASSERT_EQ(::stat(ledgerPath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U);
    // Names that could add lines stay one entry each.
    ledger->Add("h\nnas", "x\ny");
    EXPECT_TRUE(ledger->Made("h\nnas", "x\ny"));
    EXPECT_FALSE(ledger->Made("h", "x"));
}

} // namespace
