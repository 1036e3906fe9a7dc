// The SMB client library, loaded when the first share listing needs it rather than with the
// program: it drags some ninety libraries of its own along, which cost a start-up about as
// much time and memory as the whole widget toolkit, and a run that never lists shares never
// needs them.
//
// Thread-safety: smbLibrary() may be called from any thread; the first call loads the library
// once (a function-local static), every later call returns the same table. The functions in
// the table are the library's own and carry its rules (not thread-safe: one SMB thread).
#pragma once

#include <libsmbclient.h>

namespace qvp {

struct SmbApi
{
    decltype(&smbc_new_context) newContext = nullptr;
    decltype(&smbc_free_context) freeContext = nullptr;
    decltype(&smbc_init_context) initContext = nullptr;
    decltype(&smbc_getOptionUserData) getOptionUserData = nullptr;
    decltype(&smbc_setOptionUserData) setOptionUserData = nullptr;
    decltype(&smbc_setFunctionAuthDataWithContext) setFunctionAuthDataWithContext = nullptr;
    decltype(&smbc_setTimeout) setTimeout = nullptr;
    decltype(&smbc_setPort) setPort = nullptr;
    decltype(&smbc_setOptionUseKerberos) setOptionUseKerberos = nullptr;
    decltype(&smbc_setOptionFallbackAfterKerberos) setOptionFallbackAfterKerberos = nullptr;
    decltype(&smbc_setOptionUseCCache) setOptionUseCCache = nullptr;
    decltype(&smbc_getFunctionOpendir) getFunctionOpendir = nullptr;
    decltype(&smbc_getFunctionReaddir) getFunctionReaddir = nullptr;
    decltype(&smbc_getFunctionClosedir) getFunctionClosedir = nullptr;
};

// The library's functions; null when the library or one of them cannot be had (the listing
// then fails like an unreachable server). The library stays loaded until the process ends.
const SmbApi* smbLibrary();

// Whether the library is in the process yet (start-up checks and tests).
bool smbLibraryLoaded();

} // namespace qvp
