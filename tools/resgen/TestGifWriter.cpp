// The generator's GIF writer, decoded back by Qt's own GIF reader: every index must come
// back as written, also across the code-table resets of long, noisy images.

#include "GifWriter.h"
#include "Spinner.h"

#include <QBuffer>
#include <QImageReader>
#include <QRandomGenerator>
#include <QtTest>

namespace {

resgen::GifAnimation animation(int width, int height, int frames, int colours, quint32 seed)
{
    resgen::GifAnimation gif;
    gif.width = width;
    gif.height = height;
    for (int i = 0; i < 256; ++i)
        gif.palette[static_cast<size_t>(i)] = qRgb(i, 255 - i, (i * 37) & 0xFF);
    QRandomGenerator random(seed);
    for (int f = 0; f < frames; ++f) {
        resgen::GifFrame frame;
        frame.indices.resize(qsizetype(width) * height);
        for (char& index : frame.indices)
            index = static_cast<char>(random.bounded(colours));
        gif.frames.append(frame);
    }
    return gif;
}

QList<QImage> decode(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "gif");
    QList<QImage> frames;
    while (reader.canRead()) {
        const QImage frame = reader.read();
        if (frame.isNull())
            break;
        frames.append(frame.convertToFormat(QImage::Format_RGB32));
    }
    return frames;
}

} // namespace

class TestGifWriter : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void frameOfTheWrongSizeGivesNothing();
    void subBlocksAreBoundedAndTerminated();
    void spinnerIsSevenDistinctFrames();
};

void TestGifWriter::roundTrip_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("colours");
    QTest::newRow("one pixel") << 1 << 1 << 256;
    QTest::newRow("one colour, long runs") << 200 << 150 << 1;
    QTest::newRow("two colours") << 97 << 31 << 2;
    // Enough distinct strings to fill the 4096-entry table several times over.
    QTest::newRow("noise with table resets") << 320 << 240 << 256;
    QTest::newRow("width one") << 1 << 300 << 16;
}

void TestGifWriter::roundTrip()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, colours);
    const resgen::GifAnimation gif = animation(width, height, 2, colours, 7);
    const QList<QImage> frames = decode(resgen::EncodeGif(gif));
    QCOMPARE(frames.size(), 2);
    for (int f = 0; f < 2; ++f) {
        QCOMPARE(frames[f].size(), QSize(width, height));
        for (int i = 0; i < width * height; ++i) {
            const auto index = static_cast<unsigned char>(gif.frames[f].indices[i]);
            if (frames[f].pixel(i % width, i / width) != gif.palette[index])
                QFAIL(qPrintable(QStringLiteral("frame %1 pixel %2 differs").arg(f).arg(i)));
        }
    }
}

void TestGifWriter::frameOfTheWrongSizeGivesNothing()
{
    resgen::GifAnimation gif = animation(10, 10, 2, 4, 1);
    gif.frames[1].indices.chop(1);
    QVERIFY(resgen::EncodeGif(gif).isEmpty());
}

void TestGifWriter::subBlocksAreBoundedAndTerminated()
{
    const QByteArray blocks = resgen::LzwSubBlocks(animation(200, 200, 1, 256, 3).frames[0].indices);
    qsizetype at = 0;
    int count = 0;
    while (at < blocks.size()) {
        const int length = static_cast<unsigned char>(blocks[at]);
        at += 1 + length;
        ++count;
        if (length == 0)
            break;
    }
    QCOMPARE(at, blocks.size()); // the zero-length block is the very last byte
    QVERIFY(count > 100);
}

void TestGifWriter::spinnerIsSevenDistinctFrames()
{
    const resgen::GifAnimation spinner = resgen::SpinnerAnimation();
    QCOMPARE(spinner.frames.size(), resgen::SpinnerFrames);
    QSet<QByteArray> distinct;
    for (const resgen::GifFrame& frame : spinner.frames) {
        QCOMPARE(frame.delayCentiseconds, 0);
        QCOMPARE(frame.disposal, 1);
        QCOMPARE(frame.indices.size(), resgen::SpinnerSize * resgen::SpinnerSize);
        distinct.insert(frame.indices);
    }
    QCOMPARE(distinct.size(), resgen::SpinnerFrames);
    // Index 0 is the skin grey the picture control fills its surface with.
    QCOMPARE(spinner.palette[0], qRgb(59, 59, 59));
}

QTEST_MAIN(TestGifWriter)
#include "TestGifWriter.moc"
