#include "GtkBookmarks.h"

#include "AtomicFile.h"

namespace qvp {

namespace {

std::string OneLine(std::string_view text)
{
    std::string out(text);
    for (char& ch : out) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) {
            ch = ' ';
        }
    }
    return out;
}

std::string LineFor(std::string_view uri, std::string_view label)
{
    return OneLine(uri) + " " + OneLine(label);
}

bool HasLine(std::string_view text, std::string_view line)
{
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (text.substr(0, end) == line) {
            return true;
        }
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return false;
}

class FileBookmarkStore final : public BookmarkStore
{
public:
    explicit FileBookmarkStore(std::string path)
        : m_path(std::move(path))
    {
    }

    bool Add(const std::string& uri, const std::string& label) override
    {
        std::optional<std::string> text = ReadWholeFile(m_path);
        if (!text) {
            return false;
        }
        const std::string changed = WithBookmark(*text, uri, label);
        return changed == *text || WriteFileAtomically(m_path, changed, 0644, ExistingFile::KeepLinkAndMode);
    }

    bool Remove(const std::string& uri, const std::string& label) override
    {
        std::optional<std::string> text = ReadWholeFile(m_path);
        if (!text) {
            return false;
        }
        const std::string changed = WithoutBookmark(*text, uri, label);
        return changed == *text || WriteFileAtomically(m_path, changed, 0644, ExistingFile::KeepLinkAndMode);
    }

private:
    std::string m_path;
};

} // namespace

std::string BookmarkLabel(char letter, std::string_view share, std::string_view host)
{
    std::string label(1, letter);
    label += ": ";
    label += share;
    label += " on ";
    label += host;
    return OneLine(label);
}

std::string WithBookmark(std::string_view text, std::string_view uri, std::string_view label)
{
    const std::string line = LineFor(uri, label);
    if (HasLine(text, line)) {
        return std::string(text);
    }
    std::string out(text);
    if (!out.empty() && out.back() != '\n') {
        out += '\n';
    }
    return out + line + "\n";
}

std::string WithoutBookmark(std::string_view text, std::string_view uri, std::string_view label)
{
    const std::string line = LineFor(uri, label);
    std::string out;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view current = text.substr(0, end);
        const std::size_t taken = end == std::string_view::npos ? text.size() : end + 1;
        if (current != line) {
            out.append(text.substr(0, taken));
        }
        text.remove_prefix(taken);
    }
    return out;
}

std::unique_ptr<BookmarkStore> MakeFileBookmarkStore(std::string path)
{
    return std::make_unique<FileBookmarkStore>(std::move(path));
}

std::string BookmarksFilePath()
{
    const std::string home = ConfigHome();
    return home.empty() ? std::string() : home + "/gtk-3.0/bookmarks";
}

} // namespace qvp
