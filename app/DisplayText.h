// The text a window shows for a device's text as it arrived: the device record keeps what the
// device sent, and XML character references in it are resolved only for display.
//
// Thread-safety: pure functions; safe on any thread.
#pragma once

#include <string>
#include <string_view>

// Resolves the five predefined entities (&amp; &lt; &gt; &quot; &apos;) and numeric character
// references (&#NNN; and &#xHHH;) to UTF-8. A reference that is unknown, unterminated, or names
// a character XML does not allow stays as written; so does every other byte.
std::string DecodeCharacterReferences(std::string_view text);
