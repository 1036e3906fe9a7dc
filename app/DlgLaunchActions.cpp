// The main window's launching actions: Configure, Browse and Create Desktop Shortcut.
#include "BrowseShare.h"
#include "CSkinListCtrl.h"
#include "ConfigureDevice.h"
#include "Cqv_discoveryDlg.h"
#include "DesktopShortcut.h"
#include "ShareActions.h"
#include "WindowSearchSink.h"

#include <QTimer>

namespace {

// How often a search that waits behind a running one looks whether it may start.
constexpr int QueuedSearchLookMs = 50;

} // namespace

void Cqv_discoveryDlg::OnConfigure()
{
    const int row = deviceListView->GetSelectedRow();
    OpenConfigurationPage(row, deviceListView->GetItemText(row, 1), RowToRecordTable(), this, [this] {
        RefreshDriveLetters();
        // One search at a time: when one is still running, the new one starts after it has
        // ended, and this thread does not wait for that.
        if (StartSearchThread(m_search, m_workerEntry)) {
            return;
        }
        auto* queued = new QTimer(this);
        connect(queued, &QTimer::timeout, this, [this, queued] {
            if (StartSearchThread(m_search, m_workerEntry)) {
                queued->deleteLater();
                queued->stop();
            }
        });
        queued->start(QueuedSearchLookMs);
    });
}

void Cqv_discoveryDlg::OnBrowse()
{
    const int deviceRow = deviceListView->GetSelectedRow();
    const int shareRow = shareListView->GetSelectedRow();
    // The folder is on the device that was listed, wherever the selection has moved since.
    BrowseSelectedShare(deviceRow, Shares()->ListedHost(), shareRow, shareListView->GetItemText(shareRow, 0));
}

void Cqv_discoveryDlg::OnCreateShortcut()
{
    const int row = deviceListView->GetSelectedRow();
    CreateDesktopShortcut(row, deviceListView->GetItemText(row, 0), deviceListView->GetItemText(row, 1),
                          RowToRecordTable());
}
