// Ending the process once the window has closed, without waiting for background work and
// without the exit-time clean-up of the libraries loaded into it.
//
// The SMB thread may be inside a library call that only its own timeout ends (a server that
// accepts the connection and never answers), and a GVfs mount may be pending. An ordinary
// exit would run the static destructors and the libraries' atexit handlers and destructors
// (the SMB library's memory pools, its TLS and directory clients) while that thread still
// uses them. Leaving by _exit runs none of them, so nothing is torn down under a thread that
// is still at work; everything the program keeps for longer than a call (the connection
// file, bookmarks) is already on disk when the window closes.
//
// Thread-safety: call from one thread, when nothing else is left to do.
#pragma once

namespace qvp {

// Flushes the standard streams and ends the process with status at once. In builds with the
// leak checker, runs its check first (an ordinary exit would have run it).
[[noreturn]] void endProcess(int status);

} // namespace qvp
