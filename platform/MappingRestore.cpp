#include "MappingRestore.h"

#include "AutostartEntry.h"
#include "SmbUri.h"

#include <chrono>
#include <gio/gio.h>
#include <map>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace qvp {

namespace {

// Answers from the keyring only; one lookup per server, since every question of a mount asks.
class KeyringCredentials final : public CredentialsSource
{
public:
    explicit KeyringCredentials(PasswordKeyring* keyring)
        : m_keyring(keyring)
    {
    }

    std::optional<SmbCredentials> Stored(const std::string& host) override
    {
        if (m_keyring == nullptr) {
            return std::nullopt;
        }
        auto found = m_byHost.find(host);
        if (found != m_byHost.end()) {
            return found->second;
        }
        // Each lookup blocks the loop for up to the keyring's own wait: a hung keyring and
        // many servers must not carry the restore past its bound.
        if (std::chrono::steady_clock::now() > m_lastLookup) {
            return std::nullopt;
        }
        return m_byHost.emplace(host, m_keyring->Lookup(host)).first->second;
    }

    // Nobody is there to answer at login.
    Question Ask(const std::string& /*host*/, bool /*refused*/, Answer answer) override
    {
        answer(std::nullopt);
        return 0;
    }
    void Withdraw(Question /*question*/) override {}
    // What the keyring holds is kept there; nothing new is learnt without asking.
    void Accepted(const std::string& /*host*/, const SmbCredentials& /*credentials*/) override {}

private:
    PasswordKeyring* m_keyring;
    std::chrono::steady_clock::time_point m_lastLookup =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(OverallTimeoutMs - KeyringTimeoutMs);
    std::map<std::string, std::optional<SmbCredentials>> m_byHost;
};

struct Outcome
{
    bool done = false;
    MountResult result;
};

// Shared with the mount callbacks, so that one answering after the overall bound (when the
// caller iterates the main context again) finds it still there.
struct RestoreRun
{
    GMainLoop* loop = nullptr;
    std::size_t pending = 0;
    std::map<std::pair<std::string, std::string>, Outcome> outcomes;
};

gboolean onOverallTimeout(gpointer data)
{
    g_main_loop_quit(static_cast<GMainLoop*>(data));
    return G_SOURCE_REMOVE;
}

void writeLine(std::FILE* log, int letter, const RemoteName& remote, const Outcome& outcome)
{
    const std::string name = "\\\\" + logSafeText(remote.host) + "\\" + logSafeText(remote.share);
    if (outcome.done && outcome.result.ok) {
        std::fprintf(log, "%c: %s mounted\n", 'A' + letter, name.c_str());
        return;
    }
    const std::string reason = !outcome.done                    ? std::string("no answer in time")
                               : outcome.result.message.empty() ? std::string("refused")
                                                                : logSafeText(outcome.result.message);
    std::fprintf(log, "%c: %s not mounted: %s\n", 'A' + letter, name.c_str(), reason.c_str());
}

} // namespace

std::string logSafeText(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // U+0080..U+009F are C2 80..C2 9F in UTF-8.
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            out += '?';
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            out += '?';
        } else {
            out += text[i];
        }
    }
    return out;
}

RestoreStatus restoreMappings(ConnectionStore& connections, BookmarkStore& bookmarks, ShareMounter& mounter,
                              std::FILE* log, int overallTimeoutMs)
{
    const std::optional<ConnectionSnapshot> remembered = connections.Load();
    if (!remembered) {
        std::fprintf(log, "The remembered drive letters cannot be read.\n");
        return RestoreUnreadable;
    }
    // One mount per folder, however many letters reach it.
    auto run = std::make_shared<RestoreRun>();
    for (const std::optional<RemoteName>& remote : *remembered) {
        if (remote && run->outcomes.emplace(std::make_pair(remote->host, remote->share), Outcome{}).second) {
            ++run->pending;
        }
    }
    run->loop = g_main_loop_new(nullptr, FALSE);
    for (auto& [key, outcome] : run->outcomes) {
        Outcome* slot = &outcome;
        mounter.Mount(key.first, key.second, [slot, run](MountResult result) {
            if (slot->done) {
                return;
            }
            slot->done = true;
            slot->result = std::move(result);
            if (--run->pending == 0 && run->loop != nullptr) {
                g_main_loop_quit(run->loop);
            }
        });
    }
    if (run->pending > 0) {
        const guint timer = g_timeout_add(static_cast<guint>(overallTimeoutMs), onOverallTimeout, run->loop);
        g_main_loop_run(run->loop);
        if (run->pending == 0) {
            g_source_remove(timer);
        }
    }
    g_main_loop_unref(run->loop);
    run->loop = nullptr;
    // What happens from here on is not waited for.
    std::map<std::pair<std::string, std::string>, Outcome> outcomes = run->outcomes;

    RestoreStatus status = RestoreAllMounted;
    for (int letter = 0; letter < DriveLetterCount; ++letter) {
        const std::optional<RemoteName>& remote = (*remembered)[static_cast<std::size_t>(letter)];
        if (!remote) {
            continue;
        }
        const Outcome& outcome = outcomes[std::make_pair(remote->host, remote->share)];
        writeLine(log, letter, *remote, outcome);
        if (!outcome.done || !outcome.result.ok) {
            status = RestoreSomeFailed;
        }
        // The file manager shows the letter whether or not its server is there now.
        if (!bookmarks.Add(smbShareUri(remote->host, remote->share),
                           bookmarkLabel(static_cast<char>('A' + letter), remote->share, remote->host))) {
            std::fprintf(log, "%c: the bookmark cannot be written\n", 'A' + letter);
        }
    }
    std::fflush(log);
    return status;
}

RestoreStatus runMappingRestore(PasswordKeyring* keyring, std::FILE* log)
{
    std::unique_ptr<ConnectionStore> connections = makeFileConnectionStore(connectionsFilePath());
    std::unique_ptr<BookmarkStore> bookmarks = makeFileBookmarkStore(bookmarksFilePath());
    KeyringCredentials credentials(keyring);
    std::unique_ptr<ShareMounter> gvfs = makeGvfsShareMounter(credentials, ServerTimeoutMs, false);
    std::unique_ptr<MountLedger> ledger = makeMountLedger(mountLedgerPath());
    std::unique_ptr<ShareMounter> mounter = makeLedgerMounter(*gvfs, *ledger);
    const RestoreStatus status = restoreMappings(*connections, *bookmarks, *mounter, log);
    // An entry the user removed or that a copied home lacks comes back while letters are
    // remembered; an existing one (perhaps disabled on purpose) is left as it is.
    const std::optional<ConnectionSnapshot> remembered = connections->Load();
    struct stat info
    {
    };
    const std::string entry = restoreEntryPath();
    if (remembered && anyConnection(*remembered) && ::lstat(entry.c_str(), &info) != 0 &&
        !writeRestoreEntry(entry, currentProgramPath())) {
        std::fprintf(log, "The autostart entry cannot be written.\n");
    }
    // Mounts still in progress are abandoned: nothing runs the main context after this.
    return status;
}

} // namespace qvp
