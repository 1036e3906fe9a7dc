// qvlink-scan: runs one LAN search the way the window does and prints every published record.
//
// The search runs on the detached discovery worker; this thread only watches the table (acquire
// loads of count and done) and prints it once done is 1. The discovery code writes its
// diagnostics to standard output; standard output is pointed at standard error for the whole
// run, and the table goes to a stream of its own on the original standard output, so that no
// diagnostic of a worker that is still running can land in it.
#include "escape.h"
#include "explain.h"

#include <UniqueFd.h>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <devicetable.h>
#include <fcntl.h>
#include <filter.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>
#include <worker.h>

namespace {

using qvscan::escapeJson;
using qvscan::escapeTsv;

// The search ends by itself (eight empty turns at most, or one empty turn after the last
// answer, plus the fetch time-outs, and within its own deadline). This limit only catches a
// search that never ends.
constexpr int MaxWaitSeconds = 600;
// How often the table is looked at: the resolution of the publication times of --timings.
constexpr long WatchIntervalNs = 1000 * 1000;

#ifndef QVD_PRODUCT_VERSION
#define QVD_PRODUCT_VERSION ""
#endif

constexpr char Usage[] =
    "usage: qvlink-scan [--json] [--explain] [--timings] [--time-limit SECONDS] [--help] [--version]\n";

constexpr char Help[] =
    "usage: qvlink-scan [--json] [--explain] [--timings] [--time-limit SECONDS] [--help] [--version]\n"
    "\n"
    "Runs one SSDP search of the local network, as the QV Link window does: one M-SEARCH for\n"
    "upnp:rootdevice on every network interface (the one of the default route first), the\n"
    "description of every answering device fetched over HTTP, and the devices of an accepted\n"
    "type published into the device table (at most 50). When the search has ended, every\n"
    "published record is printed in table order.\n"
    "\n"
    "Default output: one line per record, tab-separated:\n"
    "  index, listed|not-listed, deviceType, friendlyName, hostPort, manufacturer,\n"
    "  manufacturerURL, modelDescription, modelName, modelNumber, modelURL, UDN,\n"
    "  presentationURL, elementName\n"
    "'listed' marks a record the window would show (accepted type, maker's manufacturer).\n"
    "Device text is escaped so that each record stays on one line: tab, newline, carriage\n"
    "return and backslash become \\t \\n \\r \\\\, other control bytes (0x00-0x1f, 0x7f)\n"
    "and lone bytes 0x80-0x9f become \\xHH. So that device text can neither act on a\n"
    "terminal nor reorder what is read, the UTF-8 encoded C1 controls U+0080-U+009F and the\n"
    "bidirectional embeddings, overrides and isolates U+202A-U+202E and U+2066-U+2069 become\n"
    "\\u and four hex digits (\\u009b, \\u202e). All other bytes are written as they arrived.\n"
    "\n"
    "  --json     print a JSON array of objects keyed by the field names above, plus\n"
    "             \"index\" (number) and \"listed\" (boolean). Valid UTF-8 is kept; each byte\n"
    "             that is not part of a valid UTF-8 sequence is read as Latin-1 and written\n"
    "             as \\u00XX, so the output is valid JSON whatever a device sends. The C1\n"
    "             controls and the bidirectional controls above are \\u escapes as well.\n"
    "  --explain  instead of the records, print what became of every answer of the search,\n"
    "             in order of arrival, one line each (tab-separated):\n"
    "               index, outcome, interface, from, location, usn, deviceType,\n"
    "               manufacturer, friendlyName, record\n"
    "             The outcome is one of: listed; another maker; type not accepted;\n"
    "             location refused (not an http URL with a path, a name, another host\n"
    "             than the sender, sender not on the interface's network); fetch failed\n"
    "             (refused, timed out, cut off, not HTTP 200, too large, unreachable,\n"
    "             empty body); limit reached (device table full, this host's failed\n"
    "             fetches, the search's failed fetches, answers kept); duplicate USN;\n"
    "             not an answer (no location, no search target). 'record' is the table\n"
    "             index of a published device; empty columns are '-'. Past 4096 answers a\n"
    "             last line says how many more were not explained. With --json: an\n"
    "             object {\"answers\": [...], \"notExplained\": N}, each answer keyed as above\n"
    "             plus \"reason\" and \"httpStatus\" (0 when none).\n"
    "  --timings  also write to standard error, as tab-separated lines, the CLOCK_MONOTONIC\n"
    "             time in nanoseconds of the search start, of each publication as this\n"
    "             program observed it (looking every millisecond), and of the search's end:\n"
    "               timing  start  NS\n"
    "               timing  published  INDEX  NS\n"
    "               timing  done  NS\n"
    "  --time-limit SECONDS\n"
    "             give up waiting for the search after SECONDS (1-600, default 600) and\n"
    "             print what was published until then\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "Diagnostics of the search go to standard error. When standard error is a terminal, a\n"
    "last line there sums the search up (\"3 devices answered, 2 of them the maker's\"),\n"
    "counting the published records and the listed ones. With no device found nothing is\n"
    "printed on standard output. Exit status: 0 after a search, whatever it found; 1 when\n"
    "the search did not end within the time limit (the output is complete and well-formed\n"
    "all the same); 2 for a usage error; 3 when the output could not be written.\n";

struct Options
{
    bool json = false;
    bool explain = false;
    bool timings = false;
    int timeLimitSeconds = MaxWaitSeconds;
};

long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void sleepNs(long ns)
{
    timespec pause{0, ns};
    nanosleep(&pause, nullptr);
}

std::string_view fieldText(const char (&field)[qvd::DeviceFieldSize])
{
    return {field, strnlen(field, qvd::DeviceFieldSize)};
}

struct Field
{
    const char* name;
    std::string_view text;
};

std::array<Field, 12> recordFields(const qvd::DeviceRecord& r)
{
    return {{{"deviceType", fieldText(r.deviceType)},
             {"friendlyName", fieldText(r.friendlyName)},
             {"hostPort", fieldText(r.hostPort)},
             {"manufacturer", fieldText(r.manufacturer)},
             {"manufacturerURL", fieldText(r.manufacturerURL)},
             {"modelDescription", fieldText(r.modelDescription)},
             {"modelName", fieldText(r.modelName)},
             {"modelNumber", fieldText(r.modelNumber)},
             {"modelURL", fieldText(r.modelURL)},
             {"UDN", fieldText(r.UDN)},
             {"presentationURL", fieldText(r.presentationURL)},
             {"elementName", fieldText(r.elementName)}}};
}

void printTsv(const std::vector<qvd::DeviceRecord>& records, std::FILE* out)
{
    for (std::size_t index = 0; index < records.size(); ++index) {
        std::string line = std::to_string(index);
        line += qvd::isListedDevice(records[index]) ? "\tlisted" : "\tnot-listed";
        for (const Field& field : recordFields(records[index])) {
            line += '\t';
            line += escapeTsv(field.text);
        }
        line += '\n';
        std::fputs(line.c_str(), out);
    }
}

void printJson(const std::vector<qvd::DeviceRecord>& records, std::FILE* file)
{
    std::string out = "[";
    for (std::size_t index = 0; index < records.size(); ++index) {
        out += index == 0 ? "\n  {" : ",\n  {";
        out += "\"index\": " + std::to_string(index);
        out += ", \"listed\": ";
        out += qvd::isListedDevice(records[index]) ? "true" : "false";
        for (const Field& field : recordFields(records[index])) {
            out += ", \"";
            out += field.name;
            out += "\": ";
            out += escapeJson(field.text);
        }
        out += '}';
    }
    out += records.empty() ? "]\n" : "\n]\n";
    std::fputs(out.c_str(), file);
}

bool parseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--explain") {
            options.explain = true;
        } else if (arg == "--timings") {
            options.timings = true;
        } else if (arg == "--time-limit" && i + 1 < argc) {
            char* end = nullptr;
            const long seconds = std::strtol(argv[++i], &end, 10);
            if (end == argv[i] || *end != '\0' || seconds < 1 || seconds > MaxWaitSeconds) {
                std::fprintf(stderr, "qvlink-scan: --time-limit wants 1 to %d seconds\n%s", MaxWaitSeconds, Usage);
                return false;
            }
            options.timeLimitSeconds = static_cast<int>(seconds);
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(Help, stdout);
            std::exit(0);
        } else if (arg == "--version") {
            std::printf("qvlink-scan %s\n", QVD_PRODUCT_VERSION);
            std::exit(0);
        } else {
            std::fprintf(stderr, "qvlink-scan: unknown option '%s'\n%s", argv[i], Usage);
            return false;
        }
    }
    return true;
}

// Runs the search and watches the table until done is 1 or the time limit passes. Returns false
// in the second case; the records published so far are returned either way. Standard output
// stays pointed at standard error: a worker that is still running may write a diagnostic at
// any time.
bool runSearch(const Options& options, std::vector<qvd::DeviceRecord>& records)
{
    qvd::DeviceList& list = qvd::deviceList();
    const long long start = monotonicNs();
    if (options.timings) {
        std::fprintf(stderr, "timing\tstart\t%lld\n", start);
    }
    qvd::resetDeviceList(list);
    if (options.explain && !qvd::enableAnswerLog()) {
        std::fputs("qvlink-scan: no memory to explain the answers\n", stderr);
    }
    qvd::startDetachedWorker(qvd::runDiscoveryWorker);

    const long long deadline = start + options.timeLimitSeconds * 1000000000LL;
    int seen = 0;
    bool ended = false;
    while (!ended && monotonicNs() < deadline) {
        // done before count, both acquire: a count loaded after done = 1 is final, and the
        // records below it are fully written.
        ended = list.done.load(std::memory_order_acquire) == 1;
        const int count = list.count.load(std::memory_order_acquire);
        const long long now = monotonicNs();
        for (; seen < count && seen < qvd::MaxDevices; ++seen) {
            records.push_back(list.records[seen]);
            if (options.timings) {
                std::fprintf(stderr, "timing\tpublished\t%d\t%lld\n", seen, now);
            }
        }
        if (ended && options.timings) {
            std::fprintf(stderr, "timing\tdone\t%lld\n", now);
        }
        if (!ended) {
            sleepNs(WatchIntervalNs);
        }
    }
    std::fflush(stdout);
    return ended;
}

// The table's own stream on the original standard output; standard output itself goes to
// standard error from here on.
std::FILE* openTableStream()
{
    std::fflush(stdout);
    qvd::UniqueFd table(fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0));
    if (!table.valid() || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        return nullptr;
    }
    std::FILE* stream = fdopen(table.get(), "w");
    if (stream != nullptr) {
        table.release();
    }
    return stream;
}

// The answers explained so far: all of them once the search has ended.
void printAnswers(const Options& options, std::FILE* out)
{
    const qvd::AnswerLog& log = qvd::answerLog();
    // Acquire: the records below the loaded count are fully written.
    const int count = log.records == nullptr ? 0 : log.count.load(std::memory_order_acquire);
    const int notExplained = log.notExplained.load(std::memory_order_relaxed);
    const std::vector<qvd::AnswerRecord> answers(log.records, log.records + count);
    if (options.json) {
        qvscan::printExplainJson(answers, notExplained, out);
    } else {
        qvscan::printExplainTsv(answers, notExplained, out);
    }
}

// One line on a terminal's standard error; scripts reading standard output see nothing of it.
void printSummary(const std::vector<qvd::DeviceRecord>& records)
{
    if (isatty(STDERR_FILENO) == 0) {
        return;
    }
    std::size_t listed = 0;
    for (const qvd::DeviceRecord& record : records) {
        listed += qvd::isListedDevice(record) ? 1 : 0;
    }
    std::fprintf(stderr, "%zu device%s answered, %zu of them the maker's\n", records.size(),
                 records.size() == 1 ? "" : "s", listed);
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parseOptions(argc, argv, options)) {
        return 2;
    }
    // A closed pipe is a write error to report, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    std::FILE* table = openTableStream();
    if (table == nullptr) {
        std::fprintf(stderr, "qvlink-scan: cannot open the output: %s\n", std::strerror(errno));
        return 3;
    }
    std::vector<qvd::DeviceRecord> records;
    records.reserve(qvd::MaxDevices);
    const bool ended = runSearch(options, records);
    if (options.explain) {
        printAnswers(options, table);
    } else if (options.json) {
        printJson(records, table);
    } else {
        printTsv(records, table);
    }
    const bool written = std::fflush(table) == 0 && std::ferror(table) == 0;
    const int writeError = errno;
    const bool closed = std::fclose(table) == 0;
    int status = 0;
    if (!written || !closed) {
        std::fprintf(stderr, "qvlink-scan: cannot write the output: %s\n", std::strerror(written ? errno : writeError));
        status = 3;
    } else if (!ended) {
        std::fprintf(stderr, "qvlink-scan: the search did not end within %d s\n", options.timeLimitSeconds);
        status = 1;
    } else {
        printSummary(records);
    }
    if (!ended) {
        // The worker is still writing the table: leave without running static destructors.
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
