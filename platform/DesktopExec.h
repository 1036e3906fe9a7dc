// Desktop entry files: the string-value escapes, and the Exec key's command line with its
// quoting and field codes, read so that a program named by a desktop entry is started with an
// argument vector of its own and never through a shell, and written (one argument quoted) for
// the entries this program makes.
//
// Thread-safety: pure functions; reentrant.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvp {

// Undoes the escapes of a string value: \s \n \t \r \\ (any other backslash stays as it is).
std::string unescapeDesktopValue(std::string_view value);

// Splits an (already unescaped) Exec value into an argument vector and puts url into it:
// %u %U %f %F become url, %% a percent sign, every other field code is dropped (an argument
// that held nothing but dropped codes is dropped too); when the line has none of the four
// file or URL codes, url is appended as the last argument. Nothing when the line is empty or
// malformed (an unterminated quote, a lone % at the end).
std::optional<std::vector<std::string>> parseExecLine(std::string_view exec, const std::string& url);

// One argument of an Exec line (before the string-value escapes of escapeDesktopValue): in
// double quotes, with " ` $ \ escaped by a backslash and % written %%, so that it comes back
// as one argument, byte for byte, whatever it holds.
std::string quoteExecArgument(std::string_view argument);

// The value of key in the [Desktop Entry] group of a desktop entry's text (the first one,
// unescaped); nothing when the group or key is missing. Localised keys ("Exec[de]") are
// different keys.
std::optional<std::string> desktopEntryValue(std::string_view fileText, std::string_view key);

} // namespace qvp
