#include "GifReader.h"

namespace {

constexpr unsigned char ExtensionIntroducer = 0x21;
constexpr unsigned char ImageSeparator = 0x2C;
constexpr unsigned char TrailerByte = 0x3B;

constexpr std::size_t ApplicationHead = 14;
constexpr std::size_t CommentHead = 2;
constexpr std::size_t GraphicControlLength = 8;
constexpr std::size_t PlainTextHead = 15;
constexpr std::size_t ImageDescriptorLength = 10;

constexpr std::uint32_t ShortDelayLimit = 5;
constexpr unsigned ShortDelayWaitMs = 100;
constexpr unsigned MsPerDelayUnit = 10;

// Bytes of a colour table announced by a packed byte (top bit: present; low 3 bits: size).
std::size_t ColorTableSize(unsigned char packed)
{
    if ((packed & 0x80U) == 0) {
        return 0;
    }
    return std::size_t{3} << ((packed & 7U) + 1U);
}

} // namespace

GifReader::GifReader(const unsigned char* data, std::size_t size)
    : m_data(data)
    , m_size(data != nullptr ? size : 0)
{
    if (HasScreen()) {
        m_colorTableSize = ColorTableSize(m_data[10]);
    }
}

bool GifReader::IsGif(const unsigned char* data, std::size_t size)
{
    return data != nullptr && size >= 3 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F';
}

std::uint32_t GifReader::Word(std::size_t offset) const
{
    return static_cast<std::uint32_t>(m_data[offset]) | (static_cast<std::uint32_t>(m_data[offset + 1]) << 8U);
}

std::uint32_t GifReader::ScreenWidth() const
{
    return HasScreen() ? Word(6) : 0;
}

std::uint32_t GifReader::ScreenHeight() const
{
    return HasScreen() ? Word(8) : 0;
}

GifBlock GifReader::BlockAt(std::size_t offset) const
{
    if (offset >= m_size) {
        return GifBlock::End;
    }
    switch (m_data[offset]) {
    case ImageSeparator:
        return GifBlock::Image;
    case TrailerByte:
        return GifBlock::Trailer;
    case ExtensionIntroducer:
        if (offset + 1 >= m_size) {
            return GifBlock::End;
        }
        switch (m_data[offset + 1]) {
        case 0x01:
            return GifBlock::PlainText;
        case 0xF9:
            return GifBlock::GraphicControl;
        case 0xFE:
            return GifBlock::Comment;
        case 0xFF:
            return GifBlock::Application;
        default:
            return GifBlock::Unknown;
        }
    default:
        return GifBlock::Unknown;
    }
}

std::size_t GifReader::SubBlocksEnd(std::size_t offset) const
{
    while (offset < m_size) {
        const std::size_t length = m_data[offset];
        ++offset;
        if (length == 0) {
            return offset;
        }
        offset += length;
    }
    return 0;
}

std::size_t GifReader::BlockLength(std::size_t offset) const
{
    std::size_t end = 0;
    switch (BlockAt(offset)) {
    case GifBlock::Application:
        end = SubBlocksEnd(offset + ApplicationHead);
        break;
    case GifBlock::Comment:
        end = SubBlocksEnd(offset + CommentHead);
        break;
    case GifBlock::GraphicControl:
        end = offset + GraphicControlLength;
        break;
    case GifBlock::PlainText:
        end = SubBlocksEnd(offset + PlainTextHead);
        break;
    case GifBlock::Image: {
        if (offset + ImageDescriptorLength > m_size) {
            return 0;
        }
        // Descriptor, local colour table, one byte of LZW code size, then the data.
        const std::size_t codeSize = offset + ImageDescriptorLength + ColorTableSize(m_data[offset + 9]);
        end = SubBlocksEnd(codeSize + 1);
        break;
    }
    case GifBlock::Trailer:
    case GifBlock::Unknown:
    case GifBlock::End:
        return 0;
    }
    if (end == 0 || end > m_size) {
        return 0;
    }
    return end - offset;
}

std::size_t GifReader::SkipExtensions(std::size_t offset) const
{
    for (;;) {
        const GifBlock block = BlockAt(offset);
        if (block != GifBlock::Application && block != GifBlock::Comment) {
            return offset;
        }
        const std::size_t length = BlockLength(offset);
        if (length == 0) {
            return offset;
        }
        offset += length;
    }
}

bool GifReader::NextFrame(std::size_t& offset, GifFrameSpan& frame) const
{
    if (!HasScreen()) {
        return false;
    }
    GifFrameSpan found;
    std::size_t at = SkipExtensions(offset);
    bool hasControl = false;
    if (BlockAt(at) == GifBlock::GraphicControl) {
        if (BlockLength(at) == 0) {
            return false;
        }
        hasControl = true;
        found.runBegin = at;
        found.disposal = static_cast<int>((m_data[at + 3] >> 2U) & 7U);
        found.delay = Word(at + 4);
        at = SkipExtensions(at + GraphicControlLength);
    }
    const GifBlock block = BlockAt(at);
    if (block != GifBlock::Image && block != GifBlock::PlainText) {
        return false;
    }
    const std::size_t length = BlockLength(at);
    if (length == 0) {
        return false;
    }
    if (!hasControl) {
        found.runBegin = at;
    }
    if (block == GifBlock::Image) {
        found.isImage = true;
        found.left = Word(at + 1);
        found.top = Word(at + 3);
        found.width = Word(at + 5);
        found.height = Word(at + 7);
    }
    found.runEnd = at + length;
    offset = found.runEnd;
    frame = found;
    return true;
}

std::size_t GifReader::CountFrames() const
{
    std::size_t count = 0;
    std::size_t offset = FirstBlock();
    GifFrameSpan frame;
    // Every step moves past at least one whole block, so the walk ends within the data.
    while (NextFrame(offset, frame)) {
        ++count;
    }
    return count;
}

std::vector<unsigned char> GifReader::FrameGif(const GifFrameSpan& frame) const
{
    std::vector<unsigned char> gif;
    const std::size_t head = FirstBlock();
    if (head > m_size || frame.runBegin < head || frame.runBegin > frame.runEnd || frame.runEnd > m_size) {
        return gif;
    }
    gif.reserve(head + (frame.runEnd - frame.runBegin) + 1);
    gif.insert(gif.end(), m_data, m_data + head);
    gif.insert(gif.end(), m_data + frame.runBegin, m_data + frame.runEnd);
    gif.push_back(TrailerByte);
    return gif;
}

unsigned FrameWaitMs(std::uint32_t delay)
{
    if (delay >= ShortDelayLimit) {
        return delay * MsPerDelayUnit;
    }
    return ShortDelayWaitMs;
}
