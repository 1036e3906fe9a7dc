// Connecting a share so that it is reachable on this computer: the stand-in for connecting a
// drive letter. The GVfs mounter mounts smb://host/share through GIO (the file manager then
// shows it, and GVfs's FUSE view gives it a path), answering the mount's password questions
// from a CredentialsSource. Also the ledger of the mounts the program made itself, so that
// giving up a letter never unmounts a mount the user (or the file manager) made.
//
// Thread-safety: UI thread only. The GVfs mounter's callbacks run from the default GLib main
// context, which the Qt event loop dispatches on that thread.
#pragma once

#include "SmbShares.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qvp {

class CredentialsSource
{
public:
    using Answer = std::function<void(std::optional<SmbCredentials>)>;
    using Question = std::uint64_t;
    virtual ~CredentialsSource() = default;
    // The credentials known to work for host, if any.
    virtual std::optional<SmbCredentials> Stored(const std::string& host) = 0;
    // Asks the user; answer gets nothing when the user declined. answer may run later.
    // refused: the server refused the answer given before, which the question says. An answer
    // is only tried: it is kept once the server has taken it (Accepted).
    virtual Question Ask(const std::string& host, bool refused, Answer answer) = 0;
    // The asker has ended (its mount finished or was cancelled): a question not yet shown never
    // is, an open one closes as declined, and its answer never runs. An answered question: nothing.
    virtual void Withdraw(Question question) = 0;
    // The server took credentials: those of the latest answer for host are kept from now on.
    virtual void Accepted(const std::string& host, const SmbCredentials& credentials) = 0;
};

struct MountResult
{
    bool ok = false;
    bool alreadyMounted = false; // ok, and the mount was there before: someone else made it
    std::string message;         // the failure's description, for diagnostics
};

class ShareMounter
{
public:
    using Done = std::function<void(MountResult)>;
    virtual ~ShareMounter() = default;
    // Mounts the share; done runs once, later, with ok also when it was mounted already.
    virtual void Mount(const std::string& host, const std::string& share, Done done) = 0;
    // Unmounts the share if it is mounted; the outcome is not reported.
    virtual void Unmount(const std::string& host, const std::string& share) = 0;
};

// Password questions are answered in this order: anonymous (when the server allows it and
// nothing is stored for the host), the stored credentials, then the user, at most three times;
// any further question aborts the mount. timeoutMs bounds the mount's waits on the server: the
// time limit stops while the user is asked and starts afresh with the answer. logFailures: a
// line per failed mount on standard error (the restore writes its own).
std::unique_ptr<ShareMounter> makeGvfsShareMounter(CredentialsSource& credentials, int timeoutMs = 20000,
                                                   bool logFailures = true);

// The mounts this program made, for the login session: kept in a small file under
// $XDG_RUNTIME_DIR (which lasts exactly as long as the session's mounts), so that the window
// knows the ones the restore at login made. An empty path keeps them in memory only.
class MountLedger
{
public:
    virtual ~MountLedger() = default;
    virtual bool Made(const std::string& host, const std::string& share) = 0;
    virtual void Add(const std::string& host, const std::string& share) = 0;
    virtual void Drop(const std::string& host, const std::string& share) = 0;
};
std::unique_ptr<MountLedger> makeMountLedger(std::string path);
std::string mountLedgerPath();

// A mounter that notes in ledger every mount inner newly made, and unmounts only those: a
// mount the user made in the file manager, or one that opening a folder caused, stays.
std::unique_ptr<ShareMounter> makeLedgerMounter(ShareMounter& inner, MountLedger& ledger);

} // namespace qvp
