#include "xml.h"

#include <cstring>

// Every read of *cursor below happens only while cursor < end: each move is followed by an end
// check before the byte is looked at. Markup that the buffer cuts off ends the parse without
// reporting what was partly seen.

namespace qvd {

namespace {

constexpr char CdataOpen[] = "<![CDATA[";
constexpr std::size_t CdataOpenLength = sizeof CdataOpen - 1;
constexpr char CdataClose[] = "]]>";
constexpr std::size_t CdataCloseLength = sizeof CdataClose - 1;

bool isWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool endsName(char c)
{
    return c == '\t' || c == '\r' || c == '\n' || c == '>' || c == '/';
}

std::size_t remaining(const XmlParser& parser)
{
    return static_cast<std::size_t>(parser.end - parser.cursor);
}

// Moves by one; false when that reaches the end of the buffer.
bool advance(XmlParser& parser)
{
    ++parser.cursor;
    return parser.cursor != parser.end;
}

void report(XmlCallback callback, const XmlParser& parser, const char* text, const char* stop)
{
    if (callback != nullptr) {
        callback(parser.user, text, static_cast<std::size_t>(stop - text));
    }
}

// With the cursor just after "<": scans an element name. Only the part after the last colon
// is kept, so namespace prefixes fall away. False when the buffer ends inside the name.
bool scanName(XmlParser& parser, const char*& name)
{
    name = parser.cursor;
    if (*parser.cursor == ' ') {
        return true;
    }
    while (!endsName(*parser.cursor)) {
        if (!advance(parser)) {
            return false;
        }
        if (*parser.cursor == ':') {
            name = parser.cursor + 1;
        } else if (*parser.cursor == ' ') {
            break;
        }
    }
    return true;
}

// With the cursor on the start tag's closing "/" or ">": reports the element's text when it is
// direct text (or a CDATA section opening the content) followed by an end tag. Leaves the
// cursor on the next "<". False when the buffer ends first.
bool readElementText(XmlParser& parser)
{
    if (*parser.cursor == '/') {
        // An empty-element tag: the main loop passes over "/>" byte by byte.
        return true;
    }
    if (!advance(parser)) {
        return false;
    }
    const char* text = parser.cursor;
    while (isWhiteSpace(*parser.cursor)) {
        if (!advance(parser)) {
            return false;
        }
    }
    if (remaining(parser) >= CdataOpenLength && std::memcmp(parser.cursor, CdataOpen, CdataOpenLength) == 0) {
        parser.cursor += CdataOpenLength;
        const char* cdata = parser.cursor;
        for (;;) {
            // Keeps at least one byte after "]]>" for the next markup.
            if (remaining(parser) < CdataCloseLength + 1) {
                return false;
            }
            if (std::memcmp(parser.cursor, CdataClose, CdataCloseLength) == 0) {
                break;
            }
            ++parser.cursor;
        }
        if (parser.cursor > cdata) {
            report(parser.onElementText, parser, cdata, parser.cursor);
        }
        while (*parser.cursor != '<') {
            if (!advance(parser)) {
                return false;
            }
        }
        return true;
    }
    for (;;) {
        // The "<" must have a byte after it to tell an end tag from a start tag.
        if (remaining(parser) < 2) {
            return false;
        }
        if (*parser.cursor == '<') {
            break;
        }
        ++parser.cursor;
    }
    if (parser.cursor > text && parser.cursor[1] == '/') {
        report(parser.onElementText, parser, text, parser.cursor);
    }
    return true;
}

// With the cursor just after "<" and no name: an end tag when it is "/", otherwise nothing.
// False when the buffer ends inside the end tag.
bool readEndTag(XmlParser& parser)
{
    if (*parser.cursor != '/') {
        return true;
    }
    if (!advance(parser)) {
        return false;
    }
    const char* name = parser.cursor;
    while (*parser.cursor != '>') {
        if (!advance(parser)) {
            return false;
        }
    }
    report(parser.onEndElement, parser, name, parser.cursor);
    ++parser.cursor;
    return true;
}

} // namespace

void parseElements(XmlParser& parser)
{
    if (parser.cursor == nullptr) {
        parser.cursor = parser.start;
    }
    if (parser.cursor == nullptr || parser.end == nullptr) {
        return;
    }
    // The last byte is never the start of markup: a "<" there could not be followed by anything.
    while (parser.cursor < parser.end && remaining(parser) > 1) {
        if (parser.cursor[0] != '<' || parser.cursor[1] == '?') {
            ++parser.cursor;
            continue;
        }
        ++parser.cursor;
        const char* name = nullptr;
        if (!scanName(parser, name)) {
            return;
        }
        if (parser.cursor == name) {
            if (!readEndTag(parser)) {
                return;
            }
            continue;
        }
        report(parser.onStartElement, parser, name, parser.cursor);
        if (skipAttributes(parser) < 0 || !readElementText(parser)) {
            return;
        }
    }
}

int skipAttributes(XmlParser& parser)
{
    while (parser.cursor < parser.end) {
        const char c = *parser.cursor;
        if (c == '/' || c == '>') {
            return 0;
        }
        if (isWhiteSpace(c)) {
            ++parser.cursor;
            continue;
        }
        while (!isWhiteSpace(*parser.cursor) && *parser.cursor != '=') {
            if (!advance(parser)) {
                return -1;
            }
        }
        while (*parser.cursor != '=') {
            if (!advance(parser)) {
                return -1;
            }
        }
        if (!advance(parser)) {
            return -1;
        }
        while (isWhiteSpace(*parser.cursor)) {
            if (!advance(parser)) {
                return -1;
            }
        }
        const char quote = *parser.cursor;
        if (quote == '"' || quote == '\'') {
            do {
                if (!advance(parser)) {
                    return -1;
                }
            } while (*parser.cursor != quote);
        } else {
            while (!isWhiteSpace(*parser.cursor) && *parser.cursor != '>' && *parser.cursor != '/') {
                if (!advance(parser)) {
                    return -1;
                }
            }
        }
        // Past the closing quote or the byte that ended an unquoted value, even when that is ">".
        ++parser.cursor;
    }
    return -1;
}

} // namespace qvd
