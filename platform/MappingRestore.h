// Mounting the remembered drive letters again at login ("qvlink --restore-mappings", started
// by the autostart entry): no window, no display, no single-instance lock, no search. Every
// remembered folder is mounted through GVfs at once, in parallel; a password comes only from
// the keyring, nobody is asked. A server that is away stays remembered and keeps its bookmark;
// nothing is forgotten. One line per letter goes to the log (standard error).
//
// Thread-safety: runs on the calling thread, on the default GLib main context, which nothing
// else may iterate meanwhile.
#pragma once

#include "GtkBookmarks.h"
#include "PasswordKeyring.h"
#include "RememberedConnections.h"
#include "ShareMount.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace qvp {

// The exit status of a restore.
enum RestoreStatus : int
{
    RestoreAllMounted = 0, // also when nothing is remembered
    RestoreSomeFailed = 1,
    RestoreUnreadable = 2, // the connection file exists but cannot be read
};

// A server that does not answer is given up after ServerTimeoutMs; the whole restore ends
// after OverallTimeoutMs whatever the network does (a margin below 30 s for start and exit).
inline constexpr int ServerTimeoutMs = 10000;
inline constexpr int OverallTimeoutMs = 27000;
// The keyring's wait per call (makeSecretServiceKeyring); no lookup starts later than this
// before the overall bound.
inline constexpr int KeyringTimeoutMs = 3000;

// text with every control character (C0, DEL, C1) shown as '?', so that a device's name
// cannot move the cursor or add a line in a terminal or a log.
std::string logSafeText(std::string_view text);

// Mounts every remembered letter's folder with mounter, makes sure each has its bookmark,
// writes "E: \\host\share mounted" or "... not mounted: <reason>" per letter to log.
RestoreStatus restoreMappings(ConnectionStore& connections, BookmarkStore& bookmarks, ShareMounter& mounter,
                              std::FILE* log, int overallTimeoutMs = OverallTimeoutMs);

// The restore with the user's own files, GVfs and the keyring (may be null: no passwords);
// also writes the autostart entry when it is missing while a letter is remembered.
RestoreStatus runMappingRestore(PasswordKeyring* keyring, std::FILE* log);

} // namespace qvp
