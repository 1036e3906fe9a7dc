// Throughput of parseDescription on a typical description (about 3 KiB, with embedded devices)
// and on a large one (64 KiB), beside libxml2's SAX parser collecting the same ten fields.
// Prints figures only.
#include "description.h"
#include "devicetable.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <libxml/parser.h>
#include <string>
#include <string_view>

namespace {

using Clock = std::chrono::steady_clock;
using Field = char (qvd::DeviceRecord::*)[qvd::DeviceFieldSize];

constexpr double MinSeconds = 0.5;
constexpr long MinRounds = 20;

std::string element(const char* name, const std::string& text, const char* indent)
{
    return std::string(indent) + "<" + name + ">" + text + "</" + name + ">\n";
}

std::string service(const std::string& type, const std::string& path, const char* indent)
{
    const std::string inner = std::string(indent) + "  ";
    return std::string(indent) + "<service>\n" +
           element("serviceType", "urn:schemas-upnp-org:service:" + type + ":1", inner.c_str()) +
           element("serviceId", "urn:upnp-org:serviceId:" + type, inner.c_str()) +
           element("SCPDURL", path + ".xml", inner.c_str()) + element("controlURL", "/control" + path, inner.c_str()) +
           element("eventSubURL", "/event" + path, inner.c_str()) + std::string(indent) + "</service>\n";
}

std::string embeddedDevice(int index)
{
    const std::string n = std::to_string(index);
    const char* in = "        ";
    return std::string("      <device>\n") + element("deviceType", "urn:schemas-upnp-org:device:MediaServer:1", in) +
           element("friendlyName", "Office Storage: Media " + n, in) +
           element("manufacturer", "Halvren Storage Corporation", in) +
           element("manufacturerURL", "http://www.halvren.example/media/", in) + element("modelName", "QvMedia", in) +
           element("modelNumber", "2." + n, in) + element("UDN", "uuid:4f1c2a90-0000-1000-8000-" + n, in) +
           "        <serviceList>\n" + service("ContentDirectory", "/cds" + n, "          ") +
           service("ConnectionManager", "/cms" + n, "          ") + "        </serviceList>\n      </device>\n";
}

// A maker's description whose deviceList grows until the document reaches about targetBytes.
std::string makeDescription(std::size_t targetBytes)
{
    const char* in = "    ";
    std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       "<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\n"
                       "  <specVersion><major>1</major><minor>0</minor></specVersion>\n"
                       "  <device>\n";
    head += element("deviceType", "urn:schemas-upnp-org:device:QvNAS-KTC32:1", in);
    head += element("friendlyName", "Office Storage", in);
    head += element("manufacturer", "Halvren Storage Corporation", in);
    head += element("manufacturerURL", "http://www.halvren.example/", in);
    head += element("modelDescription", "Two-bay network storage with media sharing", in);
    head += element("modelName", "QvNAS KTC32", in);
    head += element("modelNumber", "KTC32-2B", in);
    head += element("modelURL", "http://www.halvren.example/products/ktc32", in);
    head += element("UDN", "uuid:4f1c2a90-0000-1000-8000-00a0c9f3e201", in);
    head += "    <serviceList>\n" + service("StorageInfo", "/storage", "      ") + "    </serviceList>\n";
    head += "    <deviceList>\n";
    const std::string tail =
        "    </deviceList>\n" + element("presentationURL", "http://192.168.1.20:80/", in) + "  </device>\n</root>\n";
    std::string body = head;
    for (int i = 0; i == 0 || body.size() + tail.size() < targetBytes; ++i) {
        body += embeddedDevice(i);
    }
    return body + tail;
}

// libxml2 SAX handler that fills a record the way our callbacks do: the text of the last
// element of each name, cut to 127 bytes.
struct SaxState
{
    qvd::DeviceRecord record;
    Field current = nullptr;
    char text[qvd::DeviceFieldSize];
    std::size_t length = 0;
};

Field fieldFor(const char* name)
{
    static const struct
    {
        const char* name;
        Field field;
    } fields[] = {
        {"deviceType", &qvd::DeviceRecord::deviceType},
        {"friendlyName", &qvd::DeviceRecord::friendlyName},
        {"manufacturer", &qvd::DeviceRecord::manufacturer},
        {"manufacturerURL", &qvd::DeviceRecord::manufacturerURL},
        {"modelDescription", &qvd::DeviceRecord::modelDescription},
        {"modelName", &qvd::DeviceRecord::modelName},
        {"modelNumber", &qvd::DeviceRecord::modelNumber},
        {"modelURL", &qvd::DeviceRecord::modelURL},
        {"UDN", &qvd::DeviceRecord::UDN},
        {"presentationURL", &qvd::DeviceRecord::presentationURL},
    };
    for (const auto& entry : fields) {
        if (std::strcmp(name, entry.name) == 0) {
            return entry.field;
        }
    }
    return nullptr;
}

void saxStart(void* context, const xmlChar* localName, const xmlChar*, const xmlChar*, int, const xmlChar**, int, int,
              const xmlChar**)
{
    auto* state = static_cast<SaxState*>(context);
    state->current = fieldFor(reinterpret_cast<const char*>(localName));
    state->length = 0;
}

void saxText(void* context, const xmlChar* text, int length)
{
    auto* state = static_cast<SaxState*>(context);
    if (state->current == nullptr) {
        return;
    }
    const std::size_t room = qvd::DeviceFieldSize - 1 - state->length;
    const std::size_t taken = static_cast<std::size_t>(length) < room ? static_cast<std::size_t>(length) : room;
    std::memcpy(state->text + state->length, text, taken);
    state->length += taken;
}

void saxEnd(void* context, const xmlChar*, const xmlChar*, const xmlChar*)
{
    auto* state = static_cast<SaxState*>(context);
    if (state->current != nullptr) {
        qvd::copyField(state->record.*(state->current), state->text, state->length);
        state->current = nullptr;
    }
}

// The error argument's type differs between libxml2 releases; the handler ignores it.
template <typename Error> void saxQuiet(void*, Error) {}

void parseWithLibxml2(const std::string& body, SaxState& state)
{
    xmlSAXHandler handler;
    std::memset(&handler, 0, sizeof handler);
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = saxStart;
    handler.endElementNs = saxEnd;
    handler.characters = saxText;
    handler.cdataBlock = saxText;
    handler.serror = saxQuiet;
    std::memset(&state.record, 0, sizeof state.record);
    state.current = nullptr;
    state.length = 0;
    xmlSAXUserParseMemory(&handler, &state, body.data(), static_cast<int>(body.size()));
}

template <typename Parse> double megabytesPerSecond(const std::string& body, Parse parse)
{
    long rounds = 0;
    const Clock::time_point start = Clock::now();
    double seconds = 0;
    do {
        for (int i = 0; i < MinRounds; ++i) {
            parse();
        }
        rounds += MinRounds;
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (seconds < MinSeconds);
    return static_cast<double>(body.size()) * static_cast<double>(rounds) / seconds / 1e6;
}

bool sameFields(const qvd::DeviceRecord& a, const qvd::DeviceRecord& b)
{
    for (const Field field :
         {&qvd::DeviceRecord::deviceType, &qvd::DeviceRecord::friendlyName, &qvd::DeviceRecord::manufacturer,
          &qvd::DeviceRecord::manufacturerURL, &qvd::DeviceRecord::modelDescription, &qvd::DeviceRecord::modelName,
          &qvd::DeviceRecord::modelNumber, &qvd::DeviceRecord::modelURL, &qvd::DeviceRecord::UDN,
          &qvd::DeviceRecord::presentationURL}) {
        if (std::strcmp(a.*field, b.*field) != 0) {
            return false;
        }
    }
    return true;
}

void measure(const char* label, const std::string& body)
{
    qvd::DeviceRecord ours;
    volatile char sink = 0;
    const double oursSpeed = megabytesPerSecond(body, [&] {
        std::memset(&ours, 0, sizeof ours);
        qvd::parseDescription(body.data(), body.size(), ours);
        sink = static_cast<char>(sink + ours.friendlyName[0]);
    });
    SaxState sax;
    const double saxSpeed = megabytesPerSecond(body, [&] {
        parseWithLibxml2(body, sax);
        sink = static_cast<char>(sink + sax.record.friendlyName[0]);
    });
    std::printf("%-22s %8zu %14.1f %14.1f %8.2f   %s\n", label, body.size(), oursSpeed, saxSpeed, oursSpeed / saxSpeed,
                sameFields(ours, sax.record) ? "yes" : "no");
}

} // namespace

int main()
{
    xmlInitParser();
    std::printf("%-22s %8s %14s %14s %8s   %s\n", "description", "bytes", "ours MB/s", "libxml2 MB/s", "ratio",
                "same fields");
    measure("typical (~3 KiB)", makeDescription(3 * 1024));
    measure("large (~64 KiB)", makeDescription(64 * 1024));
    xmlCleanupParser();
    return 0;
}
