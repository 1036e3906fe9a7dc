#include "GtkBookmarks.h"

#include "AtomicFile.h"

namespace qvp {

namespace {

std::string oneLine(std::string_view text)
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

std::string lineFor(std::string_view uri, std::string_view label)
{
    return oneLine(uri) + " " + oneLine(label);
}

bool hasLine(std::string_view text, std::string_view line)
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
        std::optional<std::string> text = readWholeFile(m_path);
        if (!text) {
            return false;
        }
        const std::string changed = withBookmark(*text, uri, label);
        return changed == *text || writeFileAtomically(m_path, changed, 0644, ExistingFile::KeepLinkAndMode);
    }

    bool Remove(const std::string& uri, const std::string& label) override
    {
        std::optional<std::string> text = readWholeFile(m_path);
        if (!text) {
            return false;
        }
        const std::string changed = withoutBookmark(*text, uri, label);
        return changed == *text || writeFileAtomically(m_path, changed, 0644, ExistingFile::KeepLinkAndMode);
    }

private:
    std::string m_path;
};

} // namespace

std::string bookmarkLabel(char letter, std::string_view share, std::string_view host)
{
    std::string label(1, letter);
    label += ": ";
    label += share;
    label += " on ";
    label += host;
    return oneLine(label);
}

std::string withBookmark(std::string_view text, std::string_view uri, std::string_view label)
{
    const std::string line = lineFor(uri, label);
    if (hasLine(text, line)) {
        return std::string(text);
    }
    std::string out(text);
    if (!out.empty() && out.back() != '\n') {
        out += '\n';
    }
    return out + line + "\n";
}

std::string withoutBookmark(std::string_view text, std::string_view uri, std::string_view label)
{
    const std::string line = lineFor(uri, label);
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

std::unique_ptr<BookmarkStore> makeFileBookmarkStore(std::string path)
{
    return std::make_unique<FileBookmarkStore>(std::move(path));
}

std::string bookmarksFilePath()
{
    const std::string home = configHome();
    return home.empty() ? std::string() : home + "/gtk-3.0/bookmarks";
}

} // namespace qvp
