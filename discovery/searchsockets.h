// The sockets of one search: the first aimed at the interface that routes toward
// RouteProbeAddress, then one bound to each other searchable interface; the M-SEARCH sent on
// each, and the answers read from all of them together.
//
// Thread-safety: a search's sockets belong to the search's thread.
#pragma once

#include "UniqueFd.h"
#include "bytesource.h"
#include "interfaces.h"
#include "ssdp.h"

#include <cstddef>
#include <cstdint>
#include <netdb.h>

namespace qvd {

// The first socket, bound and aimed at the route's interface when there is a route. On failure
// the error cell and the diagnostic are written and the socket is invalid. *chosen receives the
// address it was aimed at (network byte order), 0 when it stays on 0.0.0.0.
UniqueFd openSearchSocket(SearchResult* error, std::uint32_t* chosen);

// The address through which the system sends to the multicast group from an unaimed socket, or 0.
std::uint32_t groupSourceAddress();

// A socket bound to the interface's address and sending multicast out of it. On failure one
// diagnostic line is written and the socket is invalid.
UniqueFd openInterfaceSocket(const SearchInterface& interface);

// Sends datagram to every address of group. False (with the diagnostic written) on the first
// failure.
bool sendDatagram(int fd, const char* datagram, std::size_t length, const addrinfo* group);

// Reads whichever of up to MaxSearchInterfaces sockets has a datagram, taking turns among the
// ready ones so that one busy interface cannot starve another. A socket that fails is dropped
// with its diagnostic; the source fails only when no socket is left.
class MultiSocketByteSource final : public ByteSource
{
public:
    MultiSocketByteSource(const int* fds, int count);
    ReceiveResult receive(char* buffer, std::size_t size, int waitMs) override;

private:
    int m_fds[MaxSearchInterfaces];
    bool m_active[MaxSearchInterfaces];
    int m_count;
    int m_next = 0;
};

} // namespace qvd
