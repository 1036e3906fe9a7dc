// Configure: the device's web page in the default browser, after a check that the device
// still answers; a device that does not gets a warning and the window searches again.
//
// Thread-safety: UI thread, except the reachability check, which runs on a short-lived
// thread of its own with a copy of the page address and reports through AvailabilityFlag, and
// the browser's start, a background job (BackgroundJobs.h).
#pragma once

#include "devicetable.h"
#include "polling.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class QWidget;

// The page address of a device from its list address and its record's presentationURL.
std::string MakePageAddress(const std::string& address, const qvd::DeviceRecord& copy);

// AvailabilityFlag: 0 undecided, 1 available, -1 unavailable, as the value of the check with
// a sequence number; a check answers only while its number is the current one, so the late
// answer of an older check never passes for the answer of the current one.
class AvailabilityFlagState
{
public:
    // Sets the flag to 0 under a new sequence number and returns that number.
    std::uint32_t Reset();
    // The check with number seq answers; ignored unless seq is current and still undecided.
    void Answer(std::uint32_t seq, bool available);
    int Value() const;

private:
    static std::uint64_t Pack(std::uint32_t seq, int value);
    std::atomic<std::uint64_t> m_state{0};
};

extern AvailabilityFlagState AvailabilityFlag;

// Sets the flag to 0 and starts the check of pageAddress on its own thread.
void StartAvailabilityCheck(const std::string& pageAddress);

// Waits (twice at most) for the check's answer; 1 when available. Otherwise shows the warning
// owned by window, runs whenUnavailable after it has been closed, and returns 0.
int WaitForDeviceAvailable(QWidget* window, const std::function<void()>& whenUnavailable);

// The command of the Configure button for the device-list row (-1: no selection) whose
// address column is address.
void OpenConfigurationPage(int row, const QString& address, const qvd::RowToRecord& rowToRecord, QWidget* window,
                           const std::function<void()>& whenUnavailable);

// Opens http://<pageAddress> in the default browser, or with the opener when the browser
// cannot be started. Blocks while the default browser is looked up: call it off the UI thread.
void LaunchBrowser(const std::string& pageAddress);
