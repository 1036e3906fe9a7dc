#include "GifWriter.h"

#include <QHash>

namespace resgen {
namespace {

constexpr int MinCodeSize = 8;
constexpr int ClearCode = 1 << MinCodeSize;
constexpr int EndCode = ClearCode + 1;
constexpr int MaxCode = 4095;
constexpr int MaxSubBlock = 255;

// Packs codes least significant bit first, as GIF wants.
class BitWriter
{
public:
    void Write(int code, int width)
    {
        m_acc |= static_cast<quint32>(code) << m_bits;
        m_bits += width;
        while (m_bits >= 8) {
            m_bytes.append(static_cast<char>(m_acc & 0xFFu));
            m_acc >>= 8;
            m_bits -= 8;
        }
    }
    QByteArray Finish()
    {
        if (m_bits > 0)
            m_bytes.append(static_cast<char>(m_acc & 0xFFu));
        m_acc = 0;
        m_bits = 0;
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    quint32 m_acc = 0;
    int m_bits = 0;
};

void appendWord(QByteArray& out, int value)
{
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>((value >> 8) & 0xFF));
}

void appendByte(QByteArray& out, int value)
{
    out.append(static_cast<char>(value & 0xFF));
}

} // namespace

QByteArray LzwSubBlocks(const QByteArray& indices)
{
    BitWriter bits;
    // Dictionary key: (prefix code << 8) | next index.
    QHash<int, int> dictionary;
    int codeSize = MinCodeSize + 1;
    int nextCode = EndCode + 1;
    bits.Write(ClearCode, codeSize);

    int prefix = -1;
    for (const char raw : indices) {
        const int pixel = static_cast<unsigned char>(raw);
        if (prefix < 0) {
            prefix = pixel;
            continue;
        }
        const int key = (prefix << 8) | pixel;
        const auto found = dictionary.constFind(key);
        if (found != dictionary.constEnd()) {
            prefix = *found;
            continue;
        }
        bits.Write(prefix, codeSize);
        if (nextCode <= MaxCode) {
            dictionary.insert(key, nextCode);
            // The decoder learns each code one step later, so the width grows once the
            // code just handed out no longer fits.
            if (nextCode >= (1 << codeSize) && codeSize < 12)
                ++codeSize;
            ++nextCode;
        }
        if (nextCode > MaxCode) {
            bits.Write(ClearCode, codeSize);
            dictionary.clear();
            codeSize = MinCodeSize + 1;
            nextCode = EndCode + 1;
        }
        prefix = pixel;
    }
    if (prefix >= 0)
        bits.Write(prefix, codeSize);
    bits.Write(EndCode, codeSize);

    const QByteArray stream = bits.Finish();
    QByteArray out;
    for (qsizetype at = 0; at < stream.size(); at += MaxSubBlock) {
        const qsizetype length = qMin<qsizetype>(MaxSubBlock, stream.size() - at);
        appendByte(out, static_cast<int>(length));
        out.append(stream.mid(at, length));
    }
    appendByte(out, 0);
    return out;
}

QByteArray EncodeGif(const GifAnimation& animation)
{
    const qsizetype pixels = qsizetype(animation.width) * animation.height;
    for (const GifFrame& frame : animation.frames) {
        if (frame.indices.size() != pixels)
            return {};
    }

    QByteArray out("GIF89a");
    appendWord(out, animation.width);
    appendWord(out, animation.height);
    appendByte(out, 0xF7); // global table present, 8 bits of colour, 256 entries
    appendByte(out, 0);    // background colour index
    appendByte(out, 0);    // no aspect ratio
    for (const QRgb colour : animation.palette) {
        appendByte(out, qRed(colour));
        appendByte(out, qGreen(colour));
        appendByte(out, qBlue(colour));
    }
    if (animation.loopForever) {
        out.append("\x21\xFF\x0B", 3);
        out.append("NETSCAPE2.0");
        out.append("\x03\x01\x00\x00\x00", 5); // loop count 0: forever
    }
    for (const GifFrame& frame : animation.frames) {
        out.append("\x21\xF9\x04", 3);
        appendByte(out, (frame.disposal & 7) << 2);
        appendWord(out, frame.delayCentiseconds);
        appendByte(out, 0); // no transparent colour
        appendByte(out, 0);
        appendByte(out, 0x2C);
        appendWord(out, 0);
        appendWord(out, 0);
        appendWord(out, animation.width);
        appendWord(out, animation.height);
        appendByte(out, 0); // no local table, not interlaced
        appendByte(out, MinCodeSize);
        out.append(LzwSubBlocks(frame.indices));
    }
    appendByte(out, 0x3B);
    return out;
}

} // namespace resgen
