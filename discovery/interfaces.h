// The network interfaces a search goes out on, and the networks each of them holds.
//
// Thread-safety: listSearchInterfaces reads the system's interface table into the caller's
// array; the rest works on its arguments only. Safe from any thread.
#pragma once

#include <cstdint>
#include <net/if.h>

namespace qvd {

// A host with more interfaces than this is searched on the first ones only.
inline constexpr int MaxSearchInterfaces = 16;
// IPv4 networks remembered per interface (addresses beyond the first few are rare aliases).
inline constexpr int MaxInterfaceNetworks = 8;
inline constexpr int InterfaceNameSize = IF_NAMESIZE;

struct InterfaceNetwork
{
    std::uint32_t address = 0; // network byte order
    std::uint32_t mask = 0;    // network byte order; all ones for a point-to-point peer
};

struct SearchInterface
{
    char name[InterfaceNameSize] = {};
    std::uint32_t address = 0; // the address the search socket binds to, network byte order
    InterfaceNetwork networks[MaxInterfaceNetworks];
    int networkCount = 0;
};

// Fills out (at most max entries) with the interfaces to search: up, running,
// multicast-capable, not loopback, holding an IPv4 address (link-local included), each once,
// in the order the system lists them. When primaryAddress (network byte order, 0 for none) is
// an address of some interface, that interface is described in *primary and left out of out;
// otherwise *primary is left with networkCount 0. Returns the count written, 0 when the table
// cannot be read.
int listSearchInterfaces(std::uint32_t primaryAddress, SearchInterface* primary, SearchInterface* out, int max);

// True when address (network byte order) lies on one of the interface's networks, or when the
// interface's networks are unknown (networkCount 0).
bool isOnInterfaceNetwork(const SearchInterface& interface, std::uint32_t address);

} // namespace qvd
