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

std::string shellInertUrl(std::string_view url)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    static constexpr std::string_view Unsafe = " \"'`$\\<>{}|^";
    std::string out;
    out.reserve(url.size());
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || Unsafe.find(c) != std::string_view::npos) {
            out += '%';
            out += Hex[byte >> 4];
            out += Hex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace qvp
