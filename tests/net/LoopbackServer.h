// A one-connection HTTP peer on loopback for the fetch tests: it accepts one client, reads its
// request, then plays a script of byte pieces with pauses and ends the way the test asks.
//
// Thread-safety: the serving thread owns everything until join(); the results (request,
// accepted, clientClosedFirst) are read only after join(), whose completion orders them.
// Every wait is bounded, so a client that misbehaves makes a test fail, never hang.
#pragma once

#include "UniqueFd.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <utility>
#include <vector>

namespace qvtest {

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
    Endless,            // send filler until the client goes away (bounded by endlessLimit)
};

struct Script
{
    std::vector<Piece> pieces;
    Ending ending = Ending::Close;
    std::string filler = std::string(4096, 'x');
    int holdMs = 5000;
    int acceptWaitMs = 5000;
};

class LoopbackServer
{
public:
    static constexpr std::size_t EndlessLimit = 16u * 1024 * 1024;

    explicit LoopbackServer(Script script, int family = AF_INET)
        : m_script(std::move(script))
    {
        m_listener.reset(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!m_listener.valid() || !bindLoopback(family) || ::listen(m_listener.get(), 1) != 0) {
            m_listener.reset();
            return;
        }
        m_thread = std::thread([this] { serve(); });
    }
    ~LoopbackServer() { join(); }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool listening() const { return m_port != 0; }
    std::uint16_t port() const { return m_port; }
    std::string url(const std::string& path = "/desc.xml") const
    {
        const std::string host = m_family == AF_INET6 ? "[::1]" : "127.0.0.1";
        return "http://" + host + ":" + std::to_string(m_port) + path;
    }

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
    bool bindLoopback(int family)
    {
        m_family = family;
        sockaddr_storage address{};
        socklen_t length = 0;
        if (family == AF_INET6) {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
            v6->sin6_family = AF_INET6;
            v6->sin6_addr = in6addr_loopback;
            length = sizeof *v6;
        } else {
            auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
            v4->sin_family = AF_INET;
            v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof *v4;
        }
        if (::bind(m_listener.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::getsockname(m_listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return false;
        }
        m_port = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                          : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
        return true;
    }

    static bool waitReadable(int fd, int ms)
    {
        pollfd entry{fd, POLLIN, 0};
        return ::poll(&entry, 1, ms) == 1;
    }

    void serve()
    {
        if (!waitReadable(m_listener.get(), m_script.acceptWaitMs)) {
            m_listener.reset();
            return;
        }
        qvd::UniqueFd client(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        m_listener.reset();
        if (!client.valid()) {
            return;
        }
        m_accepted = true;
        timeval sendWait{5, 0};
        ::setsockopt(client.get(), SOL_SOCKET, SO_SNDTIMEO, &sendWait, sizeof sendWait);
        readRequest(client.get());
        for (const Piece& piece : m_script.pieces) {
            std::this_thread::sleep_for(std::chrono::milliseconds(piece.pauseBeforeMs));
            if (!sendAll(client.get(), piece.bytes)) {
                return;
            }
        }
        finish(client);
    }

    void readRequest(int fd)
    {
        char buffer[1024];
        while (m_request.find("\r\n\r\n") == std::string::npos && m_request.size() < 16384 && waitReadable(fd, 5000)) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return;
            }
            m_request.append(buffer, static_cast<std::size_t>(n));
        }
    }

    static bool sendAll(int fd, const std::string& bytes)
    {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    void finish(qvd::UniqueFd& client)
    {
        switch (m_script.ending) {
        case Ending::Close:
            break;
        case Ending::Reset: {
            linger abortive{1, 0};
            ::setsockopt(client.get(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
            break;
        }
        case Ending::WaitForClientClose: {
            char byte = 0;
            m_clientClosedFirst = waitReadable(client.get(), m_script.holdMs) && ::recv(client.get(), &byte, 1, 0) == 0;
            break;
        }
        case Ending::Endless: {
            std::size_t sent = 0;
            while (sent < EndlessLimit && sendAll(client.get(), m_script.filler)) {
                sent += m_script.filler.size();
            }
            m_clientClosedFirst = sent < EndlessLimit;
            break;
        }
        }
        client.reset();
    }

    Script m_script;
    qvd::UniqueFd m_listener;
    int m_family = AF_INET;
    std::uint16_t m_port = 0;
    std::thread m_thread;
    std::string m_request;
    bool m_accepted = false;
    bool m_clientClosedFirst = false;
};

} // namespace qvtest
