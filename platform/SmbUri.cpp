#include "SmbUri.h"

#include "UrlEncoding.h"

namespace qvp {

std::string SmbServerUri(std::string_view host)
{
    return "smb://" + percentEncode(host) + "/";
}

std::string SmbShareUri(std::string_view host, std::string_view share)
{
    return SmbServerUri(host) + percentEncode(share);
}

} // namespace qvp
