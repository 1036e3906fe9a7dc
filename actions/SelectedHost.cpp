#include "SelectedHost.h"

#include <cstring>

char SelectedHost[SelectedHostSize] = {};

void SetSelectedHost(std::string_view text)
{
    std::size_t length = text.size() < SelectedHostSize - 1 ? text.size() : SelectedHostSize - 1;
    if (length < text.size()) {
        // Back off continuation bytes (10xxxxxx) so that the cut falls before a lead byte.
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
            --length;
        }
    }
    std::memcpy(SelectedHost, text.data(), length);
    SelectedHost[length] = '\0';
}
