// Text of devices made safe for one line of TSV or one JSON string.
//
// Thread-safety: pure functions.
#pragma once

#include <string>
#include <string_view>

namespace qvscan {

// Tab, newline, carriage return and backslash as \t \n \r \\; other control bytes and lone
// bytes 0x80-0x9f as \xHH; UTF-8 encoded C1 and bidirectional controls as \uXXXX.
std::string escapeTsv(std::string_view text);
// A quoted JSON string: valid UTF-8 kept, other bytes read as Latin-1, controls escaped.
std::string escapeJson(std::string_view text);

} // namespace qvscan
