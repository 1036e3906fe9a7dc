#include "Launcher.h"

#include "UniqueFd.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace qvp {
namespace {

using qvd::UniqueFd;

// Owns the spawn attribute and file-action objects for one start.
class SpawnSetup
{
public:
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
    }
    ~SpawnSetup()
    {
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&actions);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
};

// Whatever signal mask or ignored signals the calling thread has (Qt blocks some on its
// threads, SIGPIPE may be ignored), the started program begins with the defaults.
int prepareAttributes(posix_spawnattr_t& attr, bool ownSession)
{
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (ownSession) {
        // A browser must outlive us and not receive our terminal's hang-up.
        flags = static_cast<short>(flags | POSIX_SPAWN_SETSID);
    }
    int error = posix_spawnattr_setsigmask(&attr, &none);
    if (error == 0) {
        error = posix_spawnattr_setsigdefault(&attr, &all);
    }
    if (error == 0) {
        error = posix_spawnattr_setflags(&attr, flags);
    }
    return error;
}

int startResultFromErrno(int error)
{
    switch (error) {
    case 0:
        return StartOk;
    case ENOENT:
        return StartFileNotFound;
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
        return StartPathNotFound;
    case ENOEXEC:
    case EACCES:
    case EISDIR:
        return StartBadFormat;
    default:
        return StartFailed;
    }
}

std::vector<char*> argvPointers(const std::vector<std::string>& argv)
{
    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (const std::string& arg : argv) {
        pointers.push_back(const_cast<char*>(arg.c_str()));
    }
    pointers.push_back(nullptr);
    return pointers;
}

void waitFor(pid_t pid)
{
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// Whether pid exited before deadline; its status is then in status and it has been reaped.
bool waitUntil(pid_t pid, std::chrono::steady_clock::time_point deadline, int& status)
{
    // How often the child is looked at once its output has ended: most exit at once.
    constexpr auto LookInterval = std::chrono::milliseconds(2);
    for (;;) {
        const pid_t got = waitpid(pid, &status, WNOHANG);
        if (got == pid) {
            return true;
        }
        if (got < 0 && errno != EINTR) {
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(LookInterval);
    }
}

// Collects the exit status of a program we do not wait for.
void reapLater(pid_t pid)
{
    try {
        std::thread([pid] { waitFor(pid); }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: wait here rather than leave a zombie behind.
        waitFor(pid);
    }
}

int spawn(const std::vector<std::string>& argv, SpawnSetup& setup, pid_t& pid)
{
    if (argv.empty()) {
        return ENOENT;
    }
    std::vector<char*> pointers = argvPointers(argv);
    return posix_spawnp(&pid, pointers[0], &setup.actions, &setup.attr, pointers.data(), environ);
}

} // namespace

int spawnDetached(const std::vector<std::string>& argv)
{
    SpawnSetup setup;
    int error = prepareAttributes(setup.attr, true);
    if (error == 0) {
        error = posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    }
    if (error == 0) {
        // Sockets, the lock file and the local server are ours alone, even those a library
        // opened without close-on-exec.
        error = posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    }
    if (error != 0) {
        return StartFailed;
    }
    pid_t pid = -1;
    error = spawn(argv, setup, pid);
    if (error == 0) {
        reapLater(pid);
    }
    return startResultFromErrno(error);
}

int SpawnStarter::Start(const std::vector<std::string>& argv)
{
    return spawnDetached(argv);
}

std::string runAndRead(const std::vector<std::string>& argv, int timeoutMs, std::size_t maxBytes)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return {};
    }
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    SpawnSetup setup;
    int error = prepareAttributes(setup.attr, false);
    const int steps[] = {
        error,
        posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0),
        posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.get(), 1),
        posix_spawn_file_actions_addopen(&setup.actions, 2, "/dev/null", O_WRONLY, 0),
        posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3),
    };
    for (int step : steps) {
        if (step != 0) {
            return {};
        }
    }
    pid_t pid = -1;
    if (spawn(argv, setup, pid) != 0) {
        return {};
    }
    writeEnd.reset();

    std::string output;
    bool complete = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            break;
        }
        pollfd pfd{readEnd.get(), POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            break;
        }
        char buffer[1024];
        const ssize_t got = read(readEnd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            complete = got == 0;
            break;
        }
        output.append(buffer, std::min(static_cast<std::size_t>(got), maxBytes - std::min(maxBytes, output.size())));
    }
    // A child may close its output and go on running (or leave a descendant holding it): the
    // deadline covers its exit too.
    int status = 0;
    const bool exited = complete && waitUntil(pid, deadline, status);
    if (!exited) {
        kill(pid, SIGKILL);
        waitFor(pid);
        return {};
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return {};
    }
    return output;
}

} // namespace qvp
