// Writing the desktop's own shortcut form: a freedesktop desktop entry of type Link with its
// values escaped, the file name it gets, the folders it needs, the mark that makes a desktop
// trust it, and the user's desktop folder.
//
// Thread-safety: reentrant. Two writers of one file name leave one whole file or the other.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qvp {

// A string value as the Desktop Entry format stores it: "\" "\n" "\t" "\r" and leading
// blanks escaped, every other control character and every byte that is not part of valid
// UTF-8 replaced by U+FFFD, so that no text adds a line or a key.
std::string escapeDesktopValue(std::string_view value);

// "<name> (<address>).desktop", or nothing when that cannot be a file name in one folder: a
// "/", a NUL or other control character, "." or "..", longer than nameMax bytes.
std::optional<std::string> shortcutFileName(std::string_view name, std::string_view address, long nameMax = 255);

// The text of the shortcut: Type=Link, Name=, URL=smb://<address>/ and, when iconName is not
// empty, Icon=.
std::string shortcutEntryText(std::string_view shownName, std::string_view address, std::string_view iconName);

enum class ShortcutResult
{
    Written,
    RefusedName,
    NoFolder,
    WriteFailed,
};

// Writes the shortcut for the device into folder (which must exist); the file is mode 0755
// and replaces one of the same name.
ShortcutResult writeDesktopShortcut(const std::string& folder, std::string_view name, std::string_view address,
                                    std::string_view iconName);

// Creates path and its missing parents (mode 0700 for new folders); true when it is a folder.
bool makeFolders(const std::string& path);

// Marks a file as trusted for desktops that guard launchers (GIO's metadata::trusted); only
// with a session bus, since GIO would otherwise try to start one.
void markTrusted(const std::string& path);

// The user's desktop folder: `xdg-user-dir DESKTOP`, else $HOME/Desktop; empty when neither
// names an existing folder.
std::string desktopFolder();

} // namespace qvp
