// A reachability probe that answers as scripted after a delay, and remembers the addresses it
// was asked about.
//
// Thread-safety: the script is set on the test's thread while no check runs; Probe runs on
// the check threads and reports through atomics and a mutex-guarded list.
#pragma once

#include "Reachability.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace fake {

class FakeProbe final : public qvp::ReachabilityProbe
{
public:
    bool Probe(const std::string& pageAddress, int timeoutMs) override
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_asked.push_back(pageAddress);
            m_timeouts.push_back(timeoutMs);
        }
        // Relaxed: plain settings; the test sets them before the check starts.
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs.load(std::memory_order_relaxed)));
        return answer.load(std::memory_order_relaxed); // relaxed: see above
    }

    std::vector<std::string> Asked()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_asked;
    }
    std::vector<int> Timeouts()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_timeouts;
    }
    void Clear()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_asked.clear();
        m_timeouts.clear();
    }

    std::atomic<bool> answer{true};
    std::atomic<int> delayMs{0};

private:
    std::mutex m_mutex;
    std::vector<std::string> m_asked; // guarded by m_mutex
    std::vector<int> m_timeouts;      // guarded by m_mutex
};

} // namespace fake
