// The file manager's bookmarks (the GTK bookmarks file, $XDG_CONFIG_HOME/gtk-3.0/bookmarks):
// one "URI label" per line. Only lines this program added are ever removed; every other line
// is kept byte for byte.
//
// Thread-safety: BookmarkStore objects are used from the UI thread only.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace qvp {

class BookmarkStore
{
public:
    virtual ~BookmarkStore() = default;
    // Adds "uri label" unless that exact line is there already.
    [[nodiscard]] virtual bool Add(const std::string& uri, const std::string& label) = 0;
    // Removes every line that is exactly "uri label".
    [[nodiscard]] virtual bool Remove(const std::string& uri, const std::string& label) = 0;
};

// The label of a mapped share, "E: share on host", with control characters turned into spaces
// so that it stays on its line.
std::string bookmarkLabel(char letter, std::string_view share, std::string_view host);

// The bookmarks text with the line added or removed; the other lines unchanged.
std::string withBookmark(std::string_view text, std::string_view uri, std::string_view label);
std::string withoutBookmark(std::string_view text, std::string_view uri, std::string_view label);

std::unique_ptr<BookmarkStore> makeFileBookmarkStore(std::string path);
std::string bookmarksFilePath();

} // namespace qvp
