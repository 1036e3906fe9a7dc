#include "DriveTypes.h"

namespace qvp {

unsigned driveTypeFor(std::string_view rootPath, const ConnectionSnapshot& connections)
{
    if (rootPath.size() < 2 || rootPath[1] != ':') {
        return DriveNoRootDir;
    }
    char letter = rootPath[0];
    if (letter >= 'a' && letter <= 'z') {
        letter = static_cast<char>(letter - 'a' + 'A');
    }
    if (letter < 'A' || letter > 'Z') {
        return DriveNoRootDir;
    }
    if (letter == 'C') {
        return DriveFixed;
    }
    return connections[static_cast<std::size_t>(letter - 'A')] ? DriveRemote : DriveNoRootDir;
}

namespace {

class StoreDriveTypes final : public DriveTypeSource
{
public:
    explicit StoreDriveTypes(ConnectionStore& store)
        : m_store(store)
    {
    }
    unsigned GetDriveType(std::string_view rootPath) override
    {
        return driveTypeFor(rootPath, m_store.Load().value_or(ConnectionSnapshot{}));
    }

private:
    ConnectionStore& m_store;
};

} // namespace

std::unique_ptr<DriveTypeSource> makeDriveTypeSource(ConnectionStore& store)
{
    return std::make_unique<StoreDriveTypes>(store);
}

} // namespace qvp
