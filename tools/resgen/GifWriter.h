// A small GIF89a writer for animations whose frames all cover the whole logical screen
// and share one global colour table of 256 entries.
//
// Thread-safety: pure functions.
#pragma once

#include <QByteArray>
#include <QList>
#include <QRgb>
#include <array>

namespace resgen {

struct GifFrame
{
    QByteArray indices; // width * height palette indices, row by row
    int delayCentiseconds = 0;
    int disposal = 1;
};

struct GifAnimation
{
    int width = 0;
    int height = 0;
    std::array<QRgb, 256> palette{};
    QList<GifFrame> frames;
    bool loopForever = true; // writes one NETSCAPE2.0 application extension
};

// The LZW code stream of one image as GIF stores it (minimum code size 8), already cut
// into length-prefixed sub-blocks and ended by the zero-length block.
QByteArray LzwSubBlocks(const QByteArray& indices);

// Header, logical screen, global colour table, the loop extension, then per frame one
// graphic control extension and one image; ends with the trailer. Empty when a frame's
// size does not match the screen.
QByteArray EncodeGif(const GifAnimation& animation);

} // namespace resgen
