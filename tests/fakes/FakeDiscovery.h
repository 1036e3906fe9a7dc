// A scripted discovery worker: publishes the script's devices into the real device table the
// way the worker does (record, then count with release), optionally holds until Release
// (at most 10 s), then sets done = 1 with release.
//
// Thread-safety: SetScript while no fake worker runs; the rest at any time.
#pragma once

#include <string>
#include <vector>

namespace fake {

struct FakeDevice
{
    std::string deviceType, friendlyName, hostPort, manufacturer;
};

inline constexpr char Maker[] = "Halvren Storage Corporation";

inline FakeDevice MakerDevice(const std::string& name, const std::string& hostPort)
{
    return {"MediaServer", name, hostPort, Maker};
}

// gapMs passes before each record. Resets the worker counters.
void SetScript(std::vector<FakeDevice> devices, int gapMs = 0, bool hold = false);
void Release();
int StartedWorkers();
int FinishedWorkers();
void WorkerEntry(); // the qvd::WorkerEntry

} // namespace fake
