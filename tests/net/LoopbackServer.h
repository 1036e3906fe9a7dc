// An HTTP peer on loopback for the network tests, and the isolation and leak checks they share.
// The server plays a script of byte pieces with pauses to each client and ends the way the
// script asks: either one script to one client, or a script per request path to any number of
// clients, one at a time, as the worker fetches them.
//
// Thread-safety: the serving thread owns the sockets; routes and counters are guarded by the
// mutex, and the last connection's results are read after join(). Every wait is bounded, so a
// client that misbehaves makes a test fail, never hang.
#pragma once

#include "UniqueFd.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <mutex>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <utility>
#include <vector>

namespace qvtest {

// True when lo is the only interface: the test runs in a throwaway namespace of its own and
// cannot reach a real network.
inline bool onlyLoopback()
{
    struct if_nameindex* names = ::if_nameindex();
    if (names == nullptr) {
        return false;
    }
    int seen = 0;
    bool onlyLo = true;
    for (const struct if_nameindex* n = names; n->if_index != 0; ++n, ++seen) {
        onlyLo = onlyLo && std::strcmp(n->if_name, "lo") == 0;
    }
    ::if_freenameindex(names);
    return onlyLo && seen == 1;
}

inline int openFdCount()
{
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

inline bool waitReadable(int fd, int ms)
{
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, ms) == 1;
}

inline bool sendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The request head up to its blank line, bounded in size and in time.
inline std::string readRequest(int fd)
{
    std::string request;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384 && waitReadable(fd, 5000)) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        request.append(buffer, static_cast<std::size_t>(n));
    }
    return request;
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
    WaitForClientClose, // stay silent until the client closes, at most holdMs
    Endless,            // send filler until the client goes away (at most 16 MiB)
};

struct Script
{
    std::vector<Piece> pieces;
    Ending ending = Ending::Close;
    std::string filler = std::string(4096, 'x');
    int holdMs = 5000;
    int acceptWaitMs = 5000;
};

inline Script httpOk(const std::string& body)
{
    return {{{"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
              "\r\nConnection: close\r\n\r\n" + body}}};
}

class LoopbackServer
{
public:
    // One client gets the script, whatever it asks for.
    explicit LoopbackServer(Script script, int family = AF_INET)
        : m_family(family)
        , m_fallback(std::move(script))
        , m_maxConnections(1)
    {
        start(1);
    }
    // Any number of clients get the script routed to the path they ask for, or a 404.
    LoopbackServer()
        : m_fallback{{{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"}}}
    {
        m_fallback.acceptWaitMs = 60000;
        start(64);
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
    void route(const std::string& path, Script script)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_routes[path] = std::move(script);
    }
    void serveDevice(const std::string& path, const std::string& deviceType, const std::string& friendlyName,
                     const std::string& manufacturer = "Halvren Storage Corporation")
    {
        route(path, httpOk("<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\r\n<device>"
                           "\r\n<deviceType>" +
                           deviceType + "</deviceType>\r\n<friendlyName>" + friendlyName +
                           "</friendlyName>\r\n<manufacturer>" + manufacturer +
                           "</manufacturer>\r\n<modelNumber>QV-2</modelNumber>\r\n<UDN>uuid:0000</UDN>\r\n"
                           "</device>\r\n</root>\r\n"));
    }
    // Requests per path; the empty path counts them all.
    int requests(const std::string& path = "")
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        int n = 0;
        for (const auto& [p, count] : m_requests) {
            n += path.empty() || p == path ? count : 0;
        }
        return n;
    }

    void join()
    {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    // Of the last connection, valid after join().
    const std::string& request() const { return m_request; }
    bool accepted() const { return m_accepted; }
    bool clientClosedFirst() const { return m_clientClosedFirst; }

private:
    void start(int backlog)
    {
        m_listener.reset(::socket(m_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in6 v6{};
        sockaddr_in v4{};
        v6.sin6_family = AF_INET6;
        v6.sin6_addr = in6addr_loopback;
        v4.sin_family = AF_INET;
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        auto* address = m_family == AF_INET6 ? reinterpret_cast<sockaddr*>(&v6) : reinterpret_cast<sockaddr*>(&v4);
        socklen_t length = m_family == AF_INET6 ? sizeof v6 : sizeof v4;
        if (m_listener.valid() && ::bind(m_listener.get(), address, length) == 0 &&
            ::listen(m_listener.get(), backlog) == 0 && ::getsockname(m_listener.get(), address, &length) == 0) {
            m_port = ntohs(m_family == AF_INET6 ? v6.sin6_port : v4.sin_port);
            m_thread = std::thread([this] { run(); });
        }
    }

    // As waitReadable, but gives up once the server is stopping.
    bool waitOrStop(int fd, int ms) const
    {
        // Relaxed: a stale read only costs one more 20 ms slice.
        for (int waited = 0; waited < ms && !m_stop.load(std::memory_order_relaxed); waited += 20) {
            if (waitReadable(fd, std::min(ms, 20))) {
                return true;
            }
        }
        return false;
    }

    void run()
    {
        for (int served = 0; served < m_maxConnections && waitOrStop(m_listener.get(), m_fallback.acceptWaitMs);
             ++served) {
            qvd::UniqueFd client(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (client.valid()) {
                serve(client);
            }
        }
        m_listener.reset();
    }

    void serve(qvd::UniqueFd& client)
    {
        m_accepted = true;
        const timeval sendWait{5, 0};
        ::setsockopt(client.get(), SOL_SOCKET, SO_SNDTIMEO, &sendWait, sizeof sendWait);
        m_request = readRequest(client.get());
        const std::size_t pathStart = m_request.find(' ') + 1;
        const std::string path = m_request.substr(pathStart, m_request.find(' ', pathStart) - pathStart);
        Script script = m_fallback;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            ++m_requests[path];
            const auto it = m_routes.find(path);
            script = it != m_routes.end() ? it->second : script;
        }
        for (const Piece& piece : script.pieces) {
            std::this_thread::sleep_for(std::chrono::milliseconds(piece.pauseBeforeMs));
            if (!sendAll(client.get(), piece.bytes)) {
                return;
            }
        }
        char byte = 0;
        std::size_t sent = 0;
        const linger abortive{1, 0};
        switch (script.ending) {
        case Ending::Close:
            break;
        case Ending::Reset:
            ::setsockopt(client.get(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
            break;
        case Ending::WaitForClientClose:
            m_clientClosedFirst = waitOrStop(client.get(), script.holdMs) && ::recv(client.get(), &byte, 1, 0) == 0;
            break;
        case Ending::Endless:
            while (sent < 16u * 1024 * 1024 && sendAll(client.get(), script.filler)) {
                sent += script.filler.size();
            }
            m_clientClosedFirst = sent < 16u * 1024 * 1024;
            break;
        }
    }

    int m_family = AF_INET;
    Script m_fallback;
    int m_maxConnections = 1 << 30;
    qvd::UniqueFd m_listener;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::map<std::string, Script> m_routes;
    std::map<std::string, int> m_requests;
    std::string m_request;
    bool m_accepted = false;
    bool m_clientClosedFirst = false;
    std::thread m_thread;
};

} // namespace qvtest
