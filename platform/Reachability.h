// The reachability check of a device's page address: one bounded TCP connection attempt to
// its host and port (80 when the address names none).
//
// Thread-safety: probe and hostAndPort are reentrant; the check runs on a short-lived thread
// of its own and blocks for at most the given time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qvp {

inline constexpr std::uint16_t DefaultHttpPort = 80;

struct HostPort
{
    std::string host;
    std::uint16_t port = DefaultHttpPort;
    bool valid = false;
};

// The host and port at the start of a page address ("host[:port][/path]", "[v6][:port]"),
// with an optional "http://" in front. A port that is not a number from 1 to 65535 makes the
// address invalid.
HostPort hostAndPort(std::string_view pageAddress);

class ReachabilityProbe
{
public:
    virtual ~ReachabilityProbe() = default;
    // True when a connection to the page address's host and port could be made within
    // timeoutMs. Blocking.
    virtual bool Probe(const std::string& pageAddress, int timeoutMs) = 0;
};

class TcpReachabilityProbe final : public ReachabilityProbe
{
public:
    bool Probe(const std::string& pageAddress, int timeoutMs) override;
};

} // namespace qvp
