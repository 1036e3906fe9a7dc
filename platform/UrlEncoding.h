// Percent-encoding of the parts of the addresses handed to other programs.
//
// Thread-safety: pure functions; reentrant.
#pragma once

#include <string>
#include <string_view>

namespace qvp {

// Every byte but the unreserved characters (letters, digits, "-._~") as %XX (upper case);
// extra lists further bytes kept as they are.
std::string percentEncode(std::string_view text, std::string_view extra = {});

// A host for a URL's authority: an address with a ':' (IPv6) in brackets, everything else
// percent-encoded so that no "/", "@", "?" or "#" of a device's text changes the URL's parts.
std::string urlHost(std::string_view host);

} // namespace qvp
