// An answer from a device read the way a fetch reads it, with the read boundaries chosen by the
// input, in memory: no socket, no thread.
//
// Input: one byte n, then n % 16 plan bytes, then the answer. Each plan byte ends one read: 0
// is a wait that passes with nothing, 255 is the peer closing, any other value a read of that
// many bytes. After the plan the rest of the answer arrives in reads as large as the reader
// asks for, and then the peer closes.
//
// Checked: the length cell agrees with the body, the body is never longer than the answer nor
// the cap; and a well-formed chunked answer built from the same input gives exactly its
// payload, delivered whole and delivered in the planned pieces.
#include "MemoryByteSource.h"
#include "http.h"
#include "protocol.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using qvtest::MemoryByteSource;
using qvtest::SourceStep;

constexpr std::size_t MaxPlan = 16;
constexpr std::uint8_t PlanSilence = 0;
constexpr std::uint8_t PlanClose = 255;
// Longer payloads add time per input and no new states.
constexpr std::size_t MaxPayload = 256;

std::vector<SourceStep> planSteps(std::string_view plan, std::string_view answer, bool withPauses)
{
    std::vector<SourceStep> steps;
    for (const char c : plan) {
        const auto value = static_cast<std::uint8_t>(c);
        if (value == PlanSilence || value == PlanClose) {
            if (withPauses) {
                steps.push_back({value == PlanSilence ? SourceStep::Kind::Silence : SourceStep::Kind::Close, {}, 0});
            }
            continue;
        }
        const std::size_t n = std::min<std::size_t>(value, answer.size());
        if (n == 0) {
            break;
        }
        steps.push_back(qvtest::bytes(answer.substr(0, n)));
        answer.remove_prefix(n);
    }
    if (!answer.empty()) {
        steps.push_back(qvtest::bytes(answer));
    }
    return steps;
}

std::string readBody(std::vector<SourceStep> steps, std::size_t* length)
{
    MemoryByteSource source(std::move(steps), MemoryByteSource::Mode::Stream);
    const std::optional<qvd::HttpBody> body = qvd::readHttpResponse(source, length, qvd::Deadline::max());
    if ((body && (body->size() != *length || *length == 0 || *length > qvd::MaxBodyBytes)) || (!body && *length != 0)) {
        __builtin_trap();
    }
    return body ? std::string(body->data(), body->size()) : std::string();
}

// A chunked answer carrying payload, its chunk sizes and extensions drawn from the plan.
std::string chunkedAnswer(std::string_view plan, std::string_view payload)
{
    static constexpr const char* Extensions[] = {"", ";ext=1", ";a=\"b;c\"", ";e", " ;f=abc"};
    std::string out = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (std::size_t k = 0; !payload.empty(); ++k) {
        const auto value = plan.empty() ? 7u : static_cast<std::uint8_t>(plan[k % plan.size()]);
        const std::size_t size = std::min<std::size_t>(payload.size(), value % 97 + 1);
        const char* digits = (k & 1) != 0 ? "0123456789ABCDEF" : "0123456789abcdef";
        if (size >= 16) {
            out += digits[size / 16];
        }
        out += digits[size % 16];
        out += Extensions[(value >> 3) % 5];
        out += "\r\n";
        out.append(payload.substr(0, size));
        out += "\r\n";
        payload.remove_prefix(size);
    }
    return out + "0;end=1\r\n\r\n";
}

} // namespace

// The reader's 2 KiB buffers, filled with a pattern on every allocation and never reused while
// in quarantine, cost more than the reading itself; out-of-bounds and use-after-free reports
// need neither.
extern "C" const char* __asan_default_options()
{
    return "max_malloc_fill_size=0:quarantine_size_mb=16";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t planLength = std::min<std::size_t>(static_cast<std::uint8_t>(input[0]) % MaxPlan, size - 1);
    const std::string_view plan = input.substr(1, planLength);
    const std::string_view answer = input.substr(1 + planLength);

    std::size_t length = 1;
    readBody(planSteps(plan, answer, true), &length);
    if (length > answer.size()) {
        __builtin_trap();
    }

    const std::string_view payload = answer.substr(0, std::min(answer.size(), MaxPayload));
    if (payload.empty()) {
        return 0;
    }
    const std::string chunked = chunkedAnswer(plan, payload);
    std::size_t wholeLength = 0;
    std::size_t piecesLength = 0;
    const std::string whole = readBody({qvtest::bytes(chunked)}, &wholeLength);
    std::vector<SourceStep> steps = planSteps(plan, chunked, false);
    // One piece is the whole answer again.
    const std::string pieces = steps.size() > 1 ? readBody(std::move(steps), &piecesLength) : whole;
    if (whole != payload || pieces != payload) {
        __builtin_trap();
    }
    return 0;
}
