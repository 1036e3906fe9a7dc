// The GIF block reader and frame splitter on arbitrary bytes: every walk ends, every span
// lies inside the data, and every re-packed frame is the head, the run and the trailer.
#include "GifReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Read everything as a GIF, whatever its first bytes: the reader must not rely on the
    // caller having checked them.
    (void)GifReader::IsGif(data, size);
    const GifReader reader(data, size);
    const std::size_t count = reader.CountFrames();
    std::size_t offset = reader.FirstBlock();
    std::size_t steps = 0;
    GifFrameSpan span;
    while (reader.NextFrame(offset, span)) {
        ++steps;
        if (span.runBegin < reader.FirstBlock() || span.runBegin >= span.runEnd || span.runEnd > size ||
            offset != span.runEnd) {
            std::abort();
        }
        const std::vector<unsigned char> gif = reader.FrameGif(span);
        if (gif.size() != reader.FirstBlock() + (span.runEnd - span.runBegin) + 1 || gif.back() != 0x3B) {
            std::abort();
        }
        // The re-packed frame is itself a GIF of exactly one frame.
        if (GifReader(gif.data(), gif.size()).CountFrames() != 1) {
            std::abort();
        }
    }
    if (steps != count) {
        std::abort();
    }
    for (std::size_t at = 0; at < size && at < 64; ++at) {
        const std::size_t length = reader.BlockLength(at);
        if (length > size - at) {
            std::abort();
        }
    }
    return 0;
}
