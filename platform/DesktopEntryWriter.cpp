// GIO's headers use words Qt reserves; this file has no Qt, and GIO comes first anyway.
#include "DesktopEntryWriter.h"

#include "AtomicFile.h"
#include "GObjectPtr.h"
#include "Launcher.h"
#include "UrlEncoding.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qvp {
namespace {

constexpr char Replacement[] = "\xEF\xBF\xBD";

// The length of the valid UTF-8 sequence at text[i], or 0 when none starts there.
std::size_t utf8Length(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned min = 0;
    unsigned value = 0;
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, min = 0x80, value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, min = 0x800, value = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, min = 0x10000, value = lead & 0x07u;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (byte(i + k) & 0x3Fu);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    return length;
}

bool isControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool isFolder(const std::string& path)
{
    struct stat info
    {
    };
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::string escapeDesktopValue(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    bool leading = true;
    std::size_t i = 0;
    while (i < value.size()) {
        const char c = value[i];
        if (leading && c == ' ') {
            out += "\\s";
            ++i;
            continue;
        }
        leading = false;
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (isControl(c)) {
                out += Replacement;
                break;
            }
            if (const std::size_t length = utf8Length(value, i); length > 0) {
                out.append(value.substr(i, length));
                i += length;
                continue;
            }
            out += Replacement;
            break;
        }
        ++i;
    }
    return out;
}

std::optional<std::string> shortcutFileName(std::string_view name, std::string_view address, long nameMax)
{
    std::string fileName;
    fileName.reserve(name.size() + address.size() + 12);
    fileName.append(name).append(" (").append(address).append(").desktop");
    for (const char c : fileName) {
        if (c == '/' || isControl(c)) {
            return std::nullopt;
        }
    }
    if (fileName == "." || fileName == ".." || static_cast<long>(fileName.size()) > nameMax) {
        return std::nullopt;
    }
    return fileName;
}

std::string shortcutEntryText(std::string_view shownName, std::string_view address, std::string_view iconName)
{
    std::string text = "[Desktop Entry]\nVersion=1.0\nType=Link\nName=";
    text += escapeDesktopValue(shownName);
    text += "\nURL=";
    text += escapeDesktopValue("smb://" + urlHost(address) + "/");
    text += '\n';
    if (!iconName.empty()) {
        text += "Icon=";
        text += escapeDesktopValue(iconName);
        text += '\n';
    }
    return text;
}

ShortcutResult writeDesktopShortcut(const std::string& folder, std::string_view name, std::string_view address,
                                    std::string_view iconName)
{
    if (!isFolder(folder)) {
        return ShortcutResult::NoFolder;
    }
    long nameMax = pathconf(folder.c_str(), _PC_NAME_MAX);
    if (nameMax <= 0) {
        nameMax = 255;
    }
    const std::optional<std::string> fileName = shortcutFileName(name, address, nameMax);
    if (!fileName) {
        return ShortcutResult::RefusedName;
    }
    std::string shown;
    shown.append(name).append(" (").append(address).append(")");
    if (!writeFileAtomically(folder + "/" + *fileName, shortcutEntryText(shown, address, iconName), 0755)) {
        return ShortcutResult::WriteFailed;
    }
    markTrusted(folder + "/" + *fileName);
    return ShortcutResult::Written;
}

bool makeFolders(const std::string& path)
{
    if (path.empty() || path.front() != '/') {
        return false;
    }
    std::size_t pos = 1;
    while (pos <= path.size()) {
        std::size_t end = path.find('/', pos);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string part = path.substr(0, end);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        pos = end + 1;
    }
    return isFolder(path);
}

void markTrusted(const std::string& path)
{
    // NOLINTNEXTLINE(concurrency-mt-unsafe): nothing in the program sets the environment.
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (bus == nullptr || bus[0] == '\0') {
        return;
    }
    GPtr<GFile> file(g_file_new_for_path(path.c_str()));
    GError* raw = nullptr;
    // A desktop without metadata support just does not mark it; nothing to report.
    g_file_set_attribute_string(file.get(), "metadata::trusted", "true", G_FILE_QUERY_INFO_NONE, nullptr, &raw);
    ErrorPtr error(raw);
}

std::string desktopFolder()
{
    std::string answer = runAndRead({"xdg-user-dir", "DESKTOP"}, 3000);
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) {
        answer.pop_back();
    }
    if (!answer.empty() && answer.front() == '/' && answer.find('\n') == std::string::npos && isFolder(answer)) {
        return answer;
    }
    // NOLINTNEXTLINE(concurrency-mt-unsafe): nothing in the program sets the environment.
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        const std::string fallback = std::string(home) + "/Desktop";
        if (isFolder(fallback)) {
            return fallback;
        }
    }
    return {};
}

} // namespace qvp
