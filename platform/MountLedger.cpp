// The ledger of mounts this program made, and the mounter that keeps it (ShareMount.h).
#include "AtomicFile.h"
#include "ShareMount.h"
#include "SmbUri.h"

#include <cstdlib>
#include <set>

namespace qvp {

namespace {

// One percent-encoded smb:// URI per line: nothing from a server can add a line.
class FileMountLedger final : public MountLedger
{
public:
    explicit FileMountLedger(std::string path)
        : m_path(std::move(path))
    {
    }

    bool Made(const std::string& host, const std::string& share) override
    {
        return Read().count(smbShareUri(host, share)) != 0;
    }

    void Add(const std::string& host, const std::string& share) override
    {
        std::set<std::string> made = Read();
        if (made.insert(smbShareUri(host, share)).second) {
            Write(made);
        }
    }

    void Drop(const std::string& host, const std::string& share) override
    {
        std::set<std::string> made = Read();
        if (made.erase(smbShareUri(host, share)) != 0) {
            Write(made);
        }
    }

private:
    std::set<std::string> Read()
    {
        if (m_path.empty()) {
            return m_memory;
        }
        std::set<std::string> made;
        std::string_view text;
        const std::optional<std::string> file = readWholeFile(m_path);
        if (file) {
            text = *file;
        }
        while (!text.empty()) {
            const std::size_t end = text.find('\n');
            if (end != 0) {
                made.emplace(text.substr(0, end));
            }
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        }
        return made;
    }

    void Write(const std::set<std::string>& made)
    {
        m_memory = made;
        if (m_path.empty()) {
            return;
        }
        std::string text;
        for (const std::string& uri : made) {
            text += uri + "\n";
        }
        // A ledger that cannot be written only makes the program more careful: it then
        // leaves a mount of its own mounted rather than unmount one it did not make.
        (void)writeFileAtomically(m_path, text, 0600);
    }

    std::string m_path;
    std::set<std::string> m_memory;
};

class LedgerMounter final : public ShareMounter
{
public:
    LedgerMounter(ShareMounter& inner, MountLedger& ledger)
        : m_inner(inner)
        , m_ledger(ledger)
    {
    }

    void Mount(const std::string& host, const std::string& share, Done done) override
    {
        MountLedger* ledger = &m_ledger;
        m_inner.Mount(host, share, [ledger, host, share, done = std::move(done)](MountResult result) {
            if (result.ok && !result.alreadyMounted) {
                ledger->Add(host, share);
            }
            done(std::move(result));
        });
    }

    void Unmount(const std::string& host, const std::string& share) override
    {
        if (!m_ledger.Made(host, share)) {
            return;
        }
        m_ledger.Drop(host, share);
        m_inner.Unmount(host, share);
    }

private:
    ShareMounter& m_inner;
    MountLedger& m_ledger;
};

} // namespace

std::unique_ptr<MountLedger> makeMountLedger(std::string path)
{
    return std::make_unique<FileMountLedger>(std::move(path));
}

std::string mountLedgerPath()
{
    // Read on the UI thread (or the restore's only thread); nothing here sets the environment.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR"); // NOLINT(concurrency-mt-unsafe)
    if (runtime == nullptr || runtime[0] != '/') {
        return {};
    }
    return std::string(runtime) + "/qvlink/made-mounts";
}

std::unique_ptr<ShareMounter> makeLedgerMounter(ShareMounter& inner, MountLedger& ledger)
{
    return std::make_unique<LedgerMounter>(inner, ledger);
}

} // namespace qvp
