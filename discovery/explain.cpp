#include "explain.h"

#include <cstdlib>
#include <cstring>

namespace qvd {

AnswerLog& answerLog()
{
    static AnswerLog log;
    return log;
}

bool enableAnswerLog()
{
    AnswerLog& log = answerLog();
    if (log.records == nullptr) {
        // Zeroed memory is a valid array of records: every field's zero is its empty value.
        log.records = static_cast<AnswerRecord*>(std::calloc(MaxExplainedAnswers, sizeof(AnswerRecord)));
    }
    return log.records != nullptr;
}

bool answerLogEnabled()
{
    return answerLog().records != nullptr;
}

void resetAnswerLog()
{
    AnswerLog& log = answerLog();
    // Relaxed: no search runs; the thread that starts the next one orders these stores.
    log.count.store(0, std::memory_order_relaxed);
    log.notExplained.store(0, std::memory_order_relaxed);
}

void appendAnswer(const AnswerRecord& record)
{
    AnswerLog& log = answerLog();
    if (log.records == nullptr) {
        return;
    }
    // Relaxed: the search thread is the only writer of count.
    const int index = log.count.load(std::memory_order_relaxed);
    if (index >= MaxExplainedAnswers) {
        log.notExplained.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    log.records[index] = record;
    // Release: the record's bytes happen-before a reader's acquire load that sees the count.
    log.count.store(index + 1, std::memory_order_release);
}

void copyAnswerText(char (&field)[AnswerTextSize], const char* text)
{
    const std::size_t length = text == nullptr ? 0 : strnlen(text, AnswerTextSize - 1);
    if (length > 0) {
        std::memcpy(field, text, length);
    }
    field[length] = '\0';
}

const char* fateText(AnswerFate fate)
{
    switch (fate) {
    case AnswerFate::Listed:
        return "listed";
    case AnswerFate::OtherMaker:
        return "another maker";
    case AnswerFate::TypeNotAccepted:
        return "type not accepted";
    case AnswerFate::LocationRefused:
        return "location refused";
    case AnswerFate::FetchFailed:
        return "fetch failed";
    case AnswerFate::LimitReached:
        return "limit reached";
    case AnswerFate::DuplicateUsn:
        return "duplicate USN";
    case AnswerFate::Incomplete:
        return "not an answer";
    }
    return "unknown";
}

const char* refusalText(Refusal refusal)
{
    switch (refusal) {
    case Refusal::None:
        return "";
    case Refusal::NotHttp:
        return "not an http URL with a path";
    case Refusal::HostName:
        return "a name, not an address";
    case Refusal::AnotherHost:
        return "another host than the sender";
    case Refusal::NotOnNetwork:
        return "sender not on the interface's network";
    }
    return "";
}

const char* limitText(SearchLimit limit)
{
    switch (limit) {
    case SearchLimit::None:
        return "";
    case SearchLimit::DeviceTable:
        return "device table full";
    case SearchLimit::HostFailures:
        return "this host's failed fetches";
    case SearchLimit::SearchFailures:
        return "the search's failed fetches";
    case SearchLimit::KeptAnswers:
        return "answers kept";
    }
    return "";
}

const char* fetchErrorText(FetchError error)
{
    switch (error) {
    case FetchError::None:
        return "";
    case FetchError::Refused:
        return "refused";
    case FetchError::TimedOut:
        return "timed out";
    case FetchError::CutOff:
        return "cut off";
    case FetchError::NotHttp200:
        return "not HTTP 200";
    case FetchError::TooLarge:
        return "too large";
    case FetchError::Unreachable:
        return "unreachable";
    case FetchError::Empty:
        return "empty body";
    }
    return "";
}

} // namespace qvd
