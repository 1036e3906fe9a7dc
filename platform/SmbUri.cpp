#include "SmbUri.h"

namespace qvp {

namespace {

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

} // namespace

std::string PercentEncode(std::string_view text)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(Hex[c >> 4]);
            out.push_back(Hex[c & 0x0F]);
        }
    }
    return out;
}

std::string SmbServerUri(std::string_view host)
{
    return "smb://" + PercentEncode(host) + "/";
}

std::string SmbShareUri(std::string_view host, std::string_view share)
{
    return SmbServerUri(host) + PercentEncode(share);
}

} // namespace qvp
