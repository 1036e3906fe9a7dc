// In-test SSDP peer for the loopback namespace: joins the search group on 127.0.0.1, captures
// every M-SEARCH and answers it by unicast from a socket of its own with a scripted list of
// datagrams, each sent a given time after the one before.
//
// Thread-safety: the script is fixed at construction; the captured search is read through
// accessors that lock. The destructor stops and joins the thread.
#pragma once

#include "UniqueFd.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace qvtest {

// True when the only network interface is loopback: the test runs in a throwaway namespace and
// cannot reach a real network.
inline bool onlyLoopback()
{
    struct if_nameindex* names = ::if_nameindex();
    if (names == nullptr) {
        return false;
    }
    bool onlyLo = true;
    int seen = 0;
    for (const struct if_nameindex* n = names; n->if_index != 0; ++n) {
        ++seen;
        onlyLo = onlyLo && std::strcmp(n->if_name, "lo") == 0;
    }
    ::if_freenameindex(names);
    return onlyLo && seen == 1;
}

// Open descriptors of this process.
inline int openFdCount()
{
    std::error_code failed;
    int n = 0;
    for (std::filesystem::directory_iterator it("/proc/self/fd", failed), end; !failed && it != end;
         it.increment(failed)) {
        ++n;
    }
    return failed ? -1 : n;
}

// Runs ip(8) with the given arguments inside this test's namespace; its exit status.
inline int runIp(std::vector<std::string> args)
{
    args.insert(args.begin(), "ip");
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "ip", nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
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
    // window datagrams are ahead of it (bounded by a few seconds), so none is lost to a full
    // socket buffer.
    explicit SsdpResponder(std::vector<Datagram> script, const std::atomic<int>* acknowledged = nullptr, int window = 0)
        : m_script(std::move(script))
        , m_acknowledged(acknowledged)
        , m_window(window)
    {
        m_listen = qvd::UniqueFd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        m_send = qvd::UniqueFd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
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
    sockaddr_in searchSource()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_source;
    }
    // Datagrams of the script sent so far.
    int sent() const { return m_sent.load(); }

private:
    bool stopping() const { return m_stop.load(std::memory_order_relaxed); }

    void run()
    {
        char buffer[2048];
        while (!stopping()) {
            pollfd entry{m_listen.get(), POLLIN, 0};
            if (::poll(&entry, 1, 20) <= 0) {
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

    void answer(const sockaddr_in& to)
    {
        for (const Datagram& d : m_script) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(d.delayMs);
            while (!stopping() && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            waitForGate();
            if (stopping()) {
                return;
            }
            ::sendto(m_send.get(), d.bytes.data(), d.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to);
            m_sent.fetch_add(1);
        }
    }

    void waitForGate()
    {
        if (m_acknowledged == nullptr) {
            return;
        }
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!stopping() && m_sent.load() - m_acknowledged->load() >= m_window &&
               std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    std::vector<Datagram> m_script;
    const std::atomic<int>* m_acknowledged = nullptr;
    int m_window = 0;
    qvd::UniqueFd m_listen;
    qvd::UniqueFd m_send;
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
