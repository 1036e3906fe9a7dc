// Listing a server's shares: the results the device actions rely on (a result code, and for
// each share its name, type and remark, at most MaxListedShares of them), behind an interface
// so that tests give their own; the rules for which shares the list shows and how long their
// texts are.
//
// Thread-safety: ShareLister::ListShares may be called from any thread; the answer comes on
// a thread of the lister's own (SmbShareLister: its SMB thread), never inside the call.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvp {

// Share types as the network management layer numbers them.
inline constexpr std::uint32_t ShareTypeDisk = 0;
inline constexpr std::uint32_t ShareTypePrinter = 1;
inline constexpr std::uint32_t ShareTypeDevice = 2;
inline constexpr std::uint32_t ShareTypeIpc = 3;
inline constexpr std::uint32_t ShareTypeSpecial = 0x80000000U;

// Result codes: 0 all entries returned, 5 access denied; anything else is a failure.
inline constexpr int ShareListOk = 0;
inline constexpr int ShareListAccessDenied = 5;
inline constexpr int ShareListFailed = 53; // the network path was not found

// Field widths of a listed share, terminator included.
inline constexpr std::size_t ShareNameSize = 128;
inline constexpr std::size_t ShareRemarkSize = 256;

struct ShareEntry
{
    std::string name;   // UTF-8, at most ShareNameSize - 1 bytes
    std::uint32_t type; // ShareType*, with ShareTypeSpecial for a name ending in '$'
    std::string remark; // UTF-8, at most ShareRemarkSize - 1 bytes
};

struct ShareListResult
{
    int code = ShareListFailed;
    std::vector<ShareEntry> entries;
};

struct SmbCredentials
{
    std::string user;
    std::string domain;
    std::string password;
};

class ShareLister
{
public:
    using Done = std::function<void(ShareListResult)>;
    virtual ~ShareLister() = default;
    // Lists host's shares, signed in with credentials when given (else as a guest), and calls
    // done once with the answer. A request still waiting when a newer one arrives is answered
    // with ShareListFailed at once and never reaches the server.
    virtual void ListShares(std::string host, std::optional<SmbCredentials> credentials, Done done) = 0;
};

// text cut to at most limit - 1 bytes, never inside a UTF-8 character; bytes that are not UTF-8
// are kept (the widget layer shows them as replacement characters).
std::string cutUtf8(std::string_view text, std::size_t limit);

// The share type for a libsmbclient entry type (SMBC_FILE_SHARE ...); nullopt for entries that
// are not shares (workgroups, servers, files). A name ending in '$' carries the special bit.
std::optional<std::uint32_t> shareTypeFor(unsigned smbcType, std::string_view name);

// Whether the share list shows the entry: a plain disk share whose remark is not exactly
// "System Configuration".
bool isListedShare(const ShareEntry& entry);

// The share list shows at most this many rows, the first ones in listing order. A listing
// stops once it has them, so a server that lists tens of thousands of shares costs a bounded
// amount of memory and time.
inline constexpr std::size_t MaxListedShares = 1000;

// The entries of one listing, in order: every listed share up to MaxListedShares, and at most
// as many entries that the list does not show (printers, hidden shares), which are dropped
// beyond that.
class ShareCollector
{
public:
    // Keeps entry if there is room for its kind; false once MaxListedShares listed shares are
    // had, when the rest of the listing can be left unread.
    bool Add(ShareEntry entry);
    std::vector<ShareEntry> Take() { return std::move(m_entries); }

private:
    std::vector<ShareEntry> m_entries;
    std::size_t m_listed = 0;
    std::size_t m_unlisted = 0;
};

// The libsmbclient lister: one SMB thread owns the library's context, since the library is not
// thread-safe. connectTimeoutMs bounds each connection attempt. Destroying the lister waits for
// a library call in progress; the program never destroys its own, and leaves by endProcess
// (ProcessExit.h) with the thread still at work.
std::unique_ptr<ShareLister> makeSmbShareLister(int connectTimeoutMs = 3000);

} // namespace qvp
