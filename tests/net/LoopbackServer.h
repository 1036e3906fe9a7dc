// An HTTP peer on loopback for the network tests, and the isolation and leak checks they share.
// Each client gets the script routed to the path it asks for ("*" for any other path, else a
// 404): byte pieces with pauses, then the ending the script asks for.
//
// Thread-safety: the routes are fixed at construction; the request counts are guarded by the
// mutex; the last connection's results are read after join(). Every wait is bounded.
#pragma once

#include "UniqueFd.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace qvtest {

// Skips unless lo is the only interface (the case cannot reach a real network) and fails when
// a case leaves a descriptor open.
class NetTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const std::unique_ptr<struct if_nameindex[], void (*)(struct if_nameindex*)> names(::if_nameindex(),
                                                                                           ::if_freenameindex);
        if (!names || names[0].if_index == 0 || std::strcmp(names[0].if_name, "lo") != 0 || names[1].if_index != 0) {
            GTEST_SKIP() << "not in a network namespace of its own with only lo";
        }
        m_fds = openFds();
    }
    void TearDown() override
    {
        if (!IsSkipped()) {
            EXPECT_EQ(openFds(), m_fds) << "a descriptor leaked";
        }
    }

private:
    static long openFds() { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }
    long m_fds = 0;
};

inline bool waitReadable(int fd, int ms)
{
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, ms) == 1;
}

inline bool sendAll(int fd, std::string_view bytes)
{
    for (ssize_t n = 0; !bytes.empty(); bytes.remove_prefix(static_cast<std::size_t>(n))) {
        if ((n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)) <= 0) {
            return false;
        }
    }
    return true;
}

struct Piece
{
    std::string bytes;
    int pauseBeforeMs = 0;
};

enum class Ending
{
    Close,              // orderly close right after the last piece
    Reset,              // abortive close (RST) after the last piece
    WaitForClientClose, // silent until the client closes, at most HoldMs
    Endless,            // filler until the client goes away, at most EndlessCap bytes
};

struct Script
{
    std::vector<Piece> pieces;
    Ending ending = Ending::Close;
    std::string filler = std::string(4096, 'x');
};

class LoopbackServer
{
public:
    static constexpr int HoldMs = 2000;
    static constexpr std::size_t EndlessCap = 16u << 20;

    explicit LoopbackServer(std::map<std::string, Script> routes, int clients = 1, int family = AF_INET)
        : m_family(family)
        , m_routes(std::move(routes))
    {
        sockaddr_in6 v6{AF_INET6, 0, 0, in6addr_loopback, 0};
        sockaddr_in v4{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        auto* address = family == AF_INET6 ? reinterpret_cast<sockaddr*>(&v6) : reinterpret_cast<sockaddr*>(&v4);
        socklen_t length = family == AF_INET6 ? sizeof v6 : sizeof v4;
        if (m_listener.valid() && ::bind(m_listener.get(), address, length) == 0 &&
            ::listen(m_listener.get(), 64) == 0 && ::getsockname(m_listener.get(), address, &length) == 0) {
            m_port = ntohs(family == AF_INET6 ? v6.sin6_port : v4.sin_port);
            m_thread = std::thread([this, clients] {
                for (int served = 0; served < clients && waitOrStop(m_listener.get(), 10000); ++served) {
                    qvd::UniqueFd client(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
                    serve(client.get());
                }
                m_listener.reset();
            });
        }
    }
    ~LoopbackServer()
    {
        // Relaxed: the join below orders everything else.
        m_stop.store(true, std::memory_order_relaxed);
        join();
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t port() const { return m_port; }
    std::string url(const std::string& path = "/desc.xml") const
    {
        return std::string("http://") + (m_family == AF_INET6 ? "[::1]" : "127.0.0.1") + ":" + std::to_string(m_port) +
               path;
    }
    // Requests per path; the empty path counts them all.
    int requests(const std::string& path = "")
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<int>(
            std::count_if(m_paths.begin(), m_paths.end(), [&](const auto& p) { return path.empty() || p == path; }));
    }
    void join()
    {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    // Of the last connection, valid after join().
    const std::string& request() const { return m_request; }
    bool clientClosedFirst() const { return m_clientClosedFirst; }

private:
    // As waitReadable, but gives up once the server is stopping.
    bool waitOrStop(int fd, int ms) const
    {
        // Relaxed: a stale read only costs one more 20 ms slice.
        for (int waited = 0; waited < ms && !m_stop.load(std::memory_order_relaxed); waited += 20) {
            if (waitReadable(fd, 20)) {
                return true;
            }
        }
        return false;
    }

    void serve(int fd)
    {
        const timeval sendWait{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendWait, sizeof sendWait);
        char buffer[1024];
        m_request.clear();
        for (ssize_t n = 1; n > 0 && m_request.find("\r\n\r\n") == std::string::npos && waitOrStop(fd, 5000);) {
            n = ::recv(fd, buffer, sizeof buffer, 0);
            m_request.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        }
        const std::size_t start = m_request.find(' ') + 1;
        const std::string path = m_request.substr(start, m_request.find(' ', start) - start);
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_paths.push_back(path);
        }
        const auto it = m_routes.count(path) != 0 ? m_routes.find(path) : m_routes.find("*");
        const Script script = it != m_routes.end() ? it->second : Script{{{"HTTP/1.1 404 Not Found\r\n\r\n"}}};
        for (const Piece& piece : script.pieces) {
            std::this_thread::sleep_for(std::chrono::milliseconds(piece.pauseBeforeMs));
            if (!sendAll(fd, piece.bytes)) {
                return;
            }
        }
        char byte = 0;
        std::size_t sent = 0;
        const linger abortive{1, 0};
        if (script.ending == Ending::Reset) {
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        } else if (script.ending == Ending::WaitForClientClose) {
            m_clientClosedFirst = waitOrStop(fd, HoldMs) && ::recv(fd, &byte, 1, 0) == 0;
        } else if (script.ending == Ending::Endless) {
            for (; sent < EndlessCap && sendAll(fd, script.filler); sent += script.filler.size()) {
            }
            m_clientClosedFirst = sent < EndlessCap;
        }
    }

    int m_family;
    qvd::UniqueFd m_listener{::socket(m_family, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    const std::map<std::string, Script> m_routes;
    std::mutex m_mutex;
    std::vector<std::string> m_paths;
    std::string m_request;
    bool m_clientClosedFirst = false;
    std::thread m_thread;
};

} // namespace qvtest
