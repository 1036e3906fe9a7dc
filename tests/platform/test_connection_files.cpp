// The remembered-connection file, the bookmarks file and drive types: hostile names stay on
// their line, malformed lines count as no connection, other bookmark lines stay byte for byte,
// writes are atomic and leak no descriptor.
#include "AtomicFile.h"
#include "DriveTypes.h"
#include "GtkBookmarks.h"
#include "RememberedConnections.h"

#include <algorithm>
#include <dirent.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

const std::string Hostile[] = {
    "plain",       "with space",         "quo\"te's", "new\nline",           "cr\rlf\r\n",
    "back\\slash", "../../etc/passwd",   "100%41",    std::string(300, 'x'), "bad\xFF\xFE utf8",
    "tab\there",   "G: \\\\evil\\share",
};

int OpenFds()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

class TempDir : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char name[] = "/tmp/qvp-test-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        m_dir = name;
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::vector<std::string> Entries(const std::string& dir) const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }
    std::string m_dir;
};

TEST(Connections, HostileNamesRoundTripOnOneLineEach)
{
    for (const std::string& host : Hostile) {
        for (const std::string& share : Hostile) {
            qvp::ConnectionSnapshot in;
            in['G' - 'A'] = qvp::RemoteName{host, share};
            in['K' - 'A'] = qvp::RemoteName{"10.0.0.2", "k"};
            const std::string text = qvp::formatConnections(in);
            EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
            EXPECT_EQ(text.rfind("G: \\\\", 0), 0U) << text;
            EXPECT_EQ(qvp::parseConnections(text), in) << text;
        }
    }
}

TEST(Connections, MalformedLinesCountAsNoConnection)
{
    const std::string text = "E: \\\\nas\\public\n"
                             "F: \\\\nas\n"
                             "G: \\\\\\share\n"
                             "H: \\\\nas\\\n"
                             "I: //nas/share\n"
                             "J:\\\\nas\\share\n"
                             "k: \\\\nas\\share\n"
                             "L: \\\\nas\\a\\b\n" // a raw backslash is never written
                             "M: \\\\nas\\bad%4\n"
                             "N: \\\\nas\\bad%ZZ\n"
                             "O: \\\\nas\\sp ace\n"
                             "\n"
                             "garbage\n"
                             "P: \\\\nas\\with%20space";
    const qvp::ConnectionSnapshot got = qvp::parseConnections(text);
    qvp::ConnectionSnapshot want;
    want['E' - 'A'] = qvp::RemoteName{"nas", "public"};
    want['P' - 'A'] = qvp::RemoteName{"nas", "with space"};
    EXPECT_EQ(got, want);
}

TEST_F(TempDir, ConnectionFileIsReplacedWholeAndPrivately)
{
    const std::string path = m_dir + "/config/qvlink/connections";
    auto store = qvp::makeFileConnectionStore(path);
    EXPECT_EQ(store->Load(), qvp::ConnectionSnapshot{}); // no file yet
    const int fds = OpenFds();
    qvp::ConnectionSnapshot in;
    in['G' - 'A'] = qvp::RemoteName{"10.77.0.2", "new\nline"};
    ASSERT_TRUE(store->Save(in));
    EXPECT_EQ(store->Load(), in);
    in['G' - 'A'].reset();
    in['Z' - 'A'] = qvp::RemoteName{"h", "s"};
    ASSERT_TRUE(store->Save(in));
    EXPECT_EQ(store->Load(), in);
    EXPECT_EQ(OpenFds(), fds);
    EXPECT_EQ(Entries(m_dir + "/config/qvlink"), std::vector<std::string>{"connections"});
    struct stat info = {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U);
    ASSERT_EQ(::stat((m_dir + "/config/qvlink").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700U);
}

TEST_F(TempDir, UnwritableFolderFailsWithoutTouchingTheFile)
{
    const std::string path = m_dir + "/connections";
    auto store = qvp::makeFileConnectionStore(path);
    qvp::ConnectionSnapshot in;
    in[4] = qvp::RemoteName{"a", "b"};
    ASSERT_TRUE(store->Save(in));
    if (::geteuid() == 0) {
        // root writes anywhere; a path under a regular file fails for everyone.
        EXPECT_FALSE(qvp::makeFileConnectionStore(path + "/sub/connections")->Save(in));
    } else {
        ASSERT_EQ(::chmod(m_dir.c_str(), 0500), 0);
        EXPECT_FALSE(store->Save({}));
        ASSERT_EQ(::chmod(m_dir.c_str(), 0700), 0);
    }
    EXPECT_EQ(store->Load(), in);
}

TEST(Bookmarks, AddAndRemoveKeepEveryOtherLineExactly)
{
    const std::string uri = "smb://10.77.0.2/public";
    const std::string label = qvp::bookmarkLabel('E', "public", "10.77.0.2");
    EXPECT_EQ(label, "E: public on 10.77.0.2");
    const std::string ours = uri + " " + label + "\n";
    struct Row
    {
        std::string before;
        std::string added;
    } rows[] = {
        {"", ours},
        {"file:///home/u/Music\n", "file:///home/u/Music\n" + ours},
        {"file:///home/u/Music", "file:///home/u/Music\n" + ours},
        {"a b\r\n\n\nsftp://x/ y  z\n", "a b\r\n\n\nsftp://x/ y  z\n" + ours},
        {ours, ours},
        {"x\n" + ours + "y", "x\n" + ours + "y"},
    };
    for (const Row& row : rows) {
        const std::string added = qvp::withBookmark(row.before, uri, label);
        EXPECT_EQ(added, row.added);
        const std::string removed = qvp::withoutBookmark(added, uri, label);
        EXPECT_EQ(removed.find(uri), std::string::npos);
        std::string expected = row.before;
        if (expected.find(ours) != std::string::npos) {
            expected.erase(expected.find(ours), ours.size());
        } else if (!expected.empty() && expected.back() != '\n') {
            expected += '\n';
        }
        EXPECT_EQ(removed, expected);
    }
    // A similar line of someone else's is not ours.
    const std::string other = uri + " E: public on 10.77.0.2 (mine)\n" + uri + "\n";
    EXPECT_EQ(qvp::withoutBookmark(other, uri, label), other);
}

TEST(Bookmarks, HostileLabelsStayOnTheirLine)
{
    for (const std::string& name : Hostile) {
        const std::string label = qvp::bookmarkLabel('G', name, name);
        const std::string text = qvp::withBookmark("keep\n", "smb://h/s", label);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
        EXPECT_EQ(qvp::withoutBookmark(text, "smb://h/s", label), "keep\n");
    }
}

TEST_F(TempDir, BookmarkFileKeepsItsOtherLines)
{
    const std::string path = m_dir + "/gtk-3.0/bookmarks";
    fs::create_directories(m_dir + "/gtk-3.0");
    const std::string original = "file:///home/u/Music Music\nsmb://other/x\n";
    ASSERT_TRUE(qvp::writeFileAtomically(path, original, 0644));
    auto store = qvp::makeFileBookmarkStore(path);
    ASSERT_TRUE(store->Add("smb://10.77.0.2/public", "E: public on 10.77.0.2"));
    ASSERT_TRUE(store->Add("smb://10.77.0.2/public", "E: public on 10.77.0.2"));
    EXPECT_EQ(*qvp::readWholeFile(path), original + "smb://10.77.0.2/public E: public on 10.77.0.2\n");
    ASSERT_TRUE(store->Remove("smb://10.77.0.2/public", "E: public on 10.77.0.2"));
    EXPECT_EQ(*qvp::readWholeFile(path), original);
    EXPECT_EQ(Entries(m_dir + "/gtk-3.0"), std::vector<std::string>{"bookmarks"});
}

TEST_F(TempDir, UnreadableBookmarksAreLeftAlone)
{
    const std::string path = m_dir + "/bookmarks";
    fs::create_directories(path); // a folder where the file should be: it cannot be read
    auto store = qvp::makeFileBookmarkStore(path);
    EXPECT_FALSE(store->Add("smb://h/s", "G: s on h"));
    EXPECT_TRUE(fs::is_directory(path));
}

TEST(DriveTypes, SystemDiskRememberedLettersAndTheRest)
{
    qvp::ConnectionSnapshot connections;
    connections['G' - 'A'] = qvp::RemoteName{"h", "s"};
    struct Row
    {
        const char* root;
        unsigned type;
    } rows[] = {
        {"C:", qvp::DriveFixed},     {"c:", qvp::DriveFixed},     {"G:", qvp::DriveRemote},
        {"D:", qvp::DriveNoRootDir}, {"A:", qvp::DriveNoRootDir}, {"Z:", qvp::DriveNoRootDir},
        {"", qvp::DriveNoRootDir},   {"G", qvp::DriveNoRootDir},  {"1:", qvp::DriveNoRootDir},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(qvp::driveTypeFor(row.root, connections), row.type) << row.root;
    }
}

} // namespace
