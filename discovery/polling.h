// The polling routine that fills the window's device list from the device table.
//
// Thread-safety: searchAndListDevices runs on a background thread of its own. It reaches the
// window only through SearchSink, whose calls must be carried out on the window's thread
// and return when done (except animationPlay/animationStop, which are direct calls).
// RowToRecord entries are atomics: the routine writes them while the window may read them.
#pragma once

#include "worker.h"

#include <array>
#include <atomic>

namespace qvd {

inline constexpr int MaxListedDevices = 20;

// Control ids of the main window.
enum ControlId : int
{
    IdDeviceList = 1000,
    IdShareList = 1001,
    IdCloseButton = 1002,
    IdMinimiseButton = 1003,
    IdAboutButton = 1004,
    IdConfigureButton = 1005,
    IdRefreshButton = 1006,
    IdDriveLetterBox = 1007,
    IdMapDriveButton = 1008,
    IdBrowseButton = 1009,
    IdVersionLabel = 1010,
    IdDeviceHeading = 1011,
    IdShareHeading = 1012,
    IdDriveLetterLabel = 1013,
    IdMsgTitle = 1014,
    IdMsgText = 1015,
    IdSearchAnimation = 1016,
    IdShortcutButton = 1017,
};

using RowToRecord = std::array<std::atomic<int>, MaxListedDevices>;

class SearchSink
{
public:
    virtual ~SearchSink() = default;
    virtual void clearList(int controlId) = 0;
    // Appends a row after the existing rows of the device list with its two column texts.
    virtual void appendDeviceRow(const char* name, const char* ip) = 0;
    virtual void setControlEnabled(int controlId, bool enabled) = 0;
    virtual void setControlVisible(int controlId, bool visible) = 0;
    virtual void animationStop() = 0;
    virtual void animationPlay() = 0;
    // Shows the no-device message box and returns when the user has closed it.
    virtual void showNoDeviceBox() = 0;
};

// Prepares the window, starts a worker (entry) unless one is running, lists the maker's
// devices one per poll interval, restores the window. Returns 0.
int searchAndListDevices(SearchSink& sink, RowToRecord& rowToRecord, WorkerEntry entry = runDiscoveryWorker);

} // namespace qvd
