// The main window's side of the search: the sink through which searchAndListDevices reaches
// the window's controls, the rowToRecord table it fills, and the one-search-at-a-time flag.
//
// Thread-safety: the search thread calls the sink; each control change is posted to the
// window's thread and the caller waits until it has run (or has been dropped because the
// window went away). The animation's Stop and Play are direct calls on the calling thread, as
// CPictureEx allows. Close (UI thread) turns every later call into a no-op; the mutex makes
// sure that no call is half-way through posting or through Play/Stop when the window is
// destroyed. The window and the search thread share this object through a shared_ptr, so a
// search that outlives the window still finds its rowToRecord alive.
#pragma once

#include "polling.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class Cqv_discoveryDlg;

class WindowSearchSink final : public qvd::SearchSink
{
public:
    explicit WindowSearchSink(Cqv_discoveryDlg* dialog);

    WindowSearchSink(const WindowSearchSink&) = delete;
    WindowSearchSink& operator=(const WindowSearchSink&) = delete;

    // UI thread, before the window is destroyed.
    void Close();

    void clearList(int controlId) override;
    void appendDeviceRow(const char* name, const char* ip) override;
    void setControlEnabled(int controlId, bool enabled) override;
    void setControlVisible(int controlId, bool visible) override;
    void animationStop() override;
    void animationPlay() override;
    void showNoDeviceBox() override;

private:
    // Runs call on the window's thread and returns when it has run or has been discarded.
    void RunOnWindowThread(std::function<void(Cqv_discoveryDlg&)> call);

    std::mutex m_mutex;
    bool m_closed = false; // guarded by m_mutex
    Cqv_discoveryDlg* m_dialog;
};

struct SearchShared
{
    explicit SearchShared(Cqv_discoveryDlg* dialog);

    WindowSearchSink sink;
    qvd::RowToRecord rowToRecord;
    std::atomic<bool> busy{false};
};

// Starts searchAndListDevices on a detached thread unless a search is running; false when one
// is (or the thread could not be started).
bool StartSearchThread(const std::shared_ptr<SearchShared>& shared, qvd::WorkerEntry entry);
