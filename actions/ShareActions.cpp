#include "ShareActions.h"

#include "DriveLetters.h"
#include "SelectedHost.h"
#include "SmbUri.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QMetaObject>
#include <QPointer>
#include <QTreeWidget>
#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

constexpr int KindSuccess = 0;
constexpr int KindError = 1;
constexpr int SuccessStringId = 122;
constexpr std::size_t VersionNameSize = 64;
// How often the user is asked for one listing before a refusal ends it.
constexpr int MaxCredentialAnswers = 3;

int SelectedRow(const QTreeWidget& list)
{
    const QList<QTreeWidgetItem*> items = list.selectedItems();
    return items.isEmpty() ? -1 : list.indexOfTopLevelItem(items.first());
}

QString Cell(const QTreeWidget& list, int row, int column)
{
    const QTreeWidgetItem* item = list.topLevelItem(row);
    return item != nullptr ? item->text(column) : QString();
}

// The letter of a "X:" location, or 0 when the text is not one.
char LetterOf(const QString& location)
{
    if (location.size() < 2 || location[1] != QLatin1Char(':')) {
        return 0;
    }
    const char letter = location[0].toLatin1();
    return letter >= 'A' && letter <= 'Z' ? letter : 0;
}

std::size_t Index(char letter)
{
    return static_cast<std::size_t>(letter - 'A');
}

} // namespace

void GetWindowsVersionName(char* text, std::size_t size)
{
    if (size == 0) {
        return;
    }
    const char* name = qvp::windowsVersionNameFor(qva::CurrentShareServices().version->Query());
    std::strncpy(text, name, size - 1);
    text[size - 1] = '\0';
}

// Where the lister's answers go: the object while it lives, nowhere after.
struct ShareActions::Mailbox
{
    std::mutex mutex;
    ShareActions* target = nullptr; // guarded by mutex
};

ShareActions::ShareActions(const ShareControls& controls, MapDriveReporter reporter, QObject* parent)
    : QObject(parent)
    , m_controls(controls)
    , m_reporter(std::move(reporter))
    , m_mailbox(std::make_shared<Mailbox>())
{
    m_mailbox->target = this;
}

ShareActions::~ShareActions()
{
    // Answers already posted are discarded with this object's posted events.
    std::lock_guard lock(m_mailbox->mutex);
    m_mailbox->target = nullptr;
}

void ShareActions::ListDeviceShares()
{
    m_controls.shareList->clear();
    m_controls.mapDriveButton->setEnabled(false);
    m_controls.browseButton->setEnabled(false);
    m_controls.deviceList->setFocus(Qt::MouseFocusReason);
    const int row = SelectedRow(*m_controls.deviceList);
    SetSelectedHost(row >= 0 ? Cell(*m_controls.deviceList, row, 1).toUtf8().toStdString() : std::string());
    // Every click makes the answers of earlier ones stale.
    ++m_generation;
    const std::string host(SelectedHost);
    m_listedHost = QString::fromStdString(host);
    m_listedName = row >= 0 ? Cell(*m_controls.deviceList, row, 0) : QString();
    if (host.empty()) {
        FinishListing();
        return;
    }
    RequestShares(m_generation, host, {});
}

void ShareActions::RequestShares(quint64 generation, const std::string& host, ListingTry attempt)
{
    m_listing = true;
    qva::ShareServices& services = qva::CurrentShareServices();
    std::shared_ptr<Mailbox> mailbox = m_mailbox;
    std::optional<qvp::SmbCredentials> credentials = attempt.given ? attempt.given : services.credentials->Stored(host);
    services.lister->ListShares(host, std::move(credentials),
                                [mailbox, generation, host, attempt](qvp::ShareListResult result) {
                                    std::lock_guard lock(mailbox->mutex);
                                    if (mailbox->target == nullptr) {
                                        return;
                                    }
                                    ShareActions* target = mailbox->target;
                                    QMetaObject::invokeMethod(
                                        target,
                                        [target, generation, host, attempt, result = std::move(result)]() mutable {
                                            target->OnSharesListed(generation, host, attempt, std::move(result));
                                        },
                                        Qt::QueuedConnection);
                                });
}

void ShareActions::OnSharesListed(quint64 generation, const std::string& host, const ListingTry& attempt,
                                  qvp::ShareListResult result)
{
    if (generation != m_generation) {
        return;
    }
    if (result.code == qvp::ShareListAccessDenied && attempt.answers < MaxCredentialAnswers) {
        // The dialog comes back after a refused answer, saying so; Cancel ends the listing
        // quietly, and so does the last refusal.
        QPointer<ShareActions> self(this);
        const int answers = attempt.answers;
        qva::CurrentShareServices().credentials->Ask(
            host, answers > 0, [self, generation, host, answers](std::optional<qvp::SmbCredentials> credentials) {
                if (self == nullptr || generation != self->m_generation) {
                    return;
                }
                if (!credentials) {
                    self->FinishListing();
                    return;
                }
                self->RequestShares(generation, host, {answers + 1, std::move(credentials)});
            });
        return;
    }
    if (result.code == qvp::ShareListOk && attempt.given) {
        qva::CurrentShareServices().credentials->Accepted(host, *attempt.given);
    }
    if (result.code == qvp::ShareListOk) {
        QTreeWidget& list = *m_controls.shareList;
        // Rows go in as one batch, the first MaxListedShares in listing order: one insertion
        // instead of one per row keeps the window painting whatever the server lists.
        QList<QTreeWidgetItem*> rows;
        for (const qvp::ShareEntry& entry : result.entries) {
            if (!qvp::isListedShare(entry) || static_cast<std::size_t>(rows.size()) >= qvp::MaxListedShares) {
                continue;
            }
            auto* item = new QTreeWidgetItem();
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
            item->setText(0, QString::fromUtf8(entry.name));
            // The host that was asked: SelectedHost may name another device by now (Configure).
            item->setText(1, qva::LocationOf(QByteArray::fromStdString(entry.name), {QByteArray::fromStdString(host)}));
            rows.append(item);
        }
        list.addTopLevelItems(rows);
        const bool any = list.topLevelItemCount() > 0;
        m_controls.mapDriveButton->setEnabled(any);
        m_controls.browseButton->setEnabled(any);
    }
    FinishListing();
}

void ShareActions::DropListing()
{
    ++m_generation;
    m_listedHost.clear();
    m_listedName.clear();
    if (m_listing) {
        FinishListing();
    }
}

void ShareActions::FinishListing()
{
    m_listing = false;
    emit sharesListed();
}

void ShareActions::MapSelectedShare()
{
    if (m_mapping) {
        return;
    }
    if (SelectedRow(*m_controls.deviceList) < 0) {
        return;
    }
    // The folders belong to the device that was listed, wherever the selection is now.
    const QString host = m_listedHost;
    if (host.isEmpty()) {
        return;
    }
    SetSelectedHost(host.toUtf8().toStdString());
    const int shareRow = SelectedRow(*m_controls.shareList);
    if (shareRow < 0) {
        return;
    }
    const QString share = Cell(*m_controls.shareList, shareRow, 0);
    const char oldLetter = LetterOf(Cell(*m_controls.shareList, shareRow, 1));
    // Only an item of the box's list counts, never text typed into its field.
    const int boxIndex = m_controls.driveLetterBox->currentIndex();
    if (boxIndex < 0) {
        return;
    }
    const char newLetter = LetterOf(m_controls.driveLetterBox->itemText(boxIndex).left(2));
    if (newLetter == 0) {
        return;
    }
    char version[VersionNameSize];
    GetWindowsVersionName(version, sizeof version);
    // Refused versions change nothing: the old letter is only given up once the new one works.
    if (std::strstr(version, "NT") != nullptr) {
        ShowError();
        emit mapFinished(false);
        return;
    }
    m_mapping = true;
    QPointer<ShareActions> self(this);
    qva::CurrentShareServices().mounter->Mount(host.toStdString(), share.toStdString(),
                                               [self, host, share, oldLetter, newLetter, shareRow](qvp::MountResult r) {
                                                   if (self != nullptr) {
                                                       self->OnMounted(host, share, oldLetter, newLetter, shareRow,
                                                                       r.ok);
                                                   }
                                               });
}

bool ShareActions::Remember(const QString& host, const QString& share, char oldLetter, char newLetter)
{
    qva::ShareServices& services = qva::CurrentShareServices();
    // Connections that exist but cannot be read are never replaced by what little is known.
    const std::optional<qvp::ConnectionSnapshot> before = services.connections->Load();
    if (!before) {
        return false;
    }
    qvp::ConnectionSnapshot connections = *before;
    const qvp::RemoteName mapped{host.toStdString(), share.toStdString()};
    std::vector<std::pair<char, qvp::RemoteName>> released;
    for (char letter : {oldLetter, newLetter}) {
        if (letter != 0 && connections[Index(letter)]) {
            released.emplace_back(letter, *connections[Index(letter)]);
            connections[Index(letter)].reset();
        }
    }
    connections[Index(newLetter)] = mapped;
    // Nothing is changed before the save has worked, and a letter whose bookmark cannot be
    // added is taken back: a failure leaves everything as it was.
    if (!services.connections->Save(connections)) {
        return false;
    }
    const std::string uri = qvp::smbShareUri(mapped.host, mapped.share);
    const std::string label = qvp::bookmarkLabel(newLetter, mapped.share, mapped.host);
    if (!services.bookmarks->Add(uri, label)) {
        (void)services.connections->Save(*before);
        return false;
    }
    for (const auto& [letter, previous] : released) {
        const std::string oldUri = qvp::smbShareUri(previous.host, previous.share);
        const std::string oldLabel = qvp::bookmarkLabel(letter, previous.share, previous.host);
        if (oldUri != uri || oldLabel != label) {
            (void)services.bookmarks->Remove(oldUri, oldLabel);
        }
        // A share that no letter uses any more is unmounted (if this program mounted it).
        if (std::find(connections.begin(), connections.end(), previous) == connections.end()) {
            services.mounter->Unmount(previous.host, previous.share);
        }
    }
    return true;
}

void ShareActions::OnMounted(const QString& host, const QString& share, char oldLetter, char newLetter, int shareRow,
                             bool ok)
{
    m_mapping = false;
    if (ok && !Remember(host, share, oldLetter, newLetter)) {
        // The mount made for a letter that could not be kept goes again, unless a letter uses it.
        qva::ShareServices& services = qva::CurrentShareServices();
        const std::optional<qvp::ConnectionSnapshot> now = services.connections->Load();
        const qvp::RemoteName mounted{host.toStdString(), share.toStdString()};
        if (now && std::find(now->begin(), now->end(), mounted) == now->end()) {
            services.mounter->Unmount(mounted.host, mounted.share);
        }
        ok = false;
    }
    if (!ok) {
        ShowError();
        emit mapFinished(false);
        return;
    }
    const QString local = QStringLiteral("%1:").arg(QLatin1Char(newLetter));
    m_reporter.showBox(KindSuccess, m_reporter.loadString(SuccessStringId).replace(QStringLiteral("%s"), local));

    RefreshDriveLetterTable();
    m_controls.driveLetterBox->clear();
    FillDriveLetterBox(*m_controls.driveLetterBox);

    // The rows describe the listed device, so its name and address find their letters.
    if (!m_listedHost.isEmpty()) {
        const QByteArray name = m_listedName.toUtf8();
        const QByteArray address = m_listedHost.toUtf8();
        QTreeWidget& list = *m_controls.shareList;
        // Rows above the selected one are left as they are.
        for (int row = shareRow; row < list.topLevelItemCount(); ++row) {
            QTreeWidgetItem* item = list.topLevelItem(row);
            item->setText(1, QString());
            item->setText(1, qva::LocationOf(item->text(0).toUtf8(), {name, address}));
        }
    }
    emit mapFinished(true);
}

void ShareActions::ShowError()
{
    // An empty text makes the box show its own title and "Failed to map drive.".
    m_reporter.showBox(KindError, QString());
}
