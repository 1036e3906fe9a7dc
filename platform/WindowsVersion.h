// The running platform's version record and the name the version table gives it.
//
// Thread-safety: pure functions and a stateless query.
#pragma once

#include <memory>
#include <optional>

namespace qvp {

struct OsVersionRecord
{
    unsigned platformId = 0; // 1 Windows 9x, 2 Windows NT, 3 Windows CE
    unsigned major = 0;
    unsigned minor = 0;
    unsigned build = 0; // only the low 16 bits count
};

inline constexpr char UnknownWindowsVersion[] = "unknown Windows version";

// The table's name for a record; a failed query (nullopt) gives UnknownWindowsVersion.
const char* windowsVersionNameFor(const std::optional<OsVersionRecord>& record);

class VersionQuery
{
public:
    virtual ~VersionQuery() = default;
    virtual std::optional<OsVersionRecord> Query() = 0;
};

// This platform has no Windows version record: the query fails.
std::unique_ptr<VersionQuery> makeVersionQuery();

} // namespace qvp
