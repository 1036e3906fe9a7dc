#include "DesktopExec.h"

namespace qvp {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// One argument on its way out of the line: the text and whether anything but a dropped
// field code made it up.
struct Argument
{
    std::string text;
    bool kept = false;
    bool tookUrl = false;
};

// Applies a field code to the argument being built; false for a malformed line.
bool applyFieldCode(char code, const std::string& url, Argument& arg, bool& sawUrlCode)
{
    switch (code) {
    case 'u':
    case 'U':
    case 'f':
    case 'F':
        arg.text += url;
        arg.kept = true;
        arg.tookUrl = true;
        sawUrlCode = true;
        return true;
    case '%':
        arg.text += '%';
        arg.kept = true;
        return true;
    case '\0':
        return false;
    default:
        // %i %c %k and the deprecated codes: dropped.
        return true;
    }
}

} // namespace

std::string unescapeDesktopValue(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char next = value[i + 1];
        switch (next) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            out += '\\';
            out += next;
            break;
        }
        ++i;
    }
    return out;
}

std::optional<std::vector<std::string>> parseExecLine(std::string_view exec, const std::string& url)
{
    std::vector<std::string> argv;
    Argument arg;
    bool inArgument = false;
    bool sawUrlCode = false;
    bool programTookUrl = false;
    const auto finish = [&] {
        if (inArgument && arg.kept) {
            programTookUrl = programTookUrl || (argv.empty() && arg.tookUrl);
            argv.push_back(arg.text);
        }
        arg = Argument{};
        inArgument = false;
    };
    std::size_t i = 0;
    while (i < exec.size()) {
        const char c = exec[i];
        if (isBlank(c)) {
            finish();
            ++i;
            continue;
        }
        inArgument = true;
        if (c == '"') {
            // A quoted stretch: the text is literal, except that a backslash escapes " ` $ \.
            // Field codes stay field codes inside quotes too (%% is how a quoted % is written).
            arg.kept = true;
            ++i;
            bool closed = false;
            while (i < exec.size()) {
                const char q = exec[i];
                if (q == '"') {
                    closed = true;
                    ++i;
                    break;
                }
                if (q == '\\' && i + 1 < exec.size()) {
                    arg.text += exec[i + 1];
                    i += 2;
                    continue;
                }
                if (q == '%') {
                    if (!applyFieldCode(i + 1 < exec.size() ? exec[i + 1] : '\0', url, arg, sawUrlCode)) {
                        return std::nullopt;
                    }
                    i += 2;
                    continue;
                }
                arg.text += q;
                ++i;
            }
            if (!closed) {
                return std::nullopt;
            }
            continue;
        }
        if (c == '%') {
            if (!applyFieldCode(i + 1 < exec.size() ? exec[i + 1] : '\0', url, arg, sawUrlCode)) {
                return std::nullopt;
            }
            i += 2;
            continue;
        }
        if (c == '\\' && i + 1 < exec.size()) {
            // Outside quotes a backslash takes the next character literally.
            arg.text += exec[i + 1];
            arg.kept = true;
            i += 2;
            continue;
        }
        arg.text += c;
        arg.kept = true;
        ++i;
    }
    finish();
    // The program comes from the entry, never from the address it is given.
    if (argv.empty() || argv[0].empty() || programTookUrl) {
        return std::nullopt;
    }
    if (!sawUrlCode) {
        argv.push_back(url);
    }
    return argv;
}

std::string quoteExecArgument(std::string_view argument)
{
    std::string out = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            out += '\\';
        } else if (c == '%') {
            out += '%';
        }
        out += c;
    }
    return out + "\"";
}

std::optional<std::string> desktopEntryValue(std::string_view fileText, std::string_view key)
{
    bool inGroup = false;
    std::size_t pos = 0;
    while (pos < fileText.size()) {
        std::size_t end = fileText.find('\n', pos);
        if (end == std::string_view::npos) {
            end = fileText.size();
        }
        std::string_view line = fileText.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inGroup) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        std::string_view name = line.substr(0, equals);
        while (!name.empty() && isBlank(name.back())) {
            name.remove_suffix(1);
        }
        if (name != key) {
            continue;
        }
        std::string_view value = line.substr(equals + 1);
        while (!value.empty() && isBlank(value.front())) {
            value.remove_prefix(1);
        }
        return unescapeDesktopValue(value);
    }
    return std::nullopt;
}

} // namespace qvp
