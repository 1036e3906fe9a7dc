// The generator's GIF writer, decoded back by Qt's own GIF reader: every index must come
// back as written, also across the code-table resets of long, noisy images.

#include "GifWriter.h"
#include "Spinner.h"

#include <QBuffer>
#include <QImageReader>
#include <QRandomGenerator>
#include <QtTest>

namespace {

resgen::GifAnimation animation(int width, int height, int colours, int frames = 2)
{
    resgen::GifAnimation gif;
    gif.width = width;
    gif.height = height;
    for (int i = 0; i < 256; ++i)
        gif.palette[static_cast<size_t>(i)] = qRgb(i, 255 - i, (i * 37) & 0xFF);
    QRandomGenerator random(7);
    for (int f = 0; f < frames; ++f) {
        resgen::GifFrame frame;
        frame.indices.resize(qsizetype(width) * height);
        for (char& index : frame.indices)
            index = static_cast<char>(random.bounded(colours));
        gif.frames.append(frame);
    }
    return gif;
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
    const resgen::GifAnimation gif = animation(width, height, colours);
    QByteArray bytes = resgen::EncodeGif(gif);
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "gif");
    int f = 0;
    for (; reader.canRead(); ++f) {
        QVERIFY(f < 2);
        const QImage frame = reader.read().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(frame.size(), QSize(width, height));
        for (int i = 0; i < width * height; ++i) {
            if (frame.pixel(i % width, i / width) != gif.palette[static_cast<unsigned char>(gif.frames[f].indices[i])])
                QFAIL(qPrintable(QStringLiteral("frame %1 pixel %2 differs").arg(f).arg(i)));
        }
    }
    QCOMPARE(f, 2);
}

void TestGifWriter::frameOfTheWrongSizeGivesNothing()
{
    resgen::GifAnimation gif = animation(10, 10, 4);
    gif.frames[1].indices.chop(1);
    QVERIFY(resgen::EncodeGif(gif).isEmpty());
}

void TestGifWriter::subBlocksAreBoundedAndTerminated()
{
    const QByteArray blocks = resgen::LzwSubBlocks(animation(200, 200, 256, 1).frames[0].indices);
    qsizetype at = 0;
    int count = 0;
    for (int length = -1; length != 0 && at < blocks.size(); ++count) {
        length = static_cast<unsigned char>(blocks[at]);
        at += 1 + length;
    }
    QCOMPARE(at, blocks.size()); // the zero-length block is the very last byte
    QVERIFY(count > 100);
}

void TestGifWriter::spinnerIsSevenDistinctFrames()
{
    const resgen::GifAnimation spinner = resgen::SpinnerAnimation();
    QCOMPARE(spinner.frames.size(), 7);
    QSet<QByteArray> distinct;
    for (const resgen::GifFrame& frame : spinner.frames) {
        QCOMPARE(frame.delayCentiseconds, 0);
        QCOMPARE(frame.disposal, 1);
        QCOMPARE(frame.indices.size(), 50 * 50);
        distinct.insert(frame.indices);
    }
    QCOMPARE(distinct.size(), 7);
    // Index 0 is the skin grey the picture control fills its surface with.
    QCOMPARE(spinner.palette[0], qRgb(59, 59, 59));
}

QTEST_MAIN(TestGifWriter)
#include "TestGifWriter.moc"
