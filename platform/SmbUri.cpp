#include "SmbUri.h"

#include "UrlEncoding.h"

namespace qvp {

std::string smbServerUri(std::string_view host)
{
    return "smb://" + percentEncode(host) + "/";
}

std::string smbShareUri(std::string_view host, std::string_view share)
{
    return smbServerUri(host) + percentEncode(share);
}

} // namespace qvp
