// Drive types of the letters, as the drive-letter box needs them: C: is the system disk, a
// letter with a remembered connection is remote, and every other letter has no root folder.
//
// Thread-safety: DriveTypeSource objects are used from the UI thread only.
#pragma once

#include "RememberedConnections.h"

#include <memory>
#include <string_view>

namespace qvp {

enum DriveType : unsigned
{
    DriveUnknown = 0,
    DriveNoRootDir = 1,
    DriveRemovable = 2,
    DriveFixed = 3,
    DriveRemote = 4,
    DriveCdRom = 5,
    DriveRamDisk = 6,
};

class DriveTypeSource
{
public:
    virtual ~DriveTypeSource() = default;
    // rootPath is a letter and a colon, such as "E:".
    virtual unsigned GetDriveType(std::string_view rootPath) = 0;
};

// The type of rootPath given the remembered connections.
unsigned driveTypeFor(std::string_view rootPath, const ConnectionSnapshot& connections);

// Drive types read from the store on each question.
std::unique_ptr<DriveTypeSource> makeDriveTypeSource(ConnectionStore& store);

} // namespace qvp
