// HTTP peers on loopback for the network tests, and the isolation and leak checks they share.
// LoopbackServer plays one scripted answer to one client; DescriptionServer serves descriptions
// by path to any number of clients, one at a time, as the worker fetches them.
//
// Thread-safety: a server's thread owns its sockets. LoopbackServer's results are read after
// join(); DescriptionServer's routes and counters are guarded by its mutex. Every wait is
// bounded, so a client that misbehaves makes a test fail, never hang.
#pragma once

#include "UniqueFd.h"

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

// A listening socket on the loopback address of the family; port() is 0 when that failed.
class Listener
{
public:
    Listener(int family, int backlog)
        : m_family(family)
    {
        m_fd.reset(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in6 v6{};
        sockaddr_in v4{};
        v6.sin6_family = AF_INET6;
        v6.sin6_addr = in6addr_loopback;
        v4.sin_family = AF_INET;
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        auto* address = family == AF_INET6 ? reinterpret_cast<sockaddr*>(&v6) : reinterpret_cast<sockaddr*>(&v4);
        socklen_t length = family == AF_INET6 ? sizeof v6 : sizeof v4;
        if (m_fd.valid() && ::bind(m_fd.get(), address, length) == 0 && ::listen(m_fd.get(), backlog) == 0 &&
            ::getsockname(m_fd.get(), address, &length) == 0) {
            m_port = ntohs(family == AF_INET6 ? v6.sin6_port : v4.sin_port);
        }
    }
    std::uint16_t port() const { return m_port; }
    std::string url(const std::string& path = "/desc.xml") const
    {
        return std::string("http://") + (m_family == AF_INET6 ? "[::1]" : "127.0.0.1") + ":" + std::to_string(m_port) +
               path;
    }

protected:
    qvd::UniqueFd m_fd;
    int m_family;
    std::uint16_t m_port = 0;
};

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

class LoopbackServer : public Listener
{
public:
    explicit LoopbackServer(Script script, int family = AF_INET)
        : Listener(family, 1)
        , m_script(std::move(script))
    {
        if (m_port != 0) {
            m_thread = std::thread([this] { serve(); });
        }
    }
    ~LoopbackServer() { join(); }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    void join()
    {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    // Valid after join().
    const std::string& request() const { return m_request; }
    bool accepted() const { return m_accepted; }
    bool clientClosedFirst() const { return m_clientClosedFirst; }

private:
    void serve()
    {
        qvd::UniqueFd client;
        if (waitReadable(m_fd.get(), m_script.acceptWaitMs)) {
            client.reset(::accept4(m_fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
        }
        m_fd.reset();
        if (!client.valid()) {
            return;
        }
        m_accepted = true;
        const timeval sendWait{5, 0};
        ::setsockopt(client.get(), SOL_SOCKET, SO_SNDTIMEO, &sendWait, sizeof sendWait);
        m_request = readRequest(client.get());
        for (const Piece& piece : m_script.pieces) {
            std::this_thread::sleep_for(std::chrono::milliseconds(piece.pauseBeforeMs));
            if (!sendAll(client.get(), piece.bytes)) {
                return;
            }
        }
        char byte = 0;
        std::size_t sent = 0;
        constexpr std::size_t EndlessLimit = 16u * 1024 * 1024;
        const linger abortive{1, 0};
        switch (m_script.ending) {
        case Ending::Close:
            break;
        case Ending::Reset:
            ::setsockopt(client.get(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
            break;
        case Ending::WaitForClientClose:
            m_clientClosedFirst = waitReadable(client.get(), m_script.holdMs) && ::recv(client.get(), &byte, 1, 0) == 0;
            break;
        case Ending::Endless:
            while (sent < EndlessLimit && sendAll(client.get(), m_script.filler)) {
                sent += m_script.filler.size();
            }
            m_clientClosedFirst = sent < EndlessLimit;
            break;
        }
    }

    Script m_script;
    std::thread m_thread;
    std::string m_request;
    bool m_accepted = false;
    bool m_clientClosedFirst = false;
};

inline std::string httpOk(const std::string& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

class DescriptionServer : public Listener
{
public:
    DescriptionServer()
        : Listener(AF_INET, 64)
    {
        if (m_port != 0) {
            m_thread = std::thread([this] { run(); });
        }
    }
    ~DescriptionServer()
    {
        // Relaxed: the join below orders everything else.
        m_stop.store(true, std::memory_order_relaxed);
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    DescriptionServer(const DescriptionServer&) = delete;
    DescriptionServer& operator=(const DescriptionServer&) = delete;

    bool ready() const { return m_port != 0; }

    // An empty response holds the connection silent until the client gives up.
    void serve(const std::string& path, const std::string& response)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_routes[path] = response;
    }
    void serveDevice(const std::string& path, const std::string& deviceType, const std::string& friendlyName,
                     const std::string& manufacturer = "Halvren Storage Corporation")
    {
        serve(path, httpOk("<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\r\n<device>"
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

    void run()
    {
        while (waitOrStop(m_fd.get(), 60000)) {
            const qvd::UniqueFd connection(::accept4(m_fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (connection.valid()) {
                handle(connection.get());
            }
        }
    }

    void handle(int fd)
    {
        const std::string request = readRequest(fd);
        const std::size_t pathStart = request.find(' ');
        const std::size_t pathEnd = request.find(' ', pathStart + 1);
        if (pathEnd == std::string::npos) {
            return;
        }
        const std::string path = request.substr(pathStart + 1, pathEnd - pathStart - 1);
        std::string response = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            ++m_requests[path];
            const auto it = m_routes.find(path);
            if (it != m_routes.end()) {
                response = it->second;
            }
        }
        char buffer[256];
        while (response.empty() && waitOrStop(fd, 60000) && ::recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
        sendAll(fd, response);
    }

    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::map<std::string, std::string> m_routes;
    std::map<std::string, int> m_requests;
    std::thread m_thread;
};

} // namespace qvtest
