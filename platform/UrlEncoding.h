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

// url with every byte that a shell treats specially inside quotes or between words, and every
// byte that a URL may not hold as it is (controls, space, non-ASCII, "<>{}|^"), as %XX; '%'
// itself is kept, so an address that is already encoded stays as it was. A browser's Exec line
// may hand the address to a shell ("sh -c \"browser '%u'\""): no quote, "$", backquote or
// backslash from a device then reaches it.
std::string shellInertUrl(std::string_view url);

} // namespace qvp
