// Where the description reader and the search's listening loop take their bytes from: one
// bounded wait and one receive per call. The program reads sockets (SocketByteSource); tests and
// fuzz targets hand out bytes from memory in pieces of their choosing.
//
// Thread-safety: a source belongs to the one thread that reads it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qvd {

// The outcomes of one wait-and-receive, kept apart: a zero-length datagram is a datagram, not
// silence, and an orderly close of a stream is neither.
enum class ReceiveStatus
{
    Data,          // size bytes arrived (size > 0)
    EmptyDatagram, // a datagram of zero bytes arrived
    TimedOut,      // nothing arrived within the wait
    Closed,        // the stream's peer closed it
    Failed,        // the wait or the receive failed; the diagnostic is written
};

struct ReceiveResult
{
    ReceiveStatus status = ReceiveStatus::Failed;
    std::size_t size = 0;
    // The sender's IPv4 address in network byte order, for datagrams; 0 when unknown.
    std::uint32_t sourceAddress = 0;
    // Which of a search's sockets received it (0: the first, and the only one of most sources).
    int channel = 0;
};

class ByteSource
{
public:
    ByteSource() = default;
    virtual ~ByteSource() = default;
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    // Waits at most waitMs for bytes, then receives once into buffer (at most size bytes).
    virtual ReceiveResult receive(char* buffer, std::size_t size, int waitMs) = 0;
};

// Reads a socket the source does not own.
class SocketByteSource final : public ByteSource
{
public:
    explicit SocketByteSource(int fd)
        : m_fd(fd)
    {
    }
    ReceiveResult receive(char* buffer, std::size_t size, int waitMs) override;

private:
    int m_fd;
};

} // namespace qvd
