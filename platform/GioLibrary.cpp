// The loader fills the table by the functions' own names.
#define QVP_GIO_LOADER
#include "GioLibrary.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace qvp {

namespace {

// libsecret brings GIO and GObject with it; the symbols are looked up through it.
constexpr const char* LibraryName = "libsecret-1.so.0";

// Written once the table is filled, read by gioLoaded from any thread.
std::atomic<bool> g_loaded{false};

[[noreturn]] void missing(const char* what)
{
    std::fprintf(stderr, "qvlink: cannot load %s: %s\n", what, dlerror());
    std::_Exit(127);
}

template <typename F> void resolve(void* library, const char* name, F& function)
{
    function = reinterpret_cast<F>(dlsym(library, name));
    if (function == nullptr) {
        missing(name);
    }
}

GioApi load()
{
    // RTLD_NOW: a missing symbol shows here, not in the middle of a mount. Never closed: GObject
    // types, once registered, stay for the process.
    void* library = dlopen(LibraryName, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        missing(LibraryName);
    }
    GioApi api;
#define QVP_GIO_RESOLVE(name) resolve(library, #name, api.name);
    QVP_GIO_FUNCTIONS(QVP_GIO_RESOLVE)
#undef QVP_GIO_RESOLVE
    // Release: whoever sees the flag set sees a process with the libraries in it.
    g_loaded.store(true, std::memory_order_release);
    return api;
}

} // namespace

const GioApi& gioApi()
{
    static const GioApi api = load();
    return api;
}

bool gioLoaded()
{
    // Acquire: pairs with the release in load().
    return g_loaded.load(std::memory_order_acquire);
}

} // namespace qvp
