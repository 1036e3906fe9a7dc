#include "description.h"

#include "devicetable.h"
#include "xml.h"

#include <cstring>
#include <string_view>

namespace qvd {

namespace {

using Field = char (DeviceRecord::*)[DeviceFieldSize];

struct ElementField
{
    std::string_view element;
    Field field;
};

// hostPort and elementName are deliberately absent: no element of a description may set them.
constexpr ElementField ElementFields[] = {
    {"deviceType", &DeviceRecord::deviceType},
    {"friendlyName", &DeviceRecord::friendlyName},
    {"manufacturer", &DeviceRecord::manufacturer},
    {"manufacturerURL", &DeviceRecord::manufacturerURL},
    {"modelDescription", &DeviceRecord::modelDescription},
    {"modelName", &DeviceRecord::modelName},
    {"modelNumber", &DeviceRecord::modelNumber},
    {"modelURL", &DeviceRecord::modelURL},
    {"UDN", &DeviceRecord::UDN},
    {"presentationURL", &DeviceRecord::presentationURL},
};

} // namespace

void parseDescription(const char* body, std::size_t length, DeviceRecord& record)
{
    if (body == nullptr) {
        return;
    }
    XmlParser parser;
    parser.start = body;
    parser.end = body + length;
    parser.cursor = body;
    parser.size = length;
    parser.user = &record;
    parser.onStartElement = onStartElement;
    parser.onEndElement = onEndElement;
    parser.onElementText = onElementText;
    parseElements(parser);
}

void onStartElement(DeviceRecord* record, const char* name, std::size_t length)
{
    std::memset(record->elementName, 0, sizeof record->elementName);
    copyField(record->elementName, name, length);
}

void onEndElement(DeviceRecord* /*record*/, const char* /*name*/, std::size_t /*length*/)
{
    // elementName keeps the last opened element's name after its end tag.
}

void onElementText(DeviceRecord* record, const char* text, std::size_t length)
{
    const std::string_view current(record->elementName, ::strnlen(record->elementName, DeviceFieldSize));
    for (const ElementField& entry : ElementFields) {
        if (current == entry.element) {
            copyField(record->*entry.field, text, length);
            return;
        }
    }
}

} // namespace qvd
