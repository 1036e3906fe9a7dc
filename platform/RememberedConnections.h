// The user's remembered connections: which drive letter reaches which server's share. They
// stand in for the platform's per-letter network connections and live in a small file under
// $XDG_CONFIG_HOME/qvlink/, one line per letter:
//
//     G: \\host\share
//
// Host and share are stored with every control byte, space, '%' and '\' percent-encoded, so a
// name from a server can never add a line or move the separator. A line of any other form
// counts as no connection, and is kept as it is when the file is saved: it may be a newer
// program's, or the user's.
//
// Thread-safety: ConnectionStore objects are used from the UI thread only.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qvp {

inline constexpr int DriveLetterCount = 26;

struct RemoteName
{
    std::string host;
    std::string share;
    bool operator==(const RemoteName&) const = default;
};

// Indexed by letter - 'A'.
using ConnectionSnapshot = std::array<std::optional<RemoteName>, DriveLetterCount>;

class ConnectionStore
{
public:
    virtual ~ConnectionStore() = default;
    // Every letter's remembered connection (all empty when nothing is remembered); nothing when
    // the connections exist but cannot be read.
    virtual std::optional<ConnectionSnapshot> Load() = 0;
    // Replaces the remembered connections; false when they could not be stored, and then also
    // when the existing ones cannot be read: what could not be read is never overwritten.
    [[nodiscard]] virtual bool Save(const ConnectionSnapshot& connections) = 0;
};

// The file's text for a snapshot, and the snapshot a text describes.
std::string formatConnections(const ConnectionSnapshot& connections);
ConnectionSnapshot parseConnections(std::string_view text);
// The lines of text that describe no connection, each ending in a newline, in their order.
std::string unparsedLines(std::string_view text);
// Whether any letter is remembered.
bool anyConnection(const ConnectionSnapshot& connections);

// The connection store in the file at path; connectionsFilePath() is the user's.
std::unique_ptr<ConnectionStore> makeFileConnectionStore(std::string path);
std::string connectionsFilePath();

} // namespace qvp
