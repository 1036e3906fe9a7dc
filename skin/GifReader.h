// The GIF block reader and frame splitter behind the animated picture.
//
// Plain C++ without Qt, so that it can be fuzzed on its own. It reads only what the
// animation needs: the logical screen, the global colour table, the extension blocks, the
// graphic control extension (delay, disposal) and the image descriptors. It never decodes
// pixels: each frame is re-packed as a standalone single-image GIF for a picture loader.
//
// Every read is checked against the data size: a block whose length cannot be computed, or
// which would end beyond the data, ends the walk there, so damaged data yields the frames
// before the damage.
//
// Thread-safety: a GifReader only reads the bytes it was given; distinct readers may be used
// on distinct threads, and const members may be called concurrently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One frame found in the data: where its bytes lie and what its blocks say.
struct GifFrameSpan
{
    std::size_t runBegin = 0; // its graphic control extension, or its image when it has none
    std::size_t runEnd = 0;   // one past the end of its image (or plain-text extension)
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t delay = 0; // hundredths of a second; 0 without a graphic control extension
    int disposal = 0;        // 0 to 7; 0 without a graphic control extension
    bool isImage = false;    // false for a plain-text extension, which carries no position
};

enum class GifBlock
{
    PlainText,
    GraphicControl,
    Comment,
    Application,
    Image,
    Trailer,
    Unknown,
    End // the offset lies at or beyond the end of the data
};

class GifReader
{
public:
    // Size of the header and logical screen descriptor.
    static constexpr std::size_t ScreenEnd = 13;

    GifReader(const unsigned char* data, std::size_t size);

    // Whether the data begins with "GIF" (the version that follows is not examined).
    static bool IsGif(const unsigned char* data, std::size_t size);

    bool HasScreen() const { return m_size >= ScreenEnd; }
    std::uint32_t ScreenWidth() const;
    std::uint32_t ScreenHeight() const;
    std::size_t GlobalColorTableSize() const { return m_colorTableSize; }
    std::size_t FirstBlock() const { return ScreenEnd + m_colorTableSize; }

    GifBlock BlockAt(std::size_t offset) const;
    // Length of the block at offset including its sub-blocks; 0 when it is not a block that
    // the walk passes over, its length cannot be computed or it would end beyond the data.
    std::size_t BlockLength(std::size_t offset) const;

    // One step of the frame walk from offset: application and comment extensions, an
    // optional graphic control extension (with any application or comment extensions after
    // it), then one image or plain-text extension. On success fills frame and moves offset
    // past it.
    bool NextFrame(std::size_t& offset, GifFrameSpan& frame) const;
    // Number of successful steps from the first block.
    std::size_t CountFrames() const;
    // The frame as a standalone GIF: header, logical screen and global colour table of the
    // whole data, the frame's run, and the trailer.
    std::vector<unsigned char> FrameGif(const GifFrameSpan& frame) const;

private:
    std::uint32_t Word(std::size_t offset) const;
    // End of the sub-block chain starting at offset (its zero length byte included); 0 when
    // the chain runs past the data.
    std::size_t SubBlocksEnd(std::size_t offset) const;
    std::size_t SkipExtensions(std::size_t offset) const;

    const unsigned char* m_data;
    std::size_t m_size;
    std::size_t m_colorTableSize = 0;
};

// How long a frame of this delay (hundredths of a second) stays: delay x 10 ms from a delay
// of 5 on, 100 ms below that.
unsigned FrameWaitMs(std::uint32_t delay);
