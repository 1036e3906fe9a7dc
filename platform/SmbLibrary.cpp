#include "SmbLibrary.h"

#include <dlfcn.h>

namespace qvp {
namespace {

// The run-time name of the library the package depends on (Debian's libsmbclient).
constexpr char LibraryName[] = "libsmbclient.so.0";

template <typename Function> bool resolve(void* library, const char* name, Function& out)
{
    // dlsym hands back an object pointer; POSIX guarantees it converts to the function's.
    out = reinterpret_cast<Function>(dlsym(library, name));
    return out != nullptr;
}

struct Loaded
{
    SmbApi api;
    bool ok = false;
};

Loaded load()
{
    Loaded loaded;
    SmbApi& api = loaded.api;
    // RTLD_NOW: a missing symbol shows here, not as a crash in the middle of a listing.
    // RTLD_LOCAL: its symbols stay out of the way of everything loaded later. Never closed:
    // the library keeps state (its configuration, talloc pools) for the process.
    void* library = dlopen(LibraryName, RTLD_NOW | RTLD_LOCAL);
    loaded.ok = library != nullptr && resolve(library, "smbc_new_context", api.newContext) &&
                resolve(library, "smbc_free_context", api.freeContext) &&
                resolve(library, "smbc_init_context", api.initContext) &&
                resolve(library, "smbc_getOptionUserData", api.getOptionUserData) &&
                resolve(library, "smbc_setOptionUserData", api.setOptionUserData) &&
                resolve(library, "smbc_setFunctionAuthDataWithContext", api.setFunctionAuthDataWithContext) &&
                resolve(library, "smbc_setTimeout", api.setTimeout) && resolve(library, "smbc_setPort", api.setPort) &&
                resolve(library, "smbc_setOptionUseKerberos", api.setOptionUseKerberos) &&
                resolve(library, "smbc_setOptionFallbackAfterKerberos", api.setOptionFallbackAfterKerberos) &&
                resolve(library, "smbc_setOptionUseCCache", api.setOptionUseCCache) &&
                resolve(library, "smbc_getFunctionOpendir", api.getFunctionOpendir) &&
                resolve(library, "smbc_getFunctionReaddir", api.getFunctionReaddir) &&
                resolve(library, "smbc_getFunctionClosedir", api.getFunctionClosedir);
    return loaded;
}

} // namespace

const SmbApi* smbLibrary()
{
    // A function-local static: loaded once, safely from any thread.
    static const Loaded loaded = load();
    return loaded.ok ? &loaded.api : nullptr;
}

bool smbLibraryLoaded()
{
    // RTLD_NOLOAD only looks: it never loads, and a handle it gives back is a reference that
    // has to be returned.
    void* handle = dlopen(LibraryName, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    dlclose(handle);
    return true;
}

} // namespace qvp
