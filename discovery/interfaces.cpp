#include "interfaces.h"

#include <cstring>
#include <ifaddrs.h>
#include <memory>
#include <netinet/in.h>

namespace qvd {

namespace {

struct IfAddrsDeleter
{
    void operator()(ifaddrs* list) const { freeifaddrs(list); }
};
using IfAddrsList = std::unique_ptr<ifaddrs, IfAddrsDeleter>;

std::uint32_t ipv4Of(const sockaddr* address)
{
    return reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr;
}

bool isIpv4(const sockaddr* address)
{
    return address != nullptr && address->sa_family == AF_INET;
}

bool isSearchable(const ifaddrs& entry)
{
    constexpr unsigned Wanted = IFF_UP | IFF_RUNNING | IFF_MULTICAST;
    return (entry.ifa_flags & Wanted) == Wanted && (entry.ifa_flags & IFF_LOOPBACK) == 0 && isIpv4(entry.ifa_addr);
}

void addNetwork(SearchInterface& interface, const ifaddrs& entry)
{
    if (interface.networkCount >= MaxInterfaceNetworks) {
        return;
    }
    InterfaceNetwork& network = interface.networks[interface.networkCount++];
    network.address = ipv4Of(entry.ifa_addr);
    network.mask = isIpv4(entry.ifa_netmask) ? ipv4Of(entry.ifa_netmask) : 0xffffffffu;
    // A point-to-point link's far end is on its network too.
    if ((entry.ifa_flags & IFF_POINTOPOINT) != 0 && isIpv4(entry.ifa_dstaddr) &&
        interface.networkCount < MaxInterfaceNetworks) {
        InterfaceNetwork& peer = interface.networks[interface.networkCount++];
        peer.address = ipv4Of(entry.ifa_dstaddr);
        peer.mask = 0xffffffffu;
    }
}

SearchInterface* findByName(SearchInterface* list, int count, const char* name)
{
    for (int i = 0; i < count; ++i) {
        if (std::strncmp(list[i].name, name, InterfaceNameSize) == 0) {
            return &list[i];
        }
    }
    return nullptr;
}

void describe(SearchInterface& interface, const ifaddrs& entry)
{
    std::strncpy(interface.name, entry.ifa_name, InterfaceNameSize - 1);
    interface.name[InterfaceNameSize - 1] = '\0';
    interface.address = ipv4Of(entry.ifa_addr);
    interface.networkCount = 0;
}

// The name of the interface that holds address, or nullptr.
const char* interfaceHolding(const ifaddrs* list, std::uint32_t address)
{
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (address != 0 && isIpv4(entry->ifa_addr) && ipv4Of(entry->ifa_addr) == address) {
            return entry->ifa_name;
        }
    }
    return nullptr;
}

} // namespace

int listSearchInterfaces(std::uint32_t primaryAddress, SearchInterface* primary, SearchInterface* out, int max)
{
    if (primary != nullptr) {
        *primary = SearchInterface();
    }
    ifaddrs* found = nullptr;
    if (::getifaddrs(&found) != 0) {
        return 0;
    }
    const IfAddrsList owner(found);
    const char* primaryName = interfaceHolding(found, primaryAddress);
    int count = 0;
    for (const ifaddrs* entry = found; entry != nullptr; entry = entry->ifa_next) {
        if (!isIpv4(entry->ifa_addr)) {
            continue;
        }
        if (primaryName != nullptr && std::strcmp(entry->ifa_name, primaryName) == 0) {
            if (primary != nullptr) {
                if (primary->networkCount == 0) {
                    describe(*primary, *entry);
                    primary->address = primaryAddress;
                }
                addNetwork(*primary, *entry);
            }
            continue;
        }
        if (!isSearchable(*entry)) {
            continue;
        }
        SearchInterface* known = findByName(out, count, entry->ifa_name);
        if (known == nullptr) {
            if (count >= max) {
                continue;
            }
            known = &out[count++];
            describe(*known, *entry);
        }
        addNetwork(*known, *entry);
    }
    return count;
}

bool isOnInterfaceNetwork(const SearchInterface& interface, std::uint32_t address)
{
    if (interface.networkCount == 0) {
        return true;
    }
    for (int i = 0; i < interface.networkCount; ++i) {
        const InterfaceNetwork& network = interface.networks[i];
        if ((address & network.mask) == (network.address & network.mask)) {
            return true;
        }
    }
    return false;
}

} // namespace qvd
