// In-test HTTP server on 127.0.0.1 that serves device descriptions by path, counts the
// requests per path and can hold a connection open without answering.
//
// Thread-safety: routes are set before the search starts; counters are read under a lock.
// Connections are served one at a time, as the worker fetches one at a time.
#pragma once

#include "UniqueFd.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>

namespace qvtest {

inline std::string descriptionXml(const std::string& deviceType, const std::string& friendlyName,
                                  const std::string& manufacturer)
{
    return "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\r\n"
           "<specVersion><major>1</major><minor>0</minor></specVersion>\r\n<device>\r\n<deviceType>" +
           deviceType + "</deviceType>\r\n<friendlyName>" + friendlyName + "</friendlyName>\r\n<manufacturer>" +
           manufacturer +
           "</manufacturer>\r\n<modelNumber>QV-2</modelNumber>\r\n<UDN>uuid:0000</UDN>\r\n"
           "</device>\r\n</root>\r\n";
}

inline std::string httpOk(const std::string& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

class DescriptionServer
{
public:
    DescriptionServer()
    {
        m_listen = qvd::UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        m_ready = m_listen.valid() &&
                  ::bind(m_listen.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                  ::listen(m_listen.get(), 64) == 0 &&
                  ::getsockname(m_listen.get(), reinterpret_cast<sockaddr*>(&address), &length) == 0;
        m_port = ntohs(address.sin_port);
        if (m_ready) {
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

    bool ready() const { return m_ready; }
    int port() const { return m_port; }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

    void serve(const std::string& path, const std::string& response)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_routes[path] = response;
    }
    void serveDevice(const std::string& path, const std::string& deviceType, const std::string& friendlyName,
                     const std::string& manufacturer = "Halvren Storage Corporation")
    {
        serve(path, httpOk(descriptionXml(deviceType, friendlyName, manufacturer)));
    }
    // Accepts and reads the request, then never answers; the connection ends when the client
    // gives up.
    void holdSilent(const std::string& path)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_silent[path] = true;
    }

    int requests(const std::string& path)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_requests.find(path);
        return it == m_requests.end() ? 0 : it->second;
    }
    int totalRequests()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        int n = 0;
        for (const auto& entry : m_requests) {
            n += entry.second;
        }
        return n;
    }

private:
    bool stopping() const { return m_stop.load(std::memory_order_relaxed); }

    // Waits for fd to become readable, checking for stop; false on stop or after waitMs.
    bool waitReadable(int fd, int waitMs) const
    {
        for (int waited = 0; waited < waitMs && !stopping(); waited += 20) {
            pollfd entry{fd, POLLIN, 0};
            if (::poll(&entry, 1, 20) > 0) {
                return true;
            }
        }
        return false;
    }

    void run()
    {
        while (!stopping()) {
            if (!waitReadable(m_listen.get(), 100)) {
                continue;
            }
            const qvd::UniqueFd connection(::accept4(m_listen.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (connection.valid()) {
                handle(connection.get());
            }
        }
    }

    void handle(int fd)
    {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && waitReadable(fd, 2000)) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return;
            }
            request.append(buffer, static_cast<std::size_t>(n));
        }
        const std::size_t pathStart = request.find(' ');
        const std::size_t pathEnd = request.find(' ', pathStart + 1);
        if (pathStart == std::string::npos || pathEnd == std::string::npos) {
            return;
        }
        const std::string path = request.substr(pathStart + 1, pathEnd - pathStart - 1);
        std::string response = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        bool silent = false;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            ++m_requests[path];
            silent = m_silent.count(path) != 0;
            const auto it = m_routes.find(path);
            if (it != m_routes.end()) {
                response = it->second;
            }
        }
        if (silent) {
            // Until the client closes (recv gives 0) or the test ends.
            while (waitReadable(fd, 60000)) {
                if (::recv(fd, buffer, sizeof buffer, 0) <= 0) {
                    return;
                }
            }
            return;
        }
        std::size_t sentBytes = 0;
        while (sentBytes < response.size()) {
            const ssize_t n = ::send(fd, response.data() + sentBytes, response.size() - sentBytes, MSG_NOSIGNAL);
            if (n <= 0) {
                return;
            }
            sentBytes += static_cast<std::size_t>(n);
        }
    }

    qvd::UniqueFd m_listen;
    bool m_ready = false;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::map<std::string, std::string> m_routes;
    std::map<std::string, bool> m_silent;
    std::map<std::string, int> m_requests;
    std::thread m_thread;
};

} // namespace qvtest
