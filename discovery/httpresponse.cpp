// The answer reader: header block, then a content-length, chunked or read-to-close body, taken
// from a byte source one read at a time. Where one read ends and the next begins never changes
// the result: the header-end scan and the chunk-size line both resume where they stopped.
//
// Every byte count that comes from the network is checked before it is used: an announced
// length is only a limit, never an allocation, and both the header block and the body have a
// fixed ceiling, so a hostile device costs at most a little over MaxBodyBytes.
#include "http.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace qvd {

namespace {

constexpr std::size_t ChunkedWordLength = 7;

// What the reader has learnt so far about one answer.
struct ResponseState
{
    HttpBody header;
    bool headerEnded = false;
    HttpBody body;
    long long contentLength = -1; // > 0 only when the server announced a usable length
    bool chunked = false;
    std::size_t headerScanned = 0; // the end-of-headers scan resumes here
    std::uint32_t chunkSize = 0;   // bytes the open chunk still wants; 0 when none is open
    // Where the reading of a chunk-size line stands, so that a line split across reads is read
    // exactly as the whole line would be.
    enum class SizeLine
    {
        Start,       // a CR ending the previous chunk's data may follow
        AfterLeadCr, // its LF may follow
        Digits,
        Extension, // the digits have ended; everything up to the line end is skipped
        AfterCr,   // the line has ended but for its LF
    } sizeLine = SizeLine::Start;
    std::size_t chunkDigitCount = 0;
    std::uint32_t chunkDigitValue = 0; // the digits collected so far, wrapping like the size
};

// Appends what fits under cap, growing the buffer geometrically only as bytes arrive.
// Returns true once the buffer is full.
bool appendCapped(HttpBody& buffer, const char* data, std::size_t size, std::size_t cap)
{
    const std::size_t take = std::min(size, cap - std::min(cap, buffer.size()));
    const std::size_t needed = buffer.size() + take;
    if (needed > buffer.capacity()) {
        buffer.reserve(std::min(cap, std::max(needed, buffer.capacity() * 2)));
    }
    buffer.insert(buffer.end(), data, data + take);
    return buffer.size() >= cap;
}

// The position just after the first CR LF CR LF or LF LF at or after from, or 0 when there is
// none yet.
std::size_t findHeaderEnd(const char* data, std::size_t used, std::size_t from)
{
    for (std::size_t i = from; i + 1 < used; ++i) {
        if (data[i] == '\n' && data[i + 1] == '\n') {
            return i + 2;
        }
        if (i + 3 < used && data[i] == '\r' && data[i + 1] == '\n' && data[i + 2] == '\r' && data[i + 3] == '\n') {
            return i + 4;
        }
    }
    return 0;
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A header name counts when it is, in any case, the start of word (so "Content" is taken
// for "content-length"); a longer name never matches.
bool isStartOf(const char* name, std::size_t nameLength, const char* word)
{
    if (nameLength == 0 || nameLength > std::strlen(word)) {
        return false;
    }
    for (std::size_t i = 0; i < nameLength; ++i) {
        if (asciiLower(name[i]) != word[i]) {
            return false;
        }
    }
    return true;
}

// A signed decimal that saturates instead of overflowing; no digits give 0.
long long readContentLength(const char* value, const char* end)
{
    while (value < end && (*value == ' ' || *value == '\t')) {
        ++value;
    }
    bool negative = false;
    if (value < end && (*value == '+' || *value == '-')) {
        negative = *value == '-';
        ++value;
    }
    long long result = 0;
    for (; value < end && *value >= '0' && *value <= '9'; ++value) {
        const int digit = *value - '0';
        result = result > (LLONG_MAX - digit) / 10 ? LLONG_MAX : result * 10 + digit;
    }
    return negative ? -result : result;
}

void applyHeader(ResponseState& state, const char* name, std::size_t nameLength, const char* value,
                 const char* valueEnd)
{
    if (isStartOf(name, nameLength, "content-length")) {
        state.contentLength = readContentLength(value, valueEnd);
        return;
    }
    if (isStartOf(name, nameLength, "transfer-encoding") &&
        static_cast<std::size_t>(valueEnd - value) >= ChunkedWordLength &&
        isStartOf(value, ChunkedWordLength, "chunked")) {
        state.chunked = true;
    }
}

void parseHeaderLines(ResponseState& state, const char* data, std::size_t end)
{
    std::size_t pos = 0;
    while (pos < end) {
        const std::size_t lineStart = pos;
        std::size_t nameLength = 0;
        std::size_t valueStart = 0;
        bool hasValue = false;
        while (pos < end && data[pos] != '\r' && data[pos] != '\n') {
            if (!hasValue && data[pos] == ':') {
                nameLength = pos - lineStart;
                hasValue = true;
                ++pos;
                while (pos < end && (data[pos] == ' ' || data[pos] == '\t')) {
                    ++pos;
                }
                valueStart = pos;
                continue;
            }
            ++pos;
        }
        if (pos < end && hasValue) {
            applyHeader(state, data + lineStart, nameLength, data + valueStart, data + pos);
        }
        while (pos < end && (data[pos] == '\r' || data[pos] == '\n')) {
            ++pos;
        }
    }
}

bool finishChunkSizeLine(ResponseState& state)
{
    state.chunkSize = state.chunkDigitValue;
    state.chunkDigitValue = 0;
    state.chunkDigitCount = 0;
    state.sizeLine = ResponseState::SizeLine::Start;
    return true;
}

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char lower = asciiLower(c);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// Reads (the rest of) one chunk-size line. Returns false when the bytes ran out before its
// end; where the line stands is kept for the next read.
bool readChunkSizeLine(ResponseState& state, const char*& p, const char* end)
{
    using SizeLine = ResponseState::SizeLine;
    while (p < end) {
        const char c = *p;
        switch (state.sizeLine) {
        case SizeLine::Start:
            state.sizeLine = SizeLine::AfterLeadCr;
            p += c == '\r' ? 1 : 0;
            break;
        case SizeLine::AfterLeadCr:
            state.sizeLine = SizeLine::Digits;
            p += c == '\n' ? 1 : 0;
            break;
        case SizeLine::Digits:
            if (state.chunkDigitCount < MaxChunkDigits && hexDigitValue(c) >= 0) {
                state.chunkDigitValue = state.chunkDigitValue * 16u + static_cast<std::uint32_t>(hexDigitValue(c));
                ++state.chunkDigitCount;
                ++p;
            } else {
                state.sizeLine = SizeLine::Extension;
            }
            break;
        case SizeLine::Extension:
            // Chunk extensions, and digits past the ones kept.
            ++p;
            if (c == '\r') {
                state.sizeLine = SizeLine::AfterCr;
            } else if (c == '\n') {
                return finishChunkSizeLine(state);
            }
            break;
        case SizeLine::AfterCr:
            p += c == '\n' ? 1 : 0;
            return finishChunkSizeLine(state);
        }
    }
    return false;
}

// Returns true when the body is complete (the last chunk) or full.
bool consumeChunked(ResponseState& state, const char* p, const char* end)
{
    while (p < end) {
        if (state.chunkSize == 0) {
            if (!readChunkSizeLine(state, p, end)) {
                return false;
            }
            if (state.chunkSize == 0) {
                return true;
            }
            continue;
        }
        const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(end - p), state.chunkSize);
        if (appendCapped(state.body, p, take, MaxBodyBytes)) {
            return true;
        }
        state.chunkSize -= static_cast<std::uint32_t>(take);
        p += take;
    }
    return false;
}

// Returns true when the body is full.
bool consumePlain(ResponseState& state, const char* p, std::size_t size)
{
    if (state.contentLength > 0) {
        const auto announced = static_cast<unsigned long long>(state.contentLength);
        const unsigned long long missing = announced > state.body.size() ? announced - state.body.size() : 0;
        size = static_cast<std::size_t>(std::min<unsigned long long>(size, missing));
    }
    return appendCapped(state.body, p, size, MaxBodyBytes);
}

// Takes one read. Returns true when reading should stop.
bool takeBytes(ResponseState& state, const char* data, std::size_t size)
{
    if (!state.headerEnded) {
        state.header.insert(state.header.end(), data, data + size);
        const std::size_t end = findHeaderEnd(state.header.data(), state.header.size(), state.headerScanned);
        if (end == 0) {
            // An end that the next read completes starts at most three bytes back.
            state.headerScanned = state.header.size() < 3 ? 0 : state.header.size() - 3;
            return state.header.size() >= MaxHeaderBytes;
        }
        parseHeaderLines(state, state.header.data(), end);
        state.headerEnded = true;
        data = state.header.data() + end;
        size = state.header.size() - end;
    }
    const bool ended = state.chunked ? consumeChunked(state, data, data + size) : consumePlain(state, data, size);
    if (ended) {
        return true;
    }
    return state.contentLength > 0 && state.body.size() >= static_cast<unsigned long long>(state.contentLength);
}

// The status code of the answer's first line ("HTTP/1.1 200 OK"), or 0 when it has none.
int statusCode(const HttpBody& header)
{
    constexpr std::size_t PrefixLength = 5;
    if (header.size() < PrefixLength || std::memcmp(header.data(), "HTTP/", PrefixLength) != 0) {
        return 0;
    }
    std::size_t i = PrefixLength;
    while (i < header.size() && header[i] != ' ' && header[i] != '\r' && header[i] != '\n') {
        ++i;
    }
    while (i < header.size() && header[i] == ' ') {
        ++i;
    }
    int code = 0;
    for (int digits = 0; digits < 3 && i < header.size() && header[i] >= '0' && header[i] <= '9'; ++digits, ++i) {
        code = code * 10 + (header[i] - '0');
    }
    return code;
}

// How reading ended: the answer was whole, the peer closed, or a wait or the deadline passed.
enum class ReadEnd
{
    Whole,
    Closed,
    Waited,
    Failed,
};

void describeAnswer(const ResponseState& state, ReadEnd end, FetchReport& report)
{
    report.httpStatus = statusCode(state.header);
    report.timedOut = end == ReadEnd::Waited;
    const bool headerFull = !state.headerEnded && state.header.size() >= MaxHeaderBytes;
    const bool bodyFull = state.body.size() >= MaxBodyBytes;
    // A body without length or chunks ends with the connection.
    const bool readToClose = !state.chunked && state.contentLength <= 0;
    const bool whole = state.headerEnded && (end == ReadEnd::Whole || (end == ReadEnd::Closed && readToClose));
    if (!state.body.empty()) {
        report.tooLarge = bodyFull;
        report.incomplete = !whole && !bodyFull;
        return;
    }
    if (headerFull) {
        report.error = FetchError::TooLarge;
    } else if (state.headerEnded && report.httpStatus != 200) {
        report.error = FetchError::NotHttp200;
    } else if (whole) {
        report.error = FetchError::Empty;
    } else {
        report.error = end == ReadEnd::Waited ? FetchError::TimedOut : FetchError::CutOff;
    }
}

} // namespace

std::optional<HttpBody> readHttpResponse(ByteSource& source, std::size_t* length, Deadline deadline,
                                         FetchReport* report)
{
    if (length != nullptr) {
        *length = 0;
    }
    ResponseState state;
    state.header.reserve(InitialBufferSize);
    state.body.reserve(InitialBufferSize);
    // Acquire pairs with the release store of whoever scaled the timings down.
    const int waitMs = timing().readWaitMs.load(std::memory_order_acquire);
    char buffer[ReceiveBufferSize];
    ReadEnd end = ReadEnd::Waited;
    for (;;) {
        const int leftMs = remainingMs(deadline);
        if (leftMs == 0) {
            end = ReadEnd::Waited;
            break;
        }
        const ReceiveResult received = source.receive(buffer, sizeof buffer, std::min(waitMs, leftMs));
        if (received.status != ReceiveStatus::Data) {
            end = received.status == ReceiveStatus::TimedOut ? ReadEnd::Waited
                  : received.status == ReceiveStatus::Failed ? ReadEnd::Failed
                                                             : ReadEnd::Closed;
            break;
        }
        if (takeBytes(state, buffer, received.size)) {
            end = ReadEnd::Whole;
            break;
        }
    }
    if (report != nullptr) {
        describeAnswer(state, end, *report);
    }
    HttpBody().swap(state.header);
    if (length != nullptr) {
        *length = state.body.size();
    }
    if (state.body.empty()) {
        return std::nullopt;
    }
    return std::move(state.body);
}

} // namespace qvd
