// The desktop shortcut file: its name, its text with every value escaped, the atomic write,
// and names that cannot be file names.
#include "DesktopEntryWriter.h"
#include "LaunchTestSupport.h"
#include "UrlEncoding.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

namespace {

using launchtest::TempDir;

std::set<std::string> filesIn(const std::string& folder)
{
    std::set<std::string> names;
    DIR* dir = opendir(folder.c_str());
    while (const dirent* entry = dir != nullptr ? readdir(dir) : nullptr) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.insert(name);
        }
    }
    if (dir != nullptr) {
        closedir(dir);
    }
    return names;
}

// Lines of the file, and each line's key (the text before '=').
std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        lines.push_back(text.substr(pos, end - pos));
        pos = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

TEST(DesktopValue, EscapesAndReplacements)
{
    struct Case
    {
        std::string in, out;
    } const cases[] = {
        {"Living Room", "Living Room"},
        {"a\\b", "a\\\\b"},
        {"x\ny\tz\rw", "x\\ny\\tz\\rw"},
        {"  lead", "\\s\\slead"},
        {"in side ", "in side "},
        {"\nIcon=evil", "\\nIcon=evil"},
        {std::string("a\x01"
                     "b\x7f",
                     4),
         "a\xEF\xBF\xBD"
         "b\xEF\xBF\xBD"},
        {std::string("n\0ul", 4), "n\xEF\xBF\xBDul"},
        {"caf\xC3\xA9 \xE6\x97\xA5", "caf\xC3\xA9 \xE6\x97\xA5"},
        {"bad\xff\xC3", "bad\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xC0\xAF overlong", "\xEF\xBF\xBD\xEF\xBF\xBD overlong"},
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // a surrogate is not UTF-8
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qvp::escapeDesktopValue(c.in), c.out) << c.in;
    }
}

TEST(ShortcutName, AcceptedAndRefusedNames)
{
    EXPECT_EQ(qvp::shortcutFileName("Living Room", "192.168.1.20"),
              std::optional<std::string>("Living Room (192.168.1.20).desktop"));
    EXPECT_TRUE(qvp::shortcutFileName("What? *", "10.0.0.1"));           // fine on Linux
    EXPECT_TRUE(qvp::shortcutFileName("..", "10.0.0.1"));                // ".. (10.0.0.1).desktop" is a name
    EXPECT_TRUE(qvp::shortcutFileName("-rf $(x) `y`;|\"'", "10.0.0.1")); // plain characters here
    EXPECT_FALSE(qvp::shortcutFileName("../../etc/x", "10.0.0.1"));
    EXPECT_FALSE(qvp::shortcutFileName("a/b", "10.0.0.1"));
    EXPECT_FALSE(qvp::shortcutFileName("Name", "10.0.0.1/.."));
    EXPECT_FALSE(qvp::shortcutFileName("line\nbreak", "10.0.0.1"));
    EXPECT_FALSE(qvp::shortcutFileName("tab\there", "10.0.0.1"));
    EXPECT_FALSE(qvp::shortcutFileName(std::string("nul\0x", 5), "10.0.0.1"));
    EXPECT_FALSE(qvp::shortcutFileName("del\x7f", "10.0.0.1"));
    // The suffix " (10.0.0.1).desktop" has 19 bytes: 236 more fit in 255, 237 do not.
    EXPECT_TRUE(qvp::shortcutFileName(std::string(236, 'n'), "10.0.0.1"));
    EXPECT_FALSE(qvp::shortcutFileName(std::string(237, 'n'), "10.0.0.1"));
    EXPECT_FALSE(qvp::shortcutFileName(std::string(300, 'n'), "10.0.0.1"));
}

TEST(ShortcutText, OneKeyPerLineWhateverTheDeviceSays)
{
    const std::string text = qvp::shortcutEntryText("Nas\nExec=rm -rf ~\r\n[Desktop Entry]\\ (1.2.3.4)",
                                                    "1.2.3.4/\n@evil#", "qvlink-device-247");
    const std::vector<std::string> lines = linesOf(text);
    ASSERT_EQ(lines.size(), 6u) << text;
    EXPECT_EQ(lines[0], "[Desktop Entry]");
    EXPECT_EQ(lines[1], "Version=1.0");
    EXPECT_EQ(lines[2], "Type=Link");
    EXPECT_EQ(lines[3], "Name=Nas\\nExec=rm -rf ~\\r\\n[Desktop Entry]\\\\ (1.2.3.4)");
    EXPECT_EQ(lines[4], "URL=smb://1.2.3.4%2F%0A%40evil%23/");
    EXPECT_EQ(lines[5], "Icon=qvlink-device-247");
    EXPECT_EQ(linesOf(qvp::shortcutEntryText("A", "10.0.0.1", "")).size(), 5u); // no Icon= line
}

TEST(UrlParts, PercentEncodingAndHosts)
{
    EXPECT_EQ(qvp::percentEncode("My Share$/..%?#"), "My%20Share%24%2F..%25%3F%23");
    EXPECT_EQ(qvp::percentEncode("a:b", ":"), "a:b");
    EXPECT_EQ(qvp::percentEncode("\xC3\xA9-_.~"), "%C3%A9-_.~");
    EXPECT_EQ(qvp::urlHost("192.168.1.20"), "192.168.1.20");
    EXPECT_EQ(qvp::urlHost("fe80::1"), "[fe80::1]");
    EXPECT_EQ(qvp::urlHost("evil:1@x"), "evil%3A1%40x");
}

TEST(ShortcutFile, WrittenReplacedAndRefused)
{
    TempDir dir;
    const std::string desktop = dir.path() + "/Desktop";
    ASSERT_TRUE(qvp::makeFolders(desktop));
    using qvp::ShortcutResult;
    EXPECT_EQ(qvp::writeDesktopShortcut(desktop, "Living Room", "192.168.1.20", "qvlink-device-247"),
              ShortcutResult::Written);
    const std::string path = desktop + "/Living Room (192.168.1.20).desktop";
    EXPECT_EQ(launchtest::readFile(path), "[Desktop Entry]\nVersion=1.0\nType=Link\nName=Living Room (192.168.1.20)\n"
                                          "URL=smb://192.168.1.20/\nIcon=qvlink-device-247\n");
    struct stat info
    {
    };
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);

    // Again, without an icon: replaced in place. The same name at another address: a second file.
    EXPECT_EQ(qvp::writeDesktopShortcut(desktop, "Living Room", "192.168.1.20", ""), ShortcutResult::Written);
    EXPECT_EQ(launchtest::readFile(path).find("Icon="), std::string::npos);
    EXPECT_EQ(qvp::writeDesktopShortcut(desktop, "Living Room", "192.168.1.21", ""), ShortcutResult::Written);
    EXPECT_EQ(qvp::writeDesktopShortcut(desktop, "What?*", "10.0.0.1", ""), ShortcutResult::Written);

    for (const std::string& name : {std::string("../../escape"), std::string("a\nb"), std::string(300, 'x')}) {
        EXPECT_EQ(qvp::writeDesktopShortcut(desktop, name, "10.0.0.1", ""), ShortcutResult::RefusedName);
    }
    EXPECT_EQ(qvp::writeDesktopShortcut(desktop + "/none", "A", "10.0.0.1", ""), ShortcutResult::NoFolder);
    // A folder in the way of the name: no file, nothing left behind.
    ASSERT_TRUE(qvp::makeFolders(desktop + "/Busy (10.0.0.9).desktop"));
    EXPECT_EQ(qvp::writeDesktopShortcut(desktop, "Busy", "10.0.0.9", ""), ShortcutResult::WriteFailed);

    EXPECT_EQ(filesIn(desktop),
              (std::set<std::string>{"Living Room (192.168.1.20).desktop", "Living Room (192.168.1.21).desktop",
                                     "What?* (10.0.0.1).desktop", "Busy (10.0.0.9).desktop"}));
    EXPECT_EQ(filesIn(dir.path()), (std::set<std::string>{"Desktop"}));
}

TEST(ShortcutFile, DesktopFolderFromTheUserDirsOrHome)
{
    TempDir dir;
    const std::string home = dir.path() + "/home";
    ASSERT_TRUE(qvp::makeFolders(home + "/Schreibtisch"));
    ASSERT_TRUE(qvp::makeFolders(home + "/.config"));
    // NOLINTBEGIN(concurrency-mt-unsafe): single-threaded test
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    EXPECT_EQ(qvp::desktopFolder(), ""); // neither the default ~/Desktop nor a configured folder
    launchtest::writeFile(home + "/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    EXPECT_EQ(qvp::desktopFolder(), home + "/Schreibtisch");
    launchtest::writeFile(home + "/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/gone\"\n");
    ASSERT_TRUE(qvp::makeFolders(home + "/Desktop"));
    EXPECT_EQ(qvp::desktopFolder(), home + "/Desktop");
    // NOLINTEND(concurrency-mt-unsafe)
}

} // namespace
