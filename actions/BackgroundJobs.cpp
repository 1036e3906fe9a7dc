#include "BackgroundJobs.h"

#include <atomic>
#include <system_error>
#include <thread>

namespace {

std::atomic<int> g_running{0};

} // namespace

void RunInBackground(std::function<void()> job)
{
    // Relaxed: the count is taken before the thread starts, which orders it anyway.
    g_running.fetch_add(1, std::memory_order_relaxed);
    auto run = [job = std::move(job)] {
        job();
        // Release: pairs with the acquire in BackgroundJobsRunning, so a reader that sees the
        // job gone also sees what it did.
        g_running.fetch_sub(1, std::memory_order_release);
    };
    try {
        std::thread(run).detach();
    } catch (const std::system_error&) {
        run();
    }
}

int BackgroundJobsRunning()
{
    return g_running.load(std::memory_order_acquire); // acquire: see RunInBackground
}
