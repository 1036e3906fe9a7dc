#include "UrlEncoding.h"

namespace qvp {

std::string percentEncode(std::string_view text, std::string_view extra)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
                                byte == '~';
        if (unreserved || (byte != '%' && extra.find(c) != std::string_view::npos)) {
            out += c;
        } else {
            out += '%';
            out += Hex[byte >> 4];
            out += Hex[byte & 0x0F];
        }
    }
    return out;
}

std::string urlHost(std::string_view host)
{
    if (host.find(':') != std::string_view::npos &&
        host.find_first_not_of("0123456789abcdefABCDEF:.") == std::string_view::npos) {
        return "[" + std::string(host) + "]";
    }
    return percentEncode(host);
}

} // namespace qvp
