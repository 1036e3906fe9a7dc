// Browse: the folder selected in the share list, opened in the file manager.
//
// Thread-safety: UI thread.
#pragma once

#include <QString>
#include <string>

// smb://<host>/<share>, both percent-encoded.
std::string ShareUrl(const QString& host, const QString& share);

// The Browse command: deviceRow and shareRow are the lists' selected rows (-1: none), host
// the address of the device whose shares are listed (empty: none), share the share row's
// name column. Reports nothing.
void BrowseSelectedShare(int deviceRow, const QString& host, int shareRow, const QString& share);
