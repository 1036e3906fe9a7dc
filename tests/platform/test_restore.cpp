// The autostart entry that restores the drive letters at login, and the restore itself with a
// scripted mounter: parallel mounts, the overall bound, nothing forgotten, one safe line per
// letter.
#include "AtomicFile.h"
#include "AutostartEntry.h"
#include "DesktopExec.h"
#include "MappingRestore.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <map>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

class Restore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char name[] = "/tmp/qvp-restore-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        m_dir = name;
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string m_dir;
};

class MemoryStore final : public qvp::ConnectionStore
{
public:
    MemoryStore() { snapshot.emplace(); }
    std::optional<qvp::ConnectionSnapshot> Load() override { return snapshot; }
    bool Save(const qvp::ConnectionSnapshot& connections) override
    {
        if (fail) {
            return false;
        }
        snapshot = connections;
        return true;
    }
    std::optional<qvp::ConnectionSnapshot> snapshot;
    bool fail = false;
};

// desktop-file-validate's verdict on a file: its exit status and what it printed.
std::pair<int, std::string> Validate(const std::string& path)
{
    const std::string out = path + ".validate";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::string program = "desktop-file-validate";
    std::string file = path;
    char* argv[] = {program.data(), file.data(), nullptr};
    pid_t pid = 0;
    int status = -1;
    if (posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv, environ) == 0) {
        ::waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, qvp::readWholeFile(out).value_or("")};
}

std::vector<std::string> ExecOf(const std::string& entryPath)
{
    const std::string text = qvp::readWholeFile(entryPath).value_or("");
    const std::optional<std::string> exec = qvp::desktopEntryValue(text, "Exec");
    if (!exec) {
        return {};
    }
    std::vector<std::string> argv = qvp::parseExecLine(*exec, "").value_or(std::vector<std::string>{});
    if (!argv.empty()) {
        argv.pop_back(); // the empty "URL" that the parser appends
    }
    return argv;
}

TEST_F(Restore, EntryIsWrittenWithTheFirstLetterAndRemovedWithTheLast)
{
    const std::string entry = m_dir + "/config/autostart/" + qvp::RestoreEntryName;
    auto inner = std::make_unique<MemoryStore>();
    MemoryStore* memory = inner.get();
    auto store = qvp::makeAutostartKeepingStore(std::move(inner), entry, "/usr/bin/qvlink");
    qvp::ConnectionSnapshot connections;
    connections['G' - 'A'] = qvp::RemoteName{"nas", "public"};
    ASSERT_TRUE(store->Save(connections));
    EXPECT_EQ(ExecOf(entry), (std::vector<std::string>{"/usr/bin/qvlink", "--restore-mappings"}));
    connections['K' - 'A'] = qvp::RemoteName{"nas", "media"};
    ASSERT_TRUE(store->Save(connections));
    connections['G' - 'A'].reset();
    ASSERT_TRUE(store->Save(connections));
    EXPECT_TRUE(fs::exists(entry));
    connections['K' - 'A'].reset();
    ASSERT_TRUE(store->Save(connections));
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(memory->snapshot, connections);
    // A save that fails leaves no entry behind it.
    memory->fail = true;
    connections['E' - 'A'] = qvp::RemoteName{"nas", "docs"};
    EXPECT_FALSE(store->Save(connections));
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_TRUE(fs::is_empty(m_dir + "/config/autostart"));
}

TEST_F(Restore, EntryIsValidAndQuotesAnyProgramPath)
{
    const std::string paths[] = {
        "/usr/bin/qvlink",
        "/home/u/my programs/qv link",
        "/opt/\"quoted\" 'single'/qvlink",
        "/opt/$HOME/`id`/a\\b/100%/qvlink",
        "/opt/tab\there/new\nline/qvlink",
        "/opt/caf\xC3\xA9/=;#[x]/qvlink",
    };
    for (const std::string& program : paths) {
        const std::string entry = m_dir + "/" + qvp::RestoreEntryName;
        ASSERT_TRUE(qvp::writeRestoreEntry(entry, program)) << program;
        EXPECT_EQ(ExecOf(entry), (std::vector<std::string>{program, "--restore-mappings"})) << program;
        const auto [status, output] = Validate(entry);
        EXPECT_EQ(status, 0) << program << "\n" << output;
        EXPECT_EQ(output, "") << program;
        const std::string text = qvp::readWholeFile(entry).value_or("");
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8) << text;
    }
    // Exactly as the Desktop Entry rules write it, for one path with every special character.
    EXPECT_EQ(qvp::desktopEntryValue(qvp::restoreEntryText("/a b/\"$`\\%").value(), "Exec"),
              "\"/a b/\\\"\\$\\`\\\\%%\" --restore-mappings");
    EXPECT_NE(qvp::restoreEntryText("/a b/\"$`\\%").value().find("Exec=\"/a b/\\\\\"\\\\$\\\\`\\\\\\\\%%\" --restore"),
              std::string::npos);
    // Bytes a desktop entry cannot carry, and relative paths, give no entry at all.
    EXPECT_FALSE(qvp::restoreEntryText("/opt/bad\xFF/qvlink"));
    EXPECT_FALSE(qvp::restoreEntryText("/opt/bell\a/qvlink"));
    EXPECT_FALSE(qvp::restoreEntryText("qvlink"));
    EXPECT_EQ(qvp::currentProgramPath(), fs::read_symlink("/proc/self/exe").string());
}

// Mounts answered from the GLib main loop after a scripted delay; a negative delay never answers.
class ScriptedMounter final : public qvp::ShareMounter
{
public:
    struct Script
    {
        int delayMs = 0;
        qvp::MountResult result;
    };
    void Mount(const std::string& host, const std::string& share, Done done) override
    {
        started.push_back(host + "/" + share);
        const Script script = scripts[host];
        if (script.delayMs < 0) {
            return;
        }
        auto* call = new std::pair<Done, qvp::MountResult>(std::move(done), script.result);
        g_timeout_add(
            static_cast<guint>(script.delayMs),
            [](gpointer data) -> gboolean {
                std::unique_ptr<std::pair<Done, qvp::MountResult>> owned(
                    static_cast<std::pair<Done, qvp::MountResult>*>(data));
                owned->first(owned->second);
                return G_SOURCE_REMOVE;
            },
            call);
    }
    void Unmount(const std::string& host, const std::string& share) override { unmounts.push_back(host + "/" + share); }
    std::map<std::string, Script> scripts;
    std::vector<std::string> started;
    std::vector<std::string> unmounts;
};

class MemoryBookmarks final : public qvp::BookmarkStore
{
public:
    bool Add(const std::string& uri, const std::string& label) override
    {
        text = qvp::withBookmark(text, uri, label);
        return true;
    }
    bool Remove(const std::string&, const std::string&) override { return false; }
    std::string text;
};

std::string RunRestore(qvp::ConnectionStore& store, qvp::BookmarkStore& bookmarks, qvp::ShareMounter& mounter,
                       int overallMs, qvp::RestoreStatus& status, long long& elapsedMs)
{
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* log = ::open_memstream(&text, &size);
    const auto start = std::chrono::steady_clock::now();
    status = qvp::restoreMappings(store, bookmarks, mounter, log, overallMs);
    elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::fclose(log);
    std::string out(text, size);
    std::free(text);
    return out;
}

TEST(MappingRestore, MountsInParallelKeepsEveryLetterAndEndsInTime)
{
    MemoryStore store;
    qvp::ConnectionSnapshot remembered;
    remembered['E' - 'A'] = qvp::RemoteName{"guest", "public"};
    remembered['F' - 'A'] = qvp::RemoteName{"away", "docs"};
    remembered['G' - 'A'] = qvp::RemoteName{"silent", "media"};
    remembered['H' - 'A'] = qvp::RemoteName{"guest", "public"}; // same folder: one mount
    remembered['K' - 'A'] = qvp::RemoteName{"evil\x1B[2J\n", "x\xC2\x9B"
                                                             "1"};
    store.snapshot = remembered;
    MemoryBookmarks bookmarks;
    bookmarks.text = "file:///tmp Temporary\n";
    ScriptedMounter mounter;
    mounter.scripts["guest"] = {300, {true, false, ""}};
    mounter.scripts["away"] = {200, {false, false, "No route to host"}};
    mounter.scripts["silent"] = {-1, {}};
    mounter.scripts["evil\x1B[2J\n"] = {250, {false, false, "bad\r\nname"}};
    qvp::RestoreStatus status{};
    long long elapsed = 0;
    const std::string log = RunRestore(store, bookmarks, mounter, 1000, status, elapsed);
    EXPECT_EQ(status, qvp::RestoreSomeFailed);
    EXPECT_EQ(log, "E: \\\\guest\\public mounted\n"
                   "F: \\\\away\\docs not mounted: No route to host\n"
                   "G: \\\\silent\\media not mounted: no answer in time\n"
                   "H: \\\\guest\\public mounted\n"
                   "K: \\\\evil?[2J?\\x?1 not mounted: bad??name\n");
    // Started together, not one after another: the bound holds with a silent server.
    EXPECT_EQ(mounter.started.size(), 4U);
    EXPECT_GE(elapsed, 1000);
    EXPECT_LT(elapsed, 3000);
    // Nothing forgotten, nothing unmounted, every letter bookmarked.
    EXPECT_EQ(store.snapshot, remembered);
    EXPECT_TRUE(mounter.unmounts.empty());
    for (const char* line : {"smb://guest/public E: public on guest", "smb://away/docs F: docs on away",
                             "smb://silent/media G: media on silent", "smb://guest/public H: public on guest"}) {
        EXPECT_NE(bookmarks.text.find(std::string("\n") + line + "\n"), std::string::npos) << line;
    }
    EXPECT_EQ(std::count(bookmarks.text.begin(), bookmarks.text.end(), '\n'), 6) << bookmarks.text;
    // A late answer, after the bound, lands nowhere harmful.
    for (int i = 0; i < 50 && g_main_context_iteration(nullptr, FALSE); ++i) {
    }
}

TEST(MappingRestore, AllMountedNothingRememberedAndUnreadable)
{
    MemoryStore store;
    MemoryBookmarks bookmarks;
    ScriptedMounter mounter;
    qvp::RestoreStatus status{};
    long long elapsed = 0;
    EXPECT_EQ(RunRestore(store, bookmarks, mounter, 1000, status, elapsed), "");
    EXPECT_EQ(status, qvp::RestoreAllMounted);
    EXPECT_TRUE(mounter.started.empty());
    store.snapshot->at('Z' - 'A') = qvp::RemoteName{"nas", "z"};
    mounter.scripts["nas"] = {0, {true, true, ""}}; // mounted already counts as mounted
    EXPECT_EQ(RunRestore(store, bookmarks, mounter, 1000, status, elapsed), "Z: \\\\nas\\z mounted\n");
    EXPECT_EQ(status, qvp::RestoreAllMounted);
    store.snapshot.reset();
    EXPECT_EQ(RunRestore(store, bookmarks, mounter, 1000, status, elapsed),
              "The remembered drive letters cannot be read.\n");
    EXPECT_EQ(status, qvp::RestoreUnreadable);
    EXPECT_EQ(mounter.started.size(), 1U);
}

} // namespace
