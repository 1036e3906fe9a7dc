// The share-list actions of the main window: listing the clicked device's shares with the
// letters connected to them (ListDeviceShares) and mapping the selected share to the selected
// letter (MapSelectedShare). Listing and mounting are asynchronous so that the window keeps
// painting: a newer click supersedes an older listing, whose answer is then dropped.
//
// Thread-safety: UI thread only. The lister's answers arrive on its own thread and are posted
// here through a mailbox that the destructor closes.
#pragma once

#include "ShareServices.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QAbstractButton;
class QComboBox;
class QTreeWidget;

struct ShareControls
{
    QTreeWidget* deviceList = nullptr; // column 0 friendly name, column 1 address
    QTreeWidget* shareList = nullptr;  // column 0 share, column 1 location
    QComboBox* driveLetterBox = nullptr;
    QAbstractButton* mapDriveButton = nullptr;
    QAbstractButton* browseButton = nullptr;
};

// How Map Drive reports: the window's string table and its message box (run modally).
struct MapDriveReporter
{
    std::function<QString(int stringId)> loadString;
    std::function<void(int kind, const QString& text)> showBox;
};

// Fills text (of size bytes) with the running Windows version's name.
void GetWindowsVersionName(char* text, std::size_t size);

class ShareActions : public QObject
{
    Q_OBJECT

public:
    ShareActions(const ShareControls& controls, MapDriveReporter reporter, QObject* parent = nullptr);
    ~ShareActions() override;

    ShareActions(const ShareActions&) = delete;
    ShareActions& operator=(const ShareActions&) = delete;

    void ListDeviceShares();
    void MapSelectedShare();

    // A search has emptied the share list: an answer still out belongs to nothing shown now.
    void DropListing();

    // The device whose folders the share list shows (address and friendly name), set by the
    // click that listed them; empty when the list belongs to no device. The device list's
    // selection may have moved on since (the keyboard does not list), so Map Drive and Browse
    // go by these.
    const QString& ListedHost() const { return m_listedHost; }
    const QString& ListedName() const { return m_listedName; }

    // Whether a listing or a mount is awaiting its answer.
    bool IsListing() const { return m_listing; }
    bool IsMapping() const { return m_mapping; }

signals:
    // The share list has been filled (or left empty) for the latest click.
    void sharesListed();
    // A Map Drive command has ended, its box closed.
    void mapFinished(bool ok);

private:
    struct Mailbox;
    // One listing request: how many answers the user has given for it, and the latest one
    // (nothing: the stored credentials, or none).
    struct ListingTry
    {
        int answers = 0;
        std::optional<qvp::SmbCredentials> given;
    };
    void RequestShares(quint64 generation, const std::string& host, ListingTry attempt);
    void OnSharesListed(quint64 generation, const std::string& host, const ListingTry& attempt,
                        qvp::ShareListResult result);
    void FinishListing();
    void OnMounted(const QString& host, const QString& share, char oldLetter, char newLetter, int shareRow, bool ok);
    bool Remember(const QString& host, const QString& share, char oldLetter, char newLetter);
    void ShowError();

    ShareControls m_controls;
    MapDriveReporter m_reporter;
    std::shared_ptr<Mailbox> m_mailbox;
    quint64 m_generation = 0;
    QString m_listedHost;
    QString m_listedName;
    bool m_listing = false;
    bool m_mapping = false;
};
