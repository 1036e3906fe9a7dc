// The main window's share-list actions: the device list's click and Map Drive.
#include "Cqv_discoveryDlg.h"

void Cqv_discoveryDlg::OnDeviceListClicked(int /*row*/) {}

void Cqv_discoveryDlg::OnMapDrive() {}

void Cqv_discoveryDlg::RefreshDriveLetters()
{
    FillDriveLetterBox();
}
