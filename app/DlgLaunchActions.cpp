// The main window's launching actions: Configure, Browse and Create Desktop Shortcut.
#include "Cqv_discoveryDlg.h"

void Cqv_discoveryDlg::OnConfigure() {}

void Cqv_discoveryDlg::OnBrowse() {}

void Cqv_discoveryDlg::OnCreateShortcut() {}
