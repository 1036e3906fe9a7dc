#include "AtomicFile.h"

#include "UniqueFd.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qvp {

std::optional<std::string> readWholeFile(const std::string& path, std::size_t maxBytes)
{
    qvd::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ENOENT) {
            return std::string();
        }
        return std::nullopt;
    }
    std::string data;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            return data;
        }
        data.append(buffer, static_cast<std::size_t>(got));
        if (data.size() > maxBytes) {
            return std::nullopt;
        }
    }
}

namespace {

bool makeParents(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string dir = path.substr(0, slash);
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

bool writeAll(int fd, std::string_view data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t wrote = ::write(fd, data.data() + done, data.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

// Bounds the links followed, as the kernel does (ELOOP after 40).
constexpr int MaxLinks = 40;

// The file a chain of symbolic links ends at (which need not exist yet); nothing for a loop or
// an unreadable link.
std::optional<std::string> finalTarget(std::string path)
{
    for (int followed = 0; followed <= MaxLinks; ++followed) {
        struct stat info
        {
        };
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return path;
        }
        std::vector<char> target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
        const ssize_t got = ::readlink(path.c_str(), target.data(), target.size());
        if (got <= 0 || static_cast<std::size_t>(got) >= target.size()) {
            return std::nullopt;
        }
        std::string next(target.data(), static_cast<std::size_t>(got));
        if (next[0] != '/') {
            next = path.substr(0, path.rfind('/') + 1) + next;
        }
        path = std::move(next);
    }
    return std::nullopt;
}

} // namespace

bool writeFileAtomically(const std::string& path, std::string_view data, mode_t mode, ExistingFile existing)
{
    if (existing == ExistingFile::KeepLinkAndMode) {
        std::optional<std::string> target = finalTarget(path);
        struct stat info
        {
        };
        if (!target) {
            return false;
        }
        if (::stat(target->c_str(), &info) == 0) {
            mode = info.st_mode & 07777;
        }
        return writeFileAtomically(*target, data, mode, ExistingFile::Replace);
    }
    const std::size_t slash = path.rfind('/');
    if (path.empty() || slash == std::string::npos || slash + 1 == path.size() || !makeParents(path)) {
        return false;
    }
    std::string tmp = path.substr(0, slash) + "/.qvlink-XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    qvd::UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.valid()) {
        return false;
    }
    tmp.assign(name.data());
    const bool written = ::fchmod(fd.get(), mode) == 0 && writeAll(fd.get(), data) && ::fsync(fd.get()) == 0;
    fd.reset();
    if (!written || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

std::string configHome()
{
    // Read once per call on the UI thread; nothing here sets the environment.
    const char* xdg = std::getenv("XDG_CONFIG_HOME"); // NOLINT(concurrency-mt-unsafe)
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME"); // NOLINT(concurrency-mt-unsafe)
    if (home != nullptr && home[0] == '/') {
        return std::string(home) + "/.config";
    }
    return {};
}

} // namespace qvp
