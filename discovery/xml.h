// A minimal, non-validating, single-pass XML tokenizer over a byte buffer. It reports start
// tags, end tags and element text through callbacks; it builds no tree, decodes no entities
// and checks no structure.
//
// Thread-safety: an XmlParser is used by one thread for one call.
#pragma once

#include <cstddef>

namespace qvd {

struct DeviceRecord;

using XmlCallback = void (*)(DeviceRecord* user, const char* text, std::size_t length);

struct XmlParser
{
    const char* start = nullptr;
    const char* end = nullptr;
    const char* cursor = nullptr;
    std::size_t size = 0;
    DeviceRecord* user = nullptr;
    XmlCallback onStartElement = nullptr;
    XmlCallback onEndElement = nullptr;
    XmlCallback onElementText = nullptr;
};

void parseElements(XmlParser& parser);
// Skips the attributes of a start tag; 0 at the tag's end ("/" or ">"), -1 when the buffer ends.
int skipAttributes(XmlParser& parser);

} // namespace qvd
