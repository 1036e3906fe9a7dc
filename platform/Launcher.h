// Starting other programs: the browser, the file manager, the opener, and the small desktop
// helpers whose answer is read back (xdg-settings, xdg-user-dir).
//
// Thread-safety: every function may be called from any thread. A started program inherits
// no descriptor of ours other than 0, 1 and 2, and its exit status is collected by a reaper
// thread, so it never lingers as a zombie.
#pragma once

#include <string>
#include <vector>

namespace qvp {

// Results of a start, with the values of the platform whose command launcher the callers
// mirror: above 31 means the program started.
enum StartResult : int
{
    StartFileNotFound = 2,
    StartPathNotFound = 3,
    StartBadFormat = 11,
    StartFailed = 0,
    StartOk = 33,
};

// A start that failed because the program is missing or cannot be run.
inline bool isMissingProgram(int result)
{
    return result == StartFileNotFound || result == StartPathNotFound || result == StartBadFormat;
}

// The interface the device actions start programs through; tests record the argument vectors.
class ProgramStarter
{
public:
    virtual ~ProgramStarter() = default;
    // argv[0] is the program, looked up in PATH when it holds no slash. Never a shell.
    virtual int Start(const std::vector<std::string>& argv) = 0;
};

class SpawnStarter final : public ProgramStarter
{
public:
    int Start(const std::vector<std::string>& argv) override;
};

// Starts argv without waiting for it; the same rules as SpawnStarter.
int spawnDetached(const std::vector<std::string>& argv);

// Runs argv with stdin on /dev/null and stdout into a pipe, and returns at most maxBytes of
// what it wrote; empty when it cannot be started, fails, or takes longer than timeoutMs (it is
// then killed). The child is always reaped.
std::string runAndRead(const std::vector<std::string>& argv, int timeoutMs, std::size_t maxBytes = 4096);

} // namespace qvp
