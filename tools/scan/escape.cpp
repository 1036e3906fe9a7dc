#include "escape.h"

#include <array>
#include <cstdio>

namespace qvscan {

namespace {

void appendHex(std::string& out, const char* prefix, unsigned char byte)
{
    std::array<char, 8> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%s%02x", prefix, byte);
    out += buffer.data();
}

// The code point of a C1 control or a bidirectional control encoded at the start of text
// (U+0080-U+009F, U+202A-U+202E, U+2066-U+2069), or 0. Such text can move a terminal's cursor,
// start an escape sequence or reorder what a reader sees.
unsigned terminalControlAt(std::string_view text)
{
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if (text.size() >= 2 && at(0) == 0xc2 && at(1) >= 0x80 && at(1) <= 0x9f) {
        return at(1);
    }
    if (text.size() >= 3 && at(0) == 0xe2 && (at(1) == 0x80 || at(1) == 0x81)) {
        const unsigned point = 0x2000u | ((at(1) & 0x3fu) << 6) | (at(2) & 0x3fu);
        if ((point >= 0x202a && point <= 0x202e) || (point >= 0x2066 && point <= 0x2069)) {
            return point;
        }
    }
    return 0;
}

// Length of the UTF-8 encoding of a control found by terminalControlAt.
std::size_t encodedLength(unsigned point)
{
    return point < 0x800 ? 2 : 3;
}

void appendCodePoint(std::string& out, unsigned point)
{
    std::array<char, 12> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "\\u%04x", point & 0xffffu);
    out += buffer.data();
}

// Length of the well-formed UTF-8 sequence at the start of text (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when it does not start with one.
std::size_t utf8SequenceLength(std::string_view text)
{
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = at(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    } else {
        return 0;
    }
    if (text.size() < length || at(1) < low || at(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (at(i) < 0x80 || at(i) > 0xbf) {
            return 0;
        }
    }
    return length;
}

} // namespace

std::string escapeTsv(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (const unsigned point = terminalControlAt(text.substr(i)); point != 0) {
            appendCodePoint(out, point);
            i += encodedLength(point) - 1;
            continue;
        }
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (byte < 0x20 || (byte >= 0x7f && byte <= 0x9f)) {
                appendHex(out, "\\x", byte);
            } else {
                out += c;
            }
        }
    }
    return out;
}

std::string escapeJson(std::string_view text)
{
    std::string out = "\"";
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            const std::size_t length = utf8SequenceLength(text.substr(i));
            if (const unsigned point = terminalControlAt(text.substr(i)); point != 0) {
                appendCodePoint(out, point);
                i += length;
            } else if (length == 0) {
                appendHex(out, "\\u00", byte);
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7f) {
            appendHex(out, "\\u00", byte);
        } else {
            out += c;
        }
        ++i;
    }
    out += '"';
    return out;
}

} // namespace qvscan
