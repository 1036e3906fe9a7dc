#include "DisplayText.h"

#include <array>
#include <cstdint>

namespace {

// Longer references than this are never valid: "&#x10FFFF;" and "&#1114111;" are the longest.
constexpr std::size_t MaxReferenceLength = 12;

struct Entity
{
    std::string_view name;
    char character;
};

constexpr std::array<Entity, 5> PredefinedEntities{{
    {"amp", '&'},
    {"lt", '<'},
    {"gt", '>'},
    {"quot", '"'},
    {"apos", '\''},
}};

// The characters an XML document may contain.
bool IsXmlChar(std::uint32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

void AppendUtf8(std::string& out, std::uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

int DigitValue(char c, int base)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (base == 16 && c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (base == 16 && c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The character of a numeric reference body ("#65" or "#x41"), or false.
bool NumericReference(std::string_view body, std::uint32_t& character)
{
    int base = 10;
    body.remove_prefix(1); // '#'
    if (!body.empty() && body.front() == 'x') {
        base = 16;
        body.remove_prefix(1);
    }
    if (body.empty()) {
        return false;
    }
    std::uint32_t value = 0;
    for (char c : body) {
        const int digit = DigitValue(c, base);
        if (digit < 0) {
            return false;
        }
        value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
        if (value > 0x10FFFF) {
            return false;
        }
    }
    if (!IsXmlChar(value)) {
        return false;
    }
    character = value;
    return true;
}

} // namespace

std::string DecodeCharacterReferences(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        const std::size_t end = text.find(';', i + 1);
        if (end == std::string_view::npos || end - i > MaxReferenceLength) {
            out += text[i++];
            continue;
        }
        const std::string_view body = text.substr(i + 1, end - i - 1);
        bool decoded = false;
        if (!body.empty() && body.front() == '#') {
            std::uint32_t character = 0;
            if (NumericReference(body, character)) {
                AppendUtf8(out, character);
                decoded = true;
            }
        } else {
            for (const Entity& entity : PredefinedEntities) {
                if (body == entity.name) {
                    out += entity.character;
                    decoded = true;
                    break;
                }
            }
        }
        if (decoded) {
            i = end + 1;
        } else {
            out += text[i++];
        }
    }
    return out;
}
