// A byte source that hands out bytes from memory in the pieces it is told to, with "nothing
// within the wait", "peer closed" and "failed" as steps of their own. As a stream it cuts a
// piece larger than the reader's buffer into several receives; as a datagram source it cuts a
// datagram to the buffer, as a datagram socket does, and an empty piece is an empty datagram.
//
// Thread-safety: one reader thread; the steps' bytes must outlive the source.
#pragma once

#include "bytesource.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace qvtest {

struct SourceStep
{
    enum class Kind
    {
        Bytes,
        Silence, // a wait passes with nothing
        Close,
        Fail,
    };
    Kind kind = Kind::Bytes;
    std::string_view bytes;
    std::uint32_t sourceAddress = 0; // network byte order
    int channel = 0;                 // the socket it came in on
};

inline SourceStep bytes(std::string_view b, std::uint32_t from = 0, int channel = 0)
{
    return {SourceStep::Kind::Bytes, b, from, channel};
}
inline SourceStep silence()
{
    return {SourceStep::Kind::Silence, {}, 0, 0};
}

class MemoryByteSource final : public qvd::ByteSource
{
public:
    enum class Mode
    {
        Stream,   // after the last step the peer has closed
        Datagram, // after the last step every wait passes with nothing
    };
    MemoryByteSource(std::vector<SourceStep> steps, Mode mode)
        : m_steps(std::move(steps))
        , m_mode(mode)
    {
    }

    qvd::ReceiveResult receive(char* buffer, std::size_t size, int waitMs) override
    {
        using qvd::ReceiveStatus;
        m_waits.push_back(waitMs);
        qvd::ReceiveResult result;
        if (m_next >= m_steps.size()) {
            result.status = m_mode == Mode::Stream ? ReceiveStatus::Closed : ReceiveStatus::TimedOut;
            return result;
        }
        SourceStep& step = m_steps[m_next];
        switch (step.kind) {
        case SourceStep::Kind::Silence:
            ++m_next;
            result.status = ReceiveStatus::TimedOut;
            return result;
        case SourceStep::Kind::Close:
            ++m_next;
            result.status = ReceiveStatus::Closed;
            return result;
        case SourceStep::Kind::Fail:
            ++m_next;
            return result;
        case SourceStep::Kind::Bytes:
            break;
        }
        result.sourceAddress = step.sourceAddress;
        result.channel = step.channel;
        const std::size_t n = std::min(size, step.bytes.size());
        if (n > 0) {
            std::memcpy(buffer, step.bytes.data(), n);
        }
        result.size = n;
        if (m_mode == Mode::Stream && n < step.bytes.size()) {
            step.bytes.remove_prefix(n);
        } else {
            ++m_next;
        }
        if (n > 0) {
            result.status = ReceiveStatus::Data;
        } else {
            result.status = m_mode == Mode::Stream ? ReceiveStatus::Closed : ReceiveStatus::EmptyDatagram;
        }
        return result;
    }

    // The wait the reader asked for at each receive.
    const std::vector<int>& waits() const { return m_waits; }
    // Steps not yet handed out.
    std::size_t pending() const { return m_steps.size() - m_next; }

private:
    std::vector<SourceStep> m_steps;
    Mode m_mode;
    std::size_t m_next = 0;
    std::vector<int> m_waits;
};

} // namespace qvtest
