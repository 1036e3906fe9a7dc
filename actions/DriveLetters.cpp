#include "DriveLetters.h"

#include "ShareServices.h"

#include <QComboBox>
#include <QStringList>
#include <cstdio>
#include <cstring>

DriveLetterEntry DriveLetterTable[DriveLetterEntries] = {};

namespace {

void CopyCut(char* out, std::size_t size, const std::string& text)
{
    const std::size_t length = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
}

} // namespace

void RefreshDriveLetterTable()
{
    const qvp::ConnectionSnapshot connections =
        qva::CurrentShareServices().connections->Load().value_or(qvp::ConnectionSnapshot{});
    for (int i = 0; i < DriveLetterEntries; ++i) {
        DriveLetterEntry& entry = DriveLetterTable[i];
        const char letter = static_cast<char>('Z' - i);
        std::snprintf(entry.localName, sizeof entry.localName, "%c:", letter);
        const std::optional<qvp::RemoteName>& remote = connections[static_cast<std::size_t>(letter - 'A')];
        // A letter whose connection cannot be read, or is not of the \\host\share form, is free.
        CopyCut(entry.host, sizeof entry.host, remote ? remote->host : std::string());
        CopyCut(entry.share, sizeof entry.share, remote ? remote->share : std::string());
    }
}

void FillDriveLetterBox(QComboBox& box)
{
    box.clear();
    qvp::DriveTypeSource& types = *qva::CurrentShareServices().driveTypes;
    QStringList letters;
    for (int i = 0; i < DriveLetterEntries; ++i) {
        const DriveLetterEntry& entry = DriveLetterTable[i];
        // B: and A: are never offered.
        if (i >= 24) {
            continue;
        }
        const unsigned type = types.GetDriveType(entry.localName);
        if (type == qvp::DriveFixed || type == qvp::DriveRemovable || type == qvp::DriveCdRom ||
            type == qvp::DriveRamDisk) {
            continue;
        }
        if (entry.host[0] == '\0' || entry.share[0] == '\0') {
            letters.append(QString::fromLatin1(entry.localName));
        }
    }
    // The box's style sorts its items.
    letters.sort();
    box.addItems(letters);
    box.setCurrentIndex(letters.isEmpty() ? -1 : 0);
}

namespace qva {

QString LocationOf(const QByteArray& share, std::initializer_list<QByteArray> hosts)
{
    QString location;
    for (const DriveLetterEntry& entry : DriveLetterTable) {
        if (share != entry.share) {
            continue;
        }
        for (const QByteArray& host : hosts) {
            if (host == entry.host) {
                location = QString::fromLatin1(entry.localName);
                break;
            }
        }
    }
    return location;
}

} // namespace qva
