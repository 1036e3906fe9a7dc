#include "BrowserLookup.h"

#include "AtomicFile.h"
#include "DesktopExec.h"
#include "Launcher.h"

#include <cstdlib>
#include <optional>

namespace qvp {
namespace {

// A desktop-entry file is small; a larger one is not what we look for.
constexpr std::size_t MaxEntryBytes = 256 * 1024;

std::optional<std::string> readSmallFile(const std::string& path)
{
    std::optional<std::string> text = readWholeFile(path, MaxEntryBytes);
    // A missing entry and an empty one hold no command alike.
    if (text && text->empty()) {
        return std::nullopt;
    }
    return text;
}

// A desktop-file id names a file, never a path: "../x.desktop" or "a/b" are not ids.
bool isPlainId(const std::string& id)
{
    return !id.empty() && id.find('/') == std::string::npos && id != "." && id != ".." && id.front() != '.';
}

// The entry's file under one data folder. A '-' in an id may stand for a subfolder
// ("kde-foo.desktop" is applications/kde/foo.desktop); the plain name is tried first.
std::optional<std::string> findEntryText(const std::string& dir, const std::string& id)
{
    const std::string base = dir + "/applications/";
    if (auto text = readSmallFile(base + id)) {
        return text;
    }
    std::string nested = id;
    for (char& c : nested) {
        if (c == '-') {
            c = '/';
            if (auto text = readSmallFile(base + nested)) {
                return text;
            }
        }
    }
    return std::nullopt;
}

std::string firstProgram(const char* list)
{
    std::string value(list);
    return value.substr(0, value.find(':'));
}

} // namespace

std::vector<std::string> openerCommand(const std::string& url)
{
    return {OpenerProgram, url};
}

std::vector<std::string> applicationDataDirs()
{
    std::vector<std::string> dirs;
    const char* dataHome = std::getenv("XDG_DATA_HOME"); // NOLINT(concurrency-mt-unsafe): nobody sets it
    const char* home = std::getenv("HOME");              // NOLINT(concurrency-mt-unsafe): nobody sets it
    if (dataHome != nullptr && dataHome[0] == '/') {
        dirs.emplace_back(dataHome);
    } else if (home != nullptr && home[0] == '/') {
        dirs.push_back(std::string(home) + "/.local/share");
    }
    const char* dataDirs = std::getenv("XDG_DATA_DIRS"); // NOLINT(concurrency-mt-unsafe): nobody sets it
    std::string list = dataDirs != nullptr && dataDirs[0] != '\0' ? dataDirs : "/usr/local/share:/usr/share";
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t end = list.find(':', pos);
        if (end == std::string::npos) {
            end = list.size();
        }
        std::string dir = list.substr(pos, end - pos);
        if (!dir.empty() && dir.front() == '/') {
            dirs.push_back(dir);
        }
        pos = end + 1;
    }
    return dirs;
}

std::vector<std::string> browserCommandFor(const std::string& browserId, const std::vector<std::string>& dataDirs,
                                           const char* browserEnv, const std::string& url)
{
    if (browserId.find("IE") != std::string::npos) {
        return openerCommand(url);
    }
    if (isPlainId(browserId)) {
        for (const std::string& dir : dataDirs) {
            const std::optional<std::string> text = findEntryText(dir, browserId);
            if (!text) {
                continue;
            }
            // The first entry found decides, as it hides the later ones of the same id.
            if (const std::optional<std::string> exec = desktopEntryValue(*text, "Exec")) {
                if (auto argv = parseExecLine(*exec, url)) {
                    return *argv;
                }
            }
            break;
        }
    }
    if (browserEnv != nullptr && browserEnv[0] != '\0') {
        return {firstProgram(browserEnv), url};
    }
    return {std::string(), url};
}

std::string defaultBrowserId(int timeoutMs)
{
    std::string id = runAndRead({"xdg-settings", "get", "default-web-browser"}, timeoutMs);
    while (!id.empty() && (id.back() == '\n' || id.back() == '\r' || id.back() == ' ')) {
        id.pop_back();
    }
    // One line is an answer; more is not.
    if (id.find('\n') != std::string::npos) {
        return {};
    }
    return id;
}

} // namespace qvp
