// The drive-letter table: this computer's 26 letters with the network folder each one is
// connected to, rebuilt from the remembered connections by every refresh, and the drive-letter
// box that offers the free ones.
//
// Thread-safety: UI thread only (the table is written and read there alone).
#pragma once

#include <QString>
#include <cstddef>

class QComboBox;

inline constexpr int DriveLetterEntries = 26;
inline constexpr std::size_t DriveHostSize = 256;
inline constexpr std::size_t DriveShareSize = 256;
inline constexpr std::size_t DriveLocalNameSize = 8;

struct DriveLetterEntry
{
    char host[DriveHostSize];
    char share[DriveShareSize];
    char localName[DriveLocalNameSize];
};

// Entry 0 is Z:, entry 25 is A:.
extern DriveLetterEntry DriveLetterTable[DriveLetterEntries];

// Re-reads every letter's connection into DriveLetterTable.
void RefreshDriveLetterTable();

// Empties box, adds the letters free to map (sorted, as the box's style sorts) and selects
// the lowest, or nothing when none is free.
void FillDriveLetterBox(QComboBox& box);

namespace qva {

// The localName of the alphabetically lowest letter connected to share on any of hosts,
// walking the table from Z: to A: so that the last match wins; empty when there is none.
QString LocationOf(const QByteArray& share, std::initializer_list<QByteArray> hosts);

} // namespace qva
