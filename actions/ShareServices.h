// The platform objects the share actions use, one set per process. The real ones (libsmbclient,
// the connection and bookmark files, GVfs) are made on first use; tests install fakes first.
// Also the credentials kept for the run, per server, and the dialog that asks for them.
//
// Thread-safety: UI thread only.
#pragma once

#include "DriveTypes.h"
#include "GtkBookmarks.h"
#include "RememberedConnections.h"
#include "ShareMount.h"
#include "SmbShares.h"
#include "WindowsVersion.h"

#include <QString>
#include <map>
#include <optional>
#include <string>

namespace qva {

struct ShareServices
{
    qvp::ShareLister* lister = nullptr;
    qvp::ConnectionStore* connections = nullptr;
    qvp::DriveTypeSource* driveTypes = nullptr;
    qvp::ShareMounter* mounter = nullptr;
    qvp::BookmarkStore* bookmarks = nullptr;
    qvp::VersionQuery* version = nullptr;
    qvp::CredentialsSource* credentials = nullptr;
};

// The installed services, else the real ones (made on first call, kept for the run).
ShareServices& CurrentShareServices();
// Every pointer must outlive its use; pass nullptr to go back to the real ones.
void InstallShareServices(ShareServices* services);

// Credentials kept for the run, per server; Ask shows the credentials dialog.
class SessionCredentials final : public qvp::CredentialsSource
{
public:
    std::optional<qvp::SmbCredentials> Stored(const std::string& host) override;
    // Shows the dialog, modally over the active window, from the event loop (never inside the
    // caller, which may be a GLib callback); keeps an accepted answer for host, then answers.
    void Ask(const std::string& host, Answer answer) override;

private:
    std::map<std::string, qvp::SmbCredentials> m_byHost;
};

} // namespace qva
