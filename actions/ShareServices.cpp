#include "ShareServices.h"

#include "AutostartEntry.h"
#include "CredentialsDialog.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <memory>

namespace qva {

namespace {

ShareServices* g_installed = nullptr;

// The window the dialog belongs to: the active one, else the program's own top-level window.
// On Wayland no window may be active while the user looks elsewhere, and a dialog without an
// owner is placed wherever the compositor likes instead of over the window it is about.
QWidget* DialogOwner()
{
    if (QWidget* active = QApplication::activeWindow()) {
        return active;
    }
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        const Qt::WindowType type = window->windowType();
        if (window->isVisible() && window->parentWidget() == nullptr && (type == Qt::Window || type == Qt::Dialog)) {
            return window;
        }
    }
    return nullptr;
}

// Starts the SMB thread with the first listing, not with the window: a run that never lists
// shares never loads the library's configuration.
class OnDemandLister final : public qvp::ShareLister
{
public:
    void ListShares(std::string host, std::optional<qvp::SmbCredentials> credentials, Done done) override
    {
        if (!m_lister) {
            m_lister = qvp::makeSmbShareLister();
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
        : keyring(qvp::makeSecretServiceKeyring())
        , credentials(keyring.get())
        , lister(std::make_unique<OnDemandLister>())
        , connections(qvp::makeAutostartKeepingStore(qvp::makeFileConnectionStore(qvp::connectionsFilePath()),
                                                     qvp::restoreEntryPath(), qvp::currentProgramPath()))
        , driveTypes(qvp::makeDriveTypeSource(*connections))
        , gvfs(qvp::makeGvfsShareMounter(credentials))
        , ledger(qvp::makeMountLedger(qvp::mountLedgerPath()))
        , mounter(qvp::makeLedgerMounter(*gvfs, *ledger))
        , bookmarks(qvp::makeFileBookmarkStore(qvp::bookmarksFilePath()))
        , version(qvp::makeVersionQuery())
    {
        services = {lister.get(),    connections.get(), driveTypes.get(), mounter.get(),
                    bookmarks.get(), version.get(),     &credentials};
    }

    // Asks the session bus nothing until a password is looked up or the dialog opens.
    std::unique_ptr<qvp::PasswordKeyring> keyring;
    SessionCredentials credentials;
    std::unique_ptr<qvp::ShareLister> lister;
    std::unique_ptr<qvp::ConnectionStore> connections;
    std::unique_ptr<qvp::DriveTypeSource> driveTypes;
    std::unique_ptr<qvp::ShareMounter> gvfs;
    std::unique_ptr<qvp::MountLedger> ledger;
    std::unique_ptr<qvp::ShareMounter> mounter; // unmounts only what this program mounted
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

SessionCredentials::SessionCredentials(qvp::PasswordKeyring* keyring)
    : m_keyring(keyring)
{
}

std::optional<qvp::SmbCredentials> SessionCredentials::Stored(const std::string& host)
{
    auto found = m_byHost.find(host);
    if (found == m_byHost.end() && m_keyring != nullptr && m_lookedUp.insert(host).second) {
        if (std::optional<qvp::SmbCredentials> kept = m_keyring->Lookup(host)) {
            found = m_byHost.emplace(host, std::move(*kept)).first;
        }
    }
    if (found == m_byHost.end()) {
        return std::nullopt;
    }
    return found->second;
}

qvp::CredentialsSource::Question SessionCredentials::Ask(const std::string& host, bool refused, Answer answer)
{
    const Question id = ++m_lastQuestion;
    auto question = std::make_shared<OpenQuestion>();
    m_questions.emplace(id, question);
    QTimer::singleShot(0, qApp, [this, id, question, host, refused, answer = std::move(answer)] {
        if (question->withdrawn) {
            return;
        }
        CredentialsDialog::Options options;
        options.keyringAvailable = m_keyring != nullptr && m_keyring->Available();
        options.refused = refused;
        qvp::SmbCredentials known;
        auto pending = m_pending.find(host);
        if (pending != m_pending.end() && !refused) {
            m_pending.erase(pending); // an earlier question's answer that never worked
            pending = m_pending.end();
        }
        if (pending != m_pending.end()) {
            // The refused answer's user and domain stay; its password goes at once.
            pending->second.credentials.password.clear();
            known = pending->second.credentials;
            options.remember = pending->second.remember;
        } else {
            known = Stored(host).value_or(qvp::SmbCredentials{});
            known.password.clear();
        }
        QPointer<CredentialsDialog> dialog =
            new CredentialsDialog(QString::fromUtf8(host), known, options, DialogOwner());
        question->dialog = dialog.data();
        const int result = dialog->exec();
        m_questions.erase(id);
        if (question->withdrawn) {
            delete dialog;
            return;
        }
        std::optional<qvp::SmbCredentials> given;
        if (dialog != nullptr) {
            if (result == QDialog::Accepted) {
                given = dialog->Credentials();
                m_pending[host] = {*given, dialog->Remember()};
            } else {
                m_pending.erase(host);
            }
            delete dialog;
        }
        answer(std::move(given));
    });
    return id;
}

void SessionCredentials::Withdraw(Question question)
{
    const auto found = m_questions.find(question);
    if (found == m_questions.end()) {
        return;
    }
    const std::shared_ptr<OpenQuestion> open = found->second;
    m_questions.erase(found);
    open->withdrawn = true;
    if (open->dialog != nullptr) {
        open->dialog->reject();
    }
}

void SessionCredentials::Accepted(const std::string& host, const qvp::SmbCredentials& credentials)
{
    const auto pending = m_pending.find(host);
    if (pending == m_pending.end()) {
        return;
    }
    const qvp::SmbCredentials& given = pending->second.credentials;
    if (given.user != credentials.user || given.domain != credentials.domain ||
        given.password != credentials.password) {
        return;
    }
    m_byHost[host] = given;
    if (pending->second.remember && m_keyring != nullptr) {
        // Not kept there: still kept for the run, and the next run asks again.
        (void)m_keyring->Store(host, given);
    }
    m_pending.erase(pending);
}

} // namespace qva
