#include "SmbShares.h"

#include "SmbLibrary.h"
#include "SmbUri.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace qvp {

std::string cutUtf8(std::string_view text, std::size_t limit)
{
    if (limit == 0) {
        return {};
    }
    std::size_t length = text.size();
    if (length > limit - 1) {
        length = limit - 1;
        // Back off continuation bytes (10xxxxxx) so that the cut falls before a lead byte.
        std::size_t cut = length;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        // Only a run of up to three continuation bytes belongs to one character; a longer run is
        // not UTF-8 and is cut where the limit falls.
        if (length - cut <= 3) {
            length = cut;
        }
    }
    return std::string(text.substr(0, length));
}

std::optional<std::uint32_t> shareTypeFor(unsigned smbcType, std::string_view name)
{
    std::uint32_t type = 0;
    switch (smbcType) {
    case SMBC_FILE_SHARE:
        type = ShareTypeDisk;
        break;
    case SMBC_PRINTER_SHARE:
        type = ShareTypePrinter;
        break;
    case SMBC_COMMS_SHARE:
        type = ShareTypeDevice;
        break;
    case SMBC_IPC_SHARE:
        type = ShareTypeIpc;
        break;
    default:
        return std::nullopt;
    }
    // The library reports hidden shares (printers too) as plain file shares; the name tells.
    if (!name.empty() && name.back() == '$') {
        type |= ShareTypeSpecial;
    }
    return type;
}

bool isListedShare(const ShareEntry& entry)
{
    // No server has a share called "." or ".."; such a name could only walk a path upwards.
    if (entry.name.empty() || entry.name == "." || entry.name == "..") {
        return false;
    }
    return entry.type == ShareTypeDisk && entry.remark != "System Configuration";
}

bool ShareCollector::Add(ShareEntry entry)
{
    if (isListedShare(entry)) {
        if (m_listed < MaxListedShares) {
            ++m_listed;
            m_entries.push_back(std::move(entry));
        }
    } else if (m_unlisted < MaxListedShares) {
        ++m_unlisted;
        m_entries.push_back(std::move(entry));
    }
    return m_listed < MaxListedShares;
}

namespace {

struct ContextDeleter
{
    // Only contexts made through a loaded library exist, so the library is there to free them.
    void operator()(SMBCCTX* context) const { smbLibrary()->freeContext(context, 1); }
};
using ContextPtr = std::unique_ptr<SMBCCTX, ContextDeleter>;

// What the authentication callback hands the library for the request in progress.
struct AuthData
{
    std::optional<SmbCredentials> credentials;
};

void copyField(char* out, int size, const std::string& value)
{
    if (size <= 0) {
        return;
    }
    const std::size_t room = static_cast<std::size_t>(size) - 1;
    const std::size_t length = value.size() < room ? value.size() : room;
    std::memcpy(out, value.data(), length);
    out[length] = '\0';
}

void authenticate(SMBCCTX* context, const char* /*server*/, const char* /*share*/, char* workgroup, int workgroupSize,
                  char* user, int userSize, char* password, int passwordSize)
{
    // The callback is only ever registered through a loaded library.
    const auto* data = static_cast<const AuthData*>(smbLibrary()->getOptionUserData(context));
    // No credentials: an empty user and password, which the library sends as a guest login.
    const SmbCredentials none;
    const SmbCredentials& use = (data != nullptr && data->credentials) ? *data->credentials : none;
    if (!use.domain.empty()) {
        copyField(workgroup, workgroupSize, use.domain);
    }
    copyField(user, userSize, use.user);
    copyField(password, passwordSize, use.password);
}

struct Request
{
    std::string host;
    std::optional<SmbCredentials> credentials;
    ShareLister::Done done;
};

class SmbShareLister final : public ShareLister
{
public:
    explicit SmbShareLister(int connectTimeoutMs)
        : m_timeoutMs(connectTimeoutMs)
        , m_thread([this] { Run(); })
    {
    }

    ~SmbShareLister() override
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        // The thread is inside at most one bounded library call.
        m_thread.join();
    }

    SmbShareLister(const SmbShareLister&) = delete;
    SmbShareLister& operator=(const SmbShareLister&) = delete;

    void ListShares(std::string host, std::optional<SmbCredentials> credentials, Done done) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back({std::move(host), std::move(credentials), std::move(done)});
        }
        m_wake.notify_one();
    }

private:
    void Run()
    {
        ContextPtr context = MakeContext();
        for (;;) {
            std::deque<Request> batch;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
                if (m_stop) {
                    batch.swap(m_queue);
                    lock.unlock();
                    for (Request& dropped : batch) {
                        dropped.done({});
                    }
                    return;
                }
                batch.swap(m_queue);
            }
            // Only the newest request is worth a trip to the network; the older ones lost.
            while (batch.size() > 1) {
                batch.front().done({});
                batch.pop_front();
            }
            Request& request = batch.front();
            ShareListResult result;
            if (context) {
                result = List(context.get(), request);
            }
            request.done(std::move(result));
        }
    }

    ContextPtr MakeContext()
    {
        // Loaded here, on the SMB thread at its first request, not with the program.
        const SmbApi* smb = smbLibrary();
        if (smb == nullptr) {
            return nullptr;
        }
        ContextPtr context(smb->newContext());
        if (!context) {
            return context;
        }
        smb->setOptionUserData(context.get(), &m_auth);
        smb->setFunctionAuthDataWithContext(context.get(), authenticate);
        smb->setTimeout(context.get(), m_timeoutMs);
        // SMB2 and later run over 445 only; trying 139 as well would double the wait for a silent host.
        smb->setPort(context.get(), 445);
        smb->setOptionUseKerberos(context.get(), 0);
        smb->setOptionFallbackAfterKerberos(context.get(), 1);
        smb->setOptionUseCCache(context.get(), 0);
        if (smb->initContext(context.get()) == nullptr) {
            context.reset();
        }
        return context;
    }

    ShareListResult List(SMBCCTX* context, const Request& request)
    {
        m_auth.credentials = request.credentials;
        ShareListResult result;
        const std::string uri = smbServerUri(request.host);
        errno = 0;
        const SmbApi& smb = *smbLibrary(); // a context exists, so the library is loaded
        SMBCFILE* dir = smb.getFunctionOpendir(context)(context, uri.c_str());
        if (dir == nullptr) {
            result.code = (errno == EACCES || errno == EPERM) ? ShareListAccessDenied : ShareListFailed;
            m_auth.credentials.reset();
            return result;
        }
        const auto readdir = smb.getFunctionReaddir(context);
        ShareCollector collected;
        bool room = true;
        while (room) {
            const smbc_dirent* entry = readdir(context, dir);
            if (entry == nullptr) {
                break;
            }
            const std::string_view name(entry->name, ::strnlen(entry->name, entry->namelen));
            const std::optional<std::uint32_t> type = shareTypeFor(entry->smbc_type, name);
            if (!type) {
                continue;
            }
            const std::string_view remark =
                entry->comment != nullptr
                    ? std::string_view(entry->comment, ::strnlen(entry->comment, entry->commentlen))
                    : std::string_view();
            room = collected.Add({cutUtf8(name, ShareNameSize), *type, cutUtf8(remark, ShareRemarkSize)});
        }
        result.entries = collected.Take();
        smb.getFunctionClosedir(context)(context, dir);
        m_auth.credentials.reset();
        result.code = ShareListOk;
        return result;
    }

    const int m_timeoutMs;
    AuthData m_auth; // SMB thread only
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Request> m_queue; // guarded by m_mutex
    bool m_stop = false;         // guarded by m_mutex
    std::thread m_thread;        // last: starts once everything above exists
};

} // namespace

std::unique_ptr<ShareLister> makeSmbShareLister(int connectTimeoutMs)
{
    return std::make_unique<SmbShareLister>(connectTimeoutMs);
}

} // namespace qvp
