// smb:// addresses built from texts a device or server sent. Such texts are data: every byte
// outside the unreserved set is percent-encoded, so a '/', '@', '?', '#', space or newline in
// a host or share name can never change which server or share the address names.
//
// Thread-safety: pure functions.
#pragma once

#include <string>
#include <string_view>

namespace qvp {

// "smb://host/" for a server, "smb://host/share" for a share.
std::string smbServerUri(std::string_view host);
std::string smbShareUri(std::string_view host, std::string_view share);

} // namespace qvp
