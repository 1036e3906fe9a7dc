#include "StartupTrace.h"

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <time.h>

namespace {

bool TraceWanted()
{
    // Read once: the environment does not change the decision during a run. A function-local
    // static is initialised thread-safely.
    static const bool wanted = [] {
        // First asked on the UI thread during start-up, before the program starts a thread.
        // NOLINTNEXTLINE(concurrency-mt-unsafe)
        const char* value = std::getenv("QVLINK_TRACE_STARTUP");
        return value != nullptr && *value != '\0';
    }();
    return wanted;
}

} // namespace

void StartupCheckpoint(const char* label)
{
    if (!TraceWanted()) {
        return;
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::fprintf(stderr, "qvlink-startup %lld %ld %s\n",
                 static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec, usage.ru_maxrss, label);
}
