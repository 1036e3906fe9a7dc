// The main window's share-list actions: the device list's click and Map Drive.
#include "CMsgBox.h"
#include "CSkinListCtrl.h"
#include "Cqv_discoveryDlg.h"
#include "CxSkinButton.h"
#include "DriveLetters.h"
#include "Language.h"
#include "ShareActions.h"

#include <QComboBox>

ShareActions* Cqv_discoveryDlg::Shares()
{
    if (m_shareActions == nullptr) {
        const ShareControls controls{deviceListView, shareListView, driveLetterBox, mapDriveButton, browseButton};
        MapDriveReporter reporter{[](int stringId) { return LoadAppString(stringId); },
                                  [this](int kind, const QString& text) {
                                      CMsgBox box(this);
                                      box.kind = kind;
                                      box.text = text;
                                      box.exec();
                                  }};
        m_shareActions = new ShareActions(controls, std::move(reporter), this);
        m_shareActions->setObjectName(QStringLiteral("shareActions"));
    }
    return m_shareActions;
}

void Cqv_discoveryDlg::OnDeviceListClicked(int /*row*/)
{
    // Every left click lists again, whether or not the selection changed.
    Shares()->ListDeviceShares();
}

void Cqv_discoveryDlg::OnMapDrive()
{
    Shares()->MapSelectedShare();
}

void Cqv_discoveryDlg::OnShareListCleared()
{
    if (m_shareActions != nullptr) {
        m_shareActions->DropListing();
    }
}

void Cqv_discoveryDlg::FillDriveLetterBox()
{
    ::FillDriveLetterBox(*driveLetterBox);
}

void Cqv_discoveryDlg::RefreshDriveLetters()
{
    RefreshDriveLetterTable();
    FillDriveLetterBox();
}
