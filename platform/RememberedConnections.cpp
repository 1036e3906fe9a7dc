#include "RememberedConnections.h"

#include "AtomicFile.h"

#include <algorithm>

namespace qvp {

namespace {

bool needsEscape(unsigned char c)
{
    return c <= 0x20 || c == 0x7F || c == '%' || c == '\\';
}

std::string escape(std::string_view text)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (needsEscape(c)) {
            out += '%';
            out += Hex[c >> 4];
            out += Hex[c & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::optional<std::string> unescape(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            if (i + 2 >= text.size()) {
                return std::nullopt;
            }
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (needsEscape(c)) {
            return std::nullopt;
        } else {
            out += text[i];
        }
    }
    return out;
}

// "X: \\host\share" with both parts non-empty, else nothing.
std::optional<std::pair<int, RemoteName>> parseLine(std::string_view line)
{
    if (line.size() < 4 || line[0] < 'A' || line[0] > 'Z' || line.substr(1, 2) != ": ") {
        return std::nullopt;
    }
    std::string_view remote = line.substr(3);
    if (remote.substr(0, 2) != "\\\\") {
        return std::nullopt;
    }
    remote.remove_prefix(2);
    const std::size_t slash = remote.find('\\');
    if (slash == 0 || slash == std::string_view::npos || slash + 1 == remote.size()) {
        return std::nullopt;
    }
    std::optional<std::string> host = unescape(remote.substr(0, slash));
    std::optional<std::string> share = unescape(remote.substr(slash + 1));
    if (!host || !share) {
        return std::nullopt;
    }
    return std::make_pair(line[0] - 'A', RemoteName{std::move(*host), std::move(*share)});
}

class FileConnectionStore final : public ConnectionStore
{
public:
    explicit FileConnectionStore(std::string path)
        : m_path(std::move(path))
    {
    }

    std::optional<ConnectionSnapshot> Load() override
    {
        std::optional<std::string> text = readWholeFile(m_path);
        if (!text) {
            return std::nullopt;
        }
        return parseConnections(*text);
    }

    bool Save(const ConnectionSnapshot& connections) override
    {
        // Read again at the moment of writing: lines this program cannot parse stay, and a
        // file that has become unreadable (owned by root after a sudo run) is left alone.
        std::optional<std::string> text = readWholeFile(m_path);
        if (!text) {
            return false;
        }
        return writeFileAtomically(m_path, unparsedLines(*text) + formatConnections(connections), 0600,
                                   ExistingFile::KeepLinkAndMode);
    }

private:
    std::string m_path;
};

} // namespace

std::string formatConnections(const ConnectionSnapshot& connections)
{
    std::string text;
    for (int i = 0; i < DriveLetterCount; ++i) {
        const std::optional<RemoteName>& remote = connections[static_cast<std::size_t>(i)];
        if (!remote || remote->host.empty() || remote->share.empty()) {
            continue;
        }
        text += static_cast<char>('A' + i);
        text += ": \\\\" + escape(remote->host) + "\\" + escape(remote->share) + "\n";
    }
    return text;
}

ConnectionSnapshot parseConnections(std::string_view text)
{
    ConnectionSnapshot connections;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (auto parsed = parseLine(line)) {
            connections[static_cast<std::size_t>(parsed->first)] = std::move(parsed->second);
        }
    }
    return connections;
}

std::string unparsedLines(std::string_view text)
{
    std::string kept;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && !parseLine(line)) {
            kept.append(line);
            kept += '\n';
        }
    }
    return kept;
}

bool anyConnection(const ConnectionSnapshot& connections)
{
    return std::any_of(connections.begin(), connections.end(),
                       [](const std::optional<RemoteName>& remote) { return remote.has_value(); });
}

std::unique_ptr<ConnectionStore> makeFileConnectionStore(std::string path)
{
    return std::make_unique<FileConnectionStore>(std::move(path));
}

std::string connectionsFilePath()
{
    const std::string home = configHome();
    return home.empty() ? std::string() : home + "/qvlink/connections";
}

} // namespace qvp
