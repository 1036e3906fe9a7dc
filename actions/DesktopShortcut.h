// Create Desktop Shortcut: a desktop entry on the user's desktop that opens the device's list
// of shares, with a device icon chosen from its model number.
//
// Thread-safety: CreateDesktopShortcut on the UI thread; it writes the files from a background
// job (BackgroundJobs.h). The other functions may be called from any thread.
#pragma once

#include "polling.h"

#include <QString>
#include <string>

// 0 (no icon) or 1 to 9 by the model table: the first code of the table found anywhere in
// modelNumber decides.
int IconIndexForModel(const char* modelNumber);

// The icon theme name of device icon index 1 to 9 ("qvlink-device-246" ...).
std::string DeviceIconName(int iconIndex);

// Copies the device icons from the program's resources into <dataHome>/icons/hicolor where a
// copy is missing or differs in size; false when one could not be written.
bool ExportDeviceIcons(const std::string& dataHome);

// The command of the Create Desktop Shortcut button for the device-list row (-1: none) with
// its name and address columns. Reports nothing; the files are written shortly after.
void CreateDesktopShortcut(int row, const QString& name, const QString& address, const qvd::RowToRecord& rowToRecord);
