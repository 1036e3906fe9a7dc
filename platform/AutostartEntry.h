// The entry in the user's autostart folder that mounts the remembered drive letters again at
// the next login: the program started without a window, "qvlink --restore-mappings". It is
// there while at least one letter is remembered and names the program that wrote it by its
// absolute path.
//
// Thread-safety: reentrant; the keeping store is used from one thread, like the store it wraps.
#pragma once

#include "RememberedConnections.h"

#include <memory>
#include <string>
#include <string_view>

namespace qvp {

inline constexpr char RestoreEntryName[] = "qvlink-restore-mappings.desktop";
inline constexpr char RestoreOption[] = "--restore-mappings";

// $XDG_CONFIG_HOME/autostart/qvlink-restore-mappings.desktop (else under ~/.config); empty when
// neither is known.
std::string restoreEntryPath();

// The absolute path of the running program (/proc/self/exe); empty when it cannot be read.
std::string currentProgramPath();

// The entry's text for the program at programPath; nothing when the path cannot be written in
// a desktop entry and read back the same (bytes that are not UTF-8, control characters).
std::optional<std::string> restoreEntryText(std::string_view programPath);

// Writes (mode 0644) or removes the entry at path; true when it is then as asked. Removing an
// entry that is not there succeeds.
[[nodiscard]] bool writeRestoreEntry(const std::string& path, std::string_view programPath);
[[nodiscard]] bool removeRestoreEntry(const std::string& path);

// A connection store that keeps the entry in step with every successful save: written (anew,
// with programPath) while a letter is remembered, removed when none is. A save whose entry
// cannot be written fails and changes nothing.
std::unique_ptr<ConnectionStore> makeAutostartKeepingStore(std::unique_ptr<ConnectionStore> inner,
                                                           std::string entryPath, std::string programPath);

} // namespace qvp
