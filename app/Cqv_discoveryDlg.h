// The program's only top-level window: a borderless, fixed-size window drawn from skin bitmaps,
// with the device list, the share list, the drive-letter box, the action buttons and three
// title-bar buttons. It starts a search when it opens and on Refresh.
//
// Thread-safety: a widget; UI thread only. The search thread reaches it only through
// WindowSearchSink, which posts to this thread.
#pragma once

#include "SkinWindow.h"
#include "polling.h"
#include "worker.h"

#include <QFont>
#include <QIcon>
#include <memory>

class CPictureEx;
class CSkinListCtrl;
class CxSkinButton;
class QComboBox;
class QLabel;
class QMenu;
class ShareActions;
struct SearchShared;

// The window-menu command that opens the About box.
inline constexpr int AboutCommandId = 16;

class Cqv_discoveryDlg : public SkinDialog
{
    Q_OBJECT

public:
    // workerEntry runs the discovery worker of each search (tests pass a scripted one).
    explicit Cqv_discoveryDlg(QWidget* parent = nullptr, qvd::WorkerEntry workerEntry = qvd::runDiscoveryWorker);
    ~Cqv_discoveryDlg() override;

    Cqv_discoveryDlg(const Cqv_discoveryDlg&) = delete;
    Cqv_discoveryDlg& operator=(const Cqv_discoveryDlg&) = delete;

    int BackgroundId() const override;
    // Never shown as modal, even when run with exec(): the window has no owner to be modal to.
    void setVisible(bool visible) override;

    // The control with a dialog control id; null for an id this window does not have.
    QWidget* ControlById(int controlId) const;
    CPictureEx* Animation() const { return searchAnimation; }
    // The device-list row to device-table index map of the latest search.
    const qvd::RowToRecord& RowToRecordTable() const;
    // Whether a search thread is running.
    bool IsSearching() const;

public slots:
    void OnRefresh();
    // Device actions. The share-list side (DlgShareActions.cpp): the device list's click
    // (control 1000) and Map Drive (1008).
    void OnDeviceListClicked(int row);
    void OnMapDrive();
    // A search has emptied the share list: a listing still out is dropped.
    void OnShareListCleared();
    // The launching side (DlgLaunchActions.cpp): Configure (1005), Browse (1009) and Create
    // Desktop Shortcut (1017).
    void OnConfigure();
    void OnBrowse();
    void OnCreateShortcut();
    void OnAbout();
    void OnMinimise();

signals:
    // Once, just after the window's first frame has been painted and handed to the window
    // system: work that the first frame does not need waits for this.
    void firstFrameShown();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void OnFirstFrame();
    void CreateControls();
    void OnInitDialog() override;
    void BuildSystemMenu();
    void SkinButton(CxSkinButton* button, int normal, int pressed, int over, int disabled, int captionId);
    void FillDriveLetterBox();
    // Re-reads the drive letters' connections and refills the drive-letter box.
    void RefreshDriveLetters();
    // The share-list actions, made on first use.
    ShareActions* Shares();
    void PrepareAnimation();

    CSkinListCtrl* shareListView = nullptr;
    CSkinListCtrl* deviceListView = nullptr;
    QFont listFont;
    QFont shareListFont;
    CxSkinButton* closeButton = nullptr;
    CxSkinButton* aboutButton = nullptr;
    CxSkinButton* minimiseButton = nullptr;
    CxSkinButton* refreshButton = nullptr;
    QComboBox* driveLetterBox = nullptr;
    CxSkinButton* configureButton = nullptr;
    CxSkinButton* browseButton = nullptr;
    CxSkinButton* mapDriveButton = nullptr;
    CxSkinButton* shortcutButton = nullptr;
    QFont buttonFont;
    QFont headingFont;
    QFont labelFont;
    QIcon appIcon;
    CPictureEx* searchAnimation = nullptr;

    QLabel* deviceHeading = nullptr;
    QLabel* shareHeading = nullptr;
    QLabel* driveLetterLabel = nullptr;
    qvd::WorkerEntry m_workerEntry;
    // rowToRecord lives here, shared with the search thread, which may outlive the window.
    std::shared_ptr<SearchShared> m_search;
    ShareActions* m_shareActions = nullptr;
    bool m_firstFramePainted = false;
};
