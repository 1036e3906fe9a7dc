// Helpers of the launching tests: a temporary folder, small file reads and writes, the
// recorder program's records, and a wait until no child of this process is a zombie.
//
// Thread-safety: call from the test's thread.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#ifndef QVD_TEST_DATA_DIR
#error "QVD_TEST_DATA_DIR must name tests/data"
#endif

namespace launchtest {

inline std::string RecorderPath()
{
    return QVD_TEST_DATA_DIR "/launch/record-argv";
}

class TempDir
{
public:
    TempDir()
    {
        char pattern[] = "/tmp/qvlink-test-XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            m_path = pattern;
        }
    }
    ~TempDir()
    {
        if (!m_path.empty()) {
            const std::string command = "rm -rf '" + m_path + "'";
            [[maybe_unused]] const int ignored = std::system(command.c_str()); // NOLINT(concurrency-mt-unsafe)
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

inline bool exists(const std::string& path)
{
    struct stat info
    {
    };
    return lstat(path.c_str(), &info) == 0;
}

inline void writeFile(const std::string& path, const std::string& text)
{
    const std::string folder = path.substr(0, path.rfind('/'));
    const std::string command = "mkdir -p '" + folder + "'";
    [[maybe_unused]] const int ignored = std::system(command.c_str()); // NOLINT(concurrency-mt-unsafe)
    std::ofstream(path, std::ios::binary) << text;
}

// A read error ends the text instead of throwing: a /proc file of a process reaped between
// open and read fails with ESRCH, and the stream's buffer throws that through its iterator.
inline std::string readFile(const std::string& path)
{
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return text;
}

// The recorder's records: each one the program's name and its arguments. A record cut short
// (the recorder still writing) is left out.
inline std::vector<std::vector<std::string>> readRecords(const std::string& path)
{
    const std::string text = readFile(path);
    std::vector<std::string> fields;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find('\0', pos);
        if (end == std::string::npos) {
            break;
        }
        fields.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    std::vector<std::vector<std::string>> records;
    std::size_t i = 0;
    while (i < fields.size()) {
        const std::size_t count = std::strtoul(fields[i].c_str(), nullptr, 10);
        if (i + 1 + 1 + count > fields.size()) {
            break;
        }
        records.emplace_back(fields.begin() + static_cast<long>(i + 1),
                             fields.begin() + static_cast<long>(i + 2 + count));
        i += 2 + count;
    }
    return records;
}

inline std::vector<std::vector<std::string>> waitForRecords(const std::string& path, std::size_t count,
                                                            int timeoutMs = 5000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto records = readRecords(path);
    while (records.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        records = readRecords(path);
    }
    return records;
}

// Children of this process that have ended but were not waited for.
inline int zombieChildren()
{
    int zombies = 0;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        return -1;
    }
    while (const dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') {
            continue; // not a process
        }
        const std::string stat = readFile(std::string("/proc/") + entry->d_name + "/stat");
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 4 > stat.size()) {
            continue;
        }
        const char state = stat[close + 2];
        const long parent = std::strtol(stat.c_str() + close + 4, nullptr, 10);
        if (state == 'Z' && parent == getpid()) {
            ++zombies;
        }
    }
    closedir(proc);
    return zombies;
}

inline bool waitForNoZombies(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (zombieChildren() != 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace launchtest
