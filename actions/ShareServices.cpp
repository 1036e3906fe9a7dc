#include "ShareServices.h"

#include "CredentialsDialog.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <memory>

namespace qva {

namespace {

ShareServices* g_installed = nullptr;

// Starts the SMB thread with the first listing, not with the window: a run that never lists
// shares never loads the library's configuration.
class OnDemandLister final : public qvp::ShareLister
{
public:
    void ListShares(std::string host, std::optional<qvp::SmbCredentials> credentials, Done done) override
    {
        if (!m_lister) {
            m_lister = qvp::MakeSmbShareLister();
        }
        m_lister->ListShares(std::move(host), std::move(credentials), std::move(done));
    }

private:
    std::unique_ptr<qvp::ShareLister> m_lister;
};

// The real platform objects, made together on first use and kept for the run.
struct RealServices
{
    RealServices()
        : lister(std::make_unique<OnDemandLister>())
        , connections(qvp::MakeFileConnectionStore(qvp::ConnectionsFilePath()))
        , driveTypes(qvp::MakeDriveTypeSource(*connections))
        , mounter(qvp::MakeGvfsShareMounter(credentials))
        , bookmarks(qvp::MakeFileBookmarkStore(qvp::BookmarksFilePath()))
        , version(qvp::MakeVersionQuery())
    {
        services = {lister.get(),    connections.get(), driveTypes.get(), mounter.get(),
                    bookmarks.get(), version.get(),     &credentials};
    }

    SessionCredentials credentials;
    std::unique_ptr<qvp::ShareLister> lister;
    std::unique_ptr<qvp::ConnectionStore> connections;
    std::unique_ptr<qvp::DriveTypeSource> driveTypes;
    std::unique_ptr<qvp::ShareMounter> mounter;
    std::unique_ptr<qvp::BookmarkStore> bookmarks;
    std::unique_ptr<qvp::VersionQuery> version;
    ShareServices services;
};

} // namespace

ShareServices& CurrentShareServices()
{
    if (g_installed != nullptr) {
        return *g_installed;
    }
    // Never destroyed: the SMB thread may still be inside a library call when the process
    // ends, and a destructor run at exit would wait for it and free the library's context
    // after the library's own exit-time clean-up.
    static RealServices* const real = new RealServices;
    return real->services;
}

void InstallShareServices(ShareServices* services)
{
    g_installed = services;
}

std::optional<qvp::SmbCredentials> SessionCredentials::Stored(const std::string& host)
{
    const auto found = m_byHost.find(host);
    if (found == m_byHost.end()) {
        return std::nullopt;
    }
    return found->second;
}

void SessionCredentials::Ask(const std::string& host, Answer answer)
{
    QTimer::singleShot(0, qApp, [this, host, answer = std::move(answer)] {
        const std::optional<qvp::SmbCredentials> known = Stored(host);
        QPointer<CredentialsDialog> dialog = new CredentialsDialog(
            QString::fromUtf8(host), known.value_or(qvp::SmbCredentials{}), QApplication::activeWindow());
        const int result = dialog->exec();
        std::optional<qvp::SmbCredentials> given;
        if (dialog != nullptr) {
            if (result == QDialog::Accepted) {
                given = dialog->Credentials();
                m_byHost[host] = *given;
            }
            delete dialog;
        }
        answer(std::move(given));
    });
}

} // namespace qva
