#include "ProcessExit.h"

#include <cstdio>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define QVP_LEAK_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QVP_LEAK_CHECKER 1
#endif
#endif

#ifdef QVP_LEAK_CHECKER
#include <sanitizer/lsan_interface.h>
#endif

namespace qvp {

void endProcess(int status)
{
    // Diagnostics are all the program writes to its streams; they go out if they can.
    (void)std::fflush(nullptr);
#ifdef QVP_LEAK_CHECKER
    // Objects that a thread still at work holds are reachable from its stack, not leaks.
    __lsan_do_leak_check();
#endif
    ::_exit(status);
}

} // namespace qvp
