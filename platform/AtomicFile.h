// Whole-file reads and atomic replacement (temporary file beside the target, then rename), so
// that a reader sees the old contents or the new ones and never a half-written file; a user's
// own file (bookmarks, connections) can be replaced keeping its mode and, when it is a symbolic
// link, the link. Also the user's configuration folder.
//
// Thread-safety: no shared state; two writers of one path race only on which rename is last.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace qvp {

// The file's bytes; an empty text when it does not exist; nullopt when it exists but cannot
// be read (a writer must then leave it alone rather than replace what it could not see), or
// when it is longer than maxBytes (a file found in a shared folder may be anything).
std::optional<std::string> readWholeFile(const std::string& path, std::size_t maxBytes = SIZE_MAX);

// What becomes of a file that is there already. Replace: the new file takes its place with the
// given mode (a symbolic link of that name is replaced, never followed: the name may come from
// a device). KeepLinkAndMode: for the user's own files (bookmarks, remembered connections),
// which may be links into a synchronised folder or kept private on purpose; a link is followed
// to its final target, which is replaced, and an existing target keeps its mode.
enum class ExistingFile
{
    Replace,
    KeepLinkAndMode,
};

// Replaces path's contents with data; creates missing parent folders with mode 0700. The
// temporary file has a short hidden name of its own, so that a target name as long as the file
// system allows still works and a file manager showing the folder never lists it. mode is that
// of a new file.
[[nodiscard]] bool writeFileAtomically(const std::string& path, std::string_view data, mode_t mode,
                                       ExistingFile existing = ExistingFile::Replace);

// $XDG_CONFIG_HOME, or $HOME/.config when that is unset or not absolute; empty when neither is known.
std::string configHome();

} // namespace qvp
