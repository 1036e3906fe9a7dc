// An SSDP peer for the loopback namespace: joins the search group on 127.0.0.1, captures every
// M-SEARCH and answers it by unicast, from a socket and port of its own, with a script of
// datagrams, each sent a given time after the one before.
//
// Thread-safety: the script is fixed at construction; captured searches are read under the
// mutex. The destructor stops and joins the thread.
#pragma once

#include "LoopbackServer.h"

#include <cstdlib>
#include <sys/wait.h>

namespace qvtest {

// Runs ip(8) with the given arguments inside this test's namespace; true on success.
inline bool runIp(const std::string& args)
{
    const int status = std::system(("ip " + args).c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Datagram
{
    std::string bytes;
    int delayMs = 0; // after the M-SEARCH (first) or after the previous datagram
};

inline Datagram answer(const std::string& location, const std::string& usn, int delayMs = 0)
{
    return {"HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nEXT:\r\nLOCATION: " + location +
                "\r\nSERVER: Linux/5.10 UPnP/1.0 TestDevice/1.0\r\nST: upnp:rootdevice\r\nUSN: " + usn + "\r\n\r\n",
            delayMs};
}

class SsdpResponder
{
public:
    // With acknowledged given, a datagram also waits until fewer than window datagrams are
    // ahead of the handler, so that none is lost to a full socket buffer.
    // With sendFrom given, the answers leave from that loopback address.
    explicit SsdpResponder(std::vector<Datagram> script, const std::atomic<int>* acknowledged = nullptr, int window = 0,
                           const char* sendFrom = nullptr)
    {
        if (sendFrom != nullptr) {
            sockaddr_in source{AF_INET, 0, {}, {}};
            ::inet_pton(AF_INET, sendFrom, &source.sin_addr);
            ::bind(m_send.get(), reinterpret_cast<const sockaddr*>(&source), sizeof source);
        }
        const int one = 1;
        sockaddr_in any{AF_INET, htons(1900), {htonl(INADDR_ANY)}, {}};
        ip_mreq join{};
        ::inet_pton(AF_INET, "239.255.255.250", &join.imr_multiaddr);
        ::inet_pton(AF_INET, "127.0.0.1", &join.imr_interface);
        m_ready = ::setsockopt(m_listen.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0 &&
                  ::bind(m_listen.get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0 &&
                  ::setsockopt(m_listen.get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) == 0;
        m_thread = std::thread([this, script = std::move(script), acknowledged, window] {
            // Relaxed: a stale stop flag costs one more 20 ms slice; the join orders the rest.
            while (m_ready && !m_stop.load(std::memory_order_relaxed)) {
                char buffer[2048];
                sockaddr_in from{};
                socklen_t size = sizeof from;
                const ssize_t n = waitReadable(m_listen.get(), 20)
                                      ? ::recvfrom(m_listen.get(), buffer, sizeof buffer, 0,
                                                   reinterpret_cast<sockaddr*>(&from), &size)
                                      : 0;
                if (n >= 8 && std::string_view(buffer, 8) == "M-SEARCH") {
                    {
                        const std::lock_guard<std::mutex> lock(m_mutex);
                        m_searches.emplace_back(buffer, static_cast<std::size_t>(n));
                        m_source = from;
                    }
                    send(script, from, acknowledged, window);
                }
            }
        });
    }
    ~SsdpResponder()
    {
        // Relaxed: the join below orders everything else.
        m_stop.store(true, std::memory_order_relaxed);
        m_thread.join();
    }
    SsdpResponder(const SsdpResponder&) = delete;
    SsdpResponder& operator=(const SsdpResponder&) = delete;

    bool ready() const { return m_ready; }
    std::vector<std::string> searches()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_searches;
    }
    // Where the last search came from, as address:port.
    std::string searchSource()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &m_source.sin_addr, text, sizeof text);
        return std::string(text) + ":" + std::to_string(ntohs(m_source.sin_port));
    }
    // Datagrams of the script sent so far. Relaxed: a plain counter read after the search.
    int sent() const { return m_sent.load(std::memory_order_relaxed); }

private:
    // Each datagram waits out its delay, and with flow control also (at most 5 s more) until
    // the handler has caught up.
    void send(const std::vector<Datagram>& script, const sockaddr_in& to, const std::atomic<int>* acknowledged,
              int window)
    {
        using Clock = std::chrono::steady_clock;
        for (const Datagram& d : script) {
            const auto until = Clock::now() + std::chrono::milliseconds(d.delayMs);
            // Relaxed loads: a stale value only delays this datagram by one more slice.
            while (!m_stop.load(std::memory_order_relaxed) && Clock::now() < until + std::chrono::seconds(5) &&
                   (Clock::now() < until ||
                    (acknowledged != nullptr && sent() - acknowledged->load(std::memory_order_relaxed) >= window))) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            ::sendto(m_send.get(), d.bytes.data(), d.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to);
            m_sent.fetch_add(1, std::memory_order_relaxed);
        }
    }

    qvd::UniqueFd m_listen{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    qvd::UniqueFd m_send{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    bool m_ready = false;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_sent{0};
    std::mutex m_mutex;
    std::vector<std::string> m_searches;
    sockaddr_in m_source{};
    std::thread m_thread;
};

} // namespace qvtest
