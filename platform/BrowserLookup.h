// Finding the command that opens a web address in the user's default browser, and the
// command that opens any address with the desktop's own handler (the fallback).
//
// Thread-safety: reentrant; reads the environment and files, runs xdg-settings.
#pragma once

#include <string>
#include <vector>

namespace qvp {

// The program that opens an address with the desktop's default handler.
inline constexpr char OpenerProgram[] = "xdg-open";

// The opener's argument vector for url.
std::vector<std::string> openerCommand(const std::string& url);

// The folders searched for applications/<id>: XDG_DATA_HOME (or ~/.local/share), then
// XDG_DATA_DIRS (or /usr/local/share and /usr/share).
std::vector<std::string> applicationDataDirs();

// The command for url given the default browser's desktop-entry id (as xdg-settings reports
// it) and the folders to look in:
// - an id holding the capital letters "IE" anywhere: the opener;
// - an entry found with a usable Exec line: that line with url put in;
// - otherwise $BROWSER (browserEnv, its first ':'-separated program) with url;
// - otherwise a blank program name with url, which cannot start.
std::vector<std::string> browserCommandFor(const std::string& browserId, const std::vector<std::string>& dataDirs,
                                           const char* browserEnv, const std::string& url);

// The default browser's desktop-entry id from `xdg-settings get default-web-browser`; empty
// when there is no such tool or desktop, or it does not answer within timeoutMs.
std::string defaultBrowserId(int timeoutMs = 3000);

} // namespace qvp
