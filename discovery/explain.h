// What became of each answer of a search, for the "why is my device not listed?" question.
//
// Thread-safety: nothing is recorded unless enableAnswerLog was called before the search's
// thread started. Then the search thread alone appends: it writes a record in full and
// publishes it with a release store to `count`; a reader loads `count` with acquire and reads
// only records below it. resetAnswerLog only while no search runs. No lock.
#pragma once

#include "http.h"

#include <atomic>
#include <cstdint>

namespace qvd {

// Answers explained per search; past it only `notExplained` grows.
inline constexpr int MaxExplainedAnswers = 4096;
inline constexpr int AnswerTextSize = 128;

enum class AnswerFate : unsigned char
{
    Listed,          // published, and the window would list it
    OtherMaker,      // published, but not the maker's
    TypeNotAccepted, // fetched; its type is none of the accepted ones
    LocationRefused, // not fetched: the location or the sender is not trusted
    FetchFailed,     // fetched, and no usable description came back
    LimitReached,    // not fetched: a bound of the search was reached
    DuplicateUsn,    // a reply with the same USN was kept before
    Incomplete,      // no location or no search target: not an answer to keep
};

enum class Refusal : unsigned char
{
    None,
    NotHttp,      // the location is no http URL the fetch can use
    HostName,     // the location names its host by a name, never looked up
    AnotherHost,  // the location's address is not the sender's
    NotOnNetwork, // the sender is not on the network of the interface the answer came in on
};

enum class SearchLimit : unsigned char
{
    None,
    DeviceTable,    // the device table is full
    HostFailures,   // this sender's failed fetches reached its own bound
    SearchFailures, // the search's failed fetches reached the whole search's bound
    KeptAnswers,    // the search keeps no more answers
};

struct AnswerRecord
{
    AnswerFate fate = AnswerFate::Incomplete;
    Refusal refusal = Refusal::None;
    SearchLimit limit = SearchLimit::None;
    FetchReport fetch;
    int deviceIndex = -1;            // the table index of a published record
    std::uint32_t sourceAddress = 0; // network byte order, 0 when unknown
    char interfaceName[16] = {};     // empty when unknown
    char location[AnswerTextSize] = {};
    char usn[AnswerTextSize] = {};
    char deviceType[AnswerTextSize] = {}; // the short type, once a description was parsed
    char manufacturer[AnswerTextSize] = {};
    char friendlyName[AnswerTextSize] = {};
};

struct AnswerLog
{
    AnswerRecord* records = nullptr; // MaxExplainedAnswers of them once enabled
    std::atomic<int> count{0};
    std::atomic<int> notExplained{0}; // answers past MaxExplainedAnswers
};

// The process-wide log; empty (records nullptr) until enabled.
AnswerLog& answerLog();
// Allocates the records (once). False when there is no memory for them.
bool enableAnswerLog();
bool answerLogEnabled();
// Empties the log; only while no search runs.
void resetAnswerLog();
// Appends a copy of record, or counts it as not explained when the log is full. Only the search
// thread, only once enabled.
void appendAnswer(const AnswerRecord& record);

// Copies at most AnswerTextSize - 1 bytes of text into field and terminates it.
void copyAnswerText(char (&field)[AnswerTextSize], const char* text);

// Short English words for the outcome, as qvlink-scan --explain prints them.
const char* fateText(AnswerFate fate);
const char* refusalText(Refusal refusal);
const char* limitText(SearchLimit limit);
const char* fetchErrorText(FetchError error);

} // namespace qvd
