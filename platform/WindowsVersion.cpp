#include "WindowsVersion.h"

namespace qvp {

namespace {

const char* windows9xName(unsigned minor, unsigned build)
{
    if (minor < 10) {
        if (build == 950) {
            return "Windows 95";
        }
        if (build >= 951 && build <= 1080) {
            return "Windows 95 SP1";
        }
        if (build > 1080) {
            return "Windows 95 OSR2";
        }
        return UnknownWindowsVersion;
    }
    if (minor == 10) {
        if (build == 1998) {
            return "Windows 98";
        }
        if (build >= 1999 && build <= 2182) {
            return "Windows 98 SP1";
        }
        if (build >= 2183) {
            return "Windows 98 SE";
        }
        return UnknownWindowsVersion;
    }
    return minor == 90 ? "Windows ME" : UnknownWindowsVersion;
}

const char* windowsNtName(unsigned major, unsigned minor)
{
    if (major == 3 && minor == 51) {
        return "Windows NT 3.51";
    }
    if (major == 4 && minor == 0) {
        return "Windows NT 4";
    }
    if (major == 5 && minor == 0) {
        return "Windows 2000";
    }
    if (major == 5 && minor == 1) {
        return "Windows XP";
    }
    if (major == 6) {
        return "Vista";
    }
    return UnknownWindowsVersion;
}

class NoVersionQuery final : public VersionQuery
{
public:
    std::optional<OsVersionRecord> Query() override { return std::nullopt; }
};

} // namespace

const char* windowsVersionNameFor(const std::optional<OsVersionRecord>& record)
{
    if (!record) {
        return UnknownWindowsVersion;
    }
    const unsigned build = record->build & 0xFFFFU;
    switch (record->platformId) {
    case 1:
        return record->major == 4 ? windows9xName(record->minor, build) : UnknownWindowsVersion;
    case 2:
        return windowsNtName(record->major, record->minor);
    case 3:
        return "Windows CE";
    default:
        return UnknownWindowsVersion;
    }
}

std::unique_ptr<VersionQuery> makeVersionQuery()
{
    return std::make_unique<NoVersionQuery>();
}

} // namespace qvp
