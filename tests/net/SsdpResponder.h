// In-test SSDP peer for the loopback namespace: joins the search group on 127.0.0.1, captures
// every M-SEARCH and answers it by unicast from a socket of its own with a scripted list of
// datagrams, each sent a given time after the one before.
//
// Thread-safety: the script is fixed at construction; the captured search is read through
// accessors that lock. The destructor stops and joins the thread.
#pragma once

#include "LoopbackServer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace qvtest {

// Runs ip(8) with the given arguments inside this test's namespace; its exit status.
inline int runIp(const std::string& args)
{
    const int status = std::system(("ip " + args).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Datagram
{
    std::string bytes;
    int delayMs = 0; // after the M-SEARCH (first) or after the previous datagram
};

// A typical root-device answer.
inline std::string ssdpAnswer(const std::string& location, const std::string& usn,
                              const std::string& searchTarget = "upnp:rootdevice")
{
    return "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nEXT:\r\nLOCATION: " + location +
           "\r\nSERVER: Linux/5.10 UPnP/1.0 TestDevice/1.0\r\nST: " + searchTarget + "\r\nUSN: " + usn + "\r\n\r\n";
}

class SsdpResponder
{
public:
    // Flow control for long scripts: with acknowledged given, a datagram waits until fewer than
    // window datagrams are ahead of it, so none is lost to a full socket buffer.
    explicit SsdpResponder(std::vector<Datagram> script, const std::atomic<int>* acknowledged = nullptr, int window = 0)
        : m_script(std::move(script))
        , m_acknowledged(acknowledged)
        , m_window(window)
    {
        const int one = 1;
        ::setsockopt(m_listen.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_port = htons(1900);
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        ip_mreq join{};
        ::inet_pton(AF_INET, "239.255.255.250", &join.imr_multiaddr);
        ::inet_pton(AF_INET, "127.0.0.1", &join.imr_interface);
        m_ready = m_listen.valid() && m_send.valid() &&
                  ::bind(m_listen.get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0 &&
                  ::setsockopt(m_listen.get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) == 0;
        if (m_ready) {
            m_thread = std::thread([this] { run(); });
        }
    }
    ~SsdpResponder()
    {
        // Relaxed: the join below orders everything else.
        m_stop.store(true, std::memory_order_relaxed);
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    SsdpResponder(const SsdpResponder&) = delete;
    SsdpResponder& operator=(const SsdpResponder&) = delete;

    bool ready() const { return m_ready; }

    // Waits up to waitMs for the first M-SEARCH; its bytes, or empty.
    std::string firstSearch(int waitMs = 2000)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_seen.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return !m_searches.empty(); });
        return m_searches.empty() ? std::string() : m_searches.front();
    }
    int searchCount()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<int>(m_searches.size());
    }
    std::string searchSource()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &m_source.sin_addr, text, sizeof text);
        return std::string(text) + ":" + std::to_string(ntohs(m_source.sin_port));
    }
    int sent() const { return m_sent.load(); } // datagrams of the script sent so far

private:
    bool stopping() const { return m_stop.load(std::memory_order_relaxed); }

    void run()
    {
        char buffer[2048];
        while (!stopping()) {
            if (!waitReadable(m_listen.get(), 20)) {
                continue;
            }
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n =
                ::recvfrom(m_listen.get(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n <= 0 || std::strncmp(buffer, "M-SEARCH", 8) != 0) {
                continue;
            }
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_searches.emplace_back(buffer, static_cast<std::size_t>(n));
                m_source = from;
            }
            m_seen.notify_all();
            answer(from);
        }
    }

    // Each datagram waits out its delay, and with flow control also until the handler has caught
    // up (at most 5 s more).
    void answer(const sockaddr_in& to)
    {
        for (const Datagram& d : m_script) {
            const auto now = std::chrono::steady_clock::now;
            const auto until = now() + std::chrono::milliseconds(d.delayMs);
            const auto limit = until + std::chrono::seconds(5);
            while (
                !stopping() && now() < limit &&
                (now() < until || (m_acknowledged != nullptr && m_sent.load() - m_acknowledged->load() >= m_window))) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            if (stopping()) {
                return;
            }
            ::sendto(m_send.get(), d.bytes.data(), d.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to);
            m_sent.fetch_add(1);
        }
    }

    std::vector<Datagram> m_script;
    const std::atomic<int>* m_acknowledged = nullptr;
    int m_window = 0;
    qvd::UniqueFd m_listen{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    qvd::UniqueFd m_send{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    bool m_ready = false;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_sent{0};
    std::mutex m_mutex;
    std::condition_variable m_seen;
    std::vector<std::string> m_searches;
    sockaddr_in m_source{};
    std::thread m_thread;
};

} // namespace qvtest
