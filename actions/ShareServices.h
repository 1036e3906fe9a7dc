// The platform objects the share actions use, one set per process. The real ones (libsmbclient,
// the connection and bookmark files, GVfs) are made on first use; tests install fakes first.
// Also the credentials kept for the run, per server, and the dialog that asks for them.
//
// Thread-safety: UI thread only.
#pragma once

#include "DriveTypes.h"
#include "GtkBookmarks.h"
#include "PasswordKeyring.h"
#include "RememberedConnections.h"
#include "ShareMount.h"
#include "SmbShares.h"
#include "WindowsVersion.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <set>
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

// Credentials that worked, kept for the run, per server, and in the keyring for a user who
// ticked "Remember password"; Ask shows the credentials dialog. An answer from the dialog is
// pending until the server takes it (Accepted): a refused password is never kept anywhere.
class SessionCredentials final : public qvp::CredentialsSource
{
public:
    // keyring may be null (none in this session); it must outlive this object.
    explicit SessionCredentials(qvp::PasswordKeyring* keyring = nullptr);

    // Those kept for the run, else (asked once per host) those in the keyring.
    std::optional<qvp::SmbCredentials> Stored(const std::string& host) override;
    // Shows the dialog, modally over the active window (else the program's own), from the
    // event loop (never inside the caller, which may be a GLib callback); keeps an accepted
    // answer as pending for host, then answers. After a refusal the dialog says so and keeps
    // the user name and the tick.
    Question Ask(const std::string& host, bool refused, Answer answer) override;
    // A withdrawn dialog closes as if cancelled, but leaves the pending answer of host as it was.
    void Withdraw(Question question) override;
    void Accepted(const std::string& host, const qvp::SmbCredentials& credentials) override;

private:
    struct Pending
    {
        qvp::SmbCredentials credentials;
        bool remember = false;
    };

    // A question from the moment it is asked until it is answered or withdrawn.
    struct OpenQuestion
    {
        bool withdrawn = false;
        QPointer<QDialog> dialog; // while it is shown
    };

    qvp::PasswordKeyring* m_keyring = nullptr;
    std::map<Question, std::shared_ptr<OpenQuestion>> m_questions;
    Question m_lastQuestion = 0;
    std::map<std::string, qvp::SmbCredentials> m_byHost;
    std::map<std::string, Pending> m_pending;
    std::set<std::string> m_lookedUp; // hosts whose keyring entry has been asked for
};

} // namespace qva
