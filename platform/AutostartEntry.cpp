#include "AutostartEntry.h"

#include "AtomicFile.h"
#include "DesktopEntryWriter.h"
#include "DesktopExec.h"

#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace qvp {

namespace {

class AutostartKeepingStore final : public ConnectionStore
{
public:
    AutostartKeepingStore(std::unique_ptr<ConnectionStore> inner, std::string entryPath, std::string programPath)
        : m_inner(std::move(inner))
        , m_entryPath(std::move(entryPath))
        , m_programPath(std::move(programPath))
    {
    }

    std::optional<ConnectionSnapshot> Load() override { return m_inner->Load(); }

    bool Save(const ConnectionSnapshot& connections) override
    {
        if (!anyConnection(connections)) {
            if (!m_inner->Save(connections)) {
                return false;
            }
            // A stale entry left behind only starts a restore that finds nothing to do.
            (void)removeRestoreEntry(m_entryPath);
            return true;
        }
        struct stat info
        {
        };
        const bool existed = ::lstat(m_entryPath.c_str(), &info) == 0;
        if (!writeRestoreEntry(m_entryPath, m_programPath)) {
            return false;
        }
        if (!m_inner->Save(connections)) {
            if (!existed) {
                (void)removeRestoreEntry(m_entryPath);
            }
            return false;
        }
        return true;
    }

private:
    std::unique_ptr<ConnectionStore> m_inner;
    std::string m_entryPath;
    std::string m_programPath;
};

} // namespace

std::string restoreEntryPath()
{
    const std::string home = configHome();
    return home.empty() ? std::string() : home + "/autostart/" + RestoreEntryName;
}

std::string currentProgramPath()
{
    char buffer[PATH_MAX];
    const ssize_t got = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (got <= 0 || static_cast<std::size_t>(got) >= sizeof buffer || buffer[0] != '/') {
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(got));
}

std::optional<std::string> restoreEntryText(std::string_view programPath)
{
    if (programPath.empty() || programPath[0] != '/') {
        return std::nullopt;
    }
    const std::string exec = escapeDesktopValue(quoteExecArgument(programPath) + " " + RestoreOption);
    const std::optional<std::vector<std::string>> back = parseExecLine(unescapeDesktopValue(exec), std::string());
    if (!back || back->size() < 2 || (*back)[0] != programPath || (*back)[1] != RestoreOption) {
        return std::nullopt;
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=QV Link drive letters\n"
           "Comment=Mounts the folders mapped to drive letters again\n"
           "Exec=" +
           exec +
           "\n"
           "NoDisplay=true\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool writeRestoreEntry(const std::string& path, std::string_view programPath)
{
    const std::optional<std::string> text = restoreEntryText(programPath);
    return text && !path.empty() && writeFileAtomically(path, *text, 0644);
}

bool removeRestoreEntry(const std::string& path)
{
    return !path.empty() && (::unlink(path.c_str()) == 0 || errno == ENOENT);
}

std::unique_ptr<ConnectionStore> makeAutostartKeepingStore(std::unique_ptr<ConnectionStore> inner,
                                                           std::string entryPath, std::string programPath)
{
    return std::make_unique<AutostartKeepingStore>(std::move(inner), std::move(entryPath), std::move(programPath));
}

} // namespace qvp
