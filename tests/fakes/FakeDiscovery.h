// A scripted discovery worker for the window tests: publishes the given devices into the real
// device table the way the worker does (record first, then count with release), optionally
// holds before it reports the end, then sets done = 1 (release).
//
// Thread-safety: configure from the test thread while no fake worker runs; Release and the
// counters may be used at any time.
#pragma once

#include <string>
#include <vector>

namespace fake {

struct FakeDevice
{
    std::string deviceType;
    std::string friendlyName;
    std::string hostPort;
    std::string manufacturer;
};

inline constexpr char Maker[] = "Halvren Storage Corporation";

// A listed device: the maker's media server at host.
inline FakeDevice MakerDevice(const std::string& name, const std::string& hostPort)
{
    return {"MediaServer", name, hostPort, Maker};
}

// The script for the next workers. gapMs passes before each record; with hold set the
// worker waits for Release (at most 10 s) before it reports the end.
void SetScript(std::vector<FakeDevice> devices, int gapMs = 0, bool hold = false);
void Release();
// Workers started and finished since the last SetScript.
int StartedWorkers();
int FinishedWorkers();

// The qvd::WorkerEntry.
void WorkerEntry();

} // namespace fake
