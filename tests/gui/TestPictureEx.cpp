// The animated picture: the GIF block reader and frame splitter, loading, the animation
// thread's frames, delays and disposal, and Play/Stop/Unload.
#include "CPictureEx.h"
#include "GifReader.h"
#include "PaintCounter.h"
#include "Resources.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QtTest>
#include <atomic>
#include <thread>

namespace {

// A small GIF writer for the tests: 256-entry global colour table, 9-bit LZW codes with a
// clear code often enough that the code width never grows.
struct TestFrame
{
    QRect rect;
    std::vector<quint8> pixels; // palette indices, rect.width() x rect.height()
    int delay = 0;
    int disposal = 1;
    bool control = true;
    int transparent = -1;
};

TestFrame Filled(QRect rect, quint8 index, int delay, int disposal = 1)
{
    TestFrame frame;
    frame.rect = rect;
    frame.pixels.assign(static_cast<std::size_t>(rect.width() * rect.height()), index);
    frame.delay = delay;
    frame.disposal = disposal;
    return frame;
}

void PutWord(QByteArray& out, int value)
{
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>((value >> 8) & 0xFF));
}

void PutSubBlocks(QByteArray& out, const QByteArray& data)
{
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray chunk = data.mid(at, 255);
        out.append(static_cast<char>(chunk.size()));
        out.append(chunk);
    }
    out.append('\0');
}

QByteArray Lzw(const std::vector<quint8>& pixels)
{
    constexpr int Clear = 256;
    constexpr int End = 257;
    QByteArray out;
    quint32 bits = 0;
    int count = 0;
    auto putCode = [&](int code) {
        bits |= static_cast<quint32>(code) << count;
        count += 9;
        while (count >= 8) {
            out.append(static_cast<char>(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    };
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (i % 200 == 0) {
            putCode(Clear);
        }
        putCode(pixels[i]);
    }
    putCode(End);
    if (count > 0) {
        out.append(static_cast<char>(bits & 0xFF));
    }
    return out;
}

QByteArray ImageBlock(const TestFrame& frame)
{
    QByteArray out;
    out.append(',');
    PutWord(out, frame.rect.x());
    PutWord(out, frame.rect.y());
    PutWord(out, frame.rect.width());
    PutWord(out, frame.rect.height());
    out.append('\0');
    out.append('\x08');
    PutSubBlocks(out, Lzw(frame.pixels));
    return out;
}

QByteArray ControlBlock(const TestFrame& frame)
{
    QByteArray out("\x21\xF9\x04", 3);
    out.append(static_cast<char>((frame.disposal << 2) | (frame.transparent >= 0 ? 1 : 0)));
    PutWord(out, frame.delay);
    out.append(static_cast<char>(frame.transparent >= 0 ? frame.transparent : 0));
    out.append('\0');
    return out;
}

QByteArray ApplicationBlock()
{
    QByteArray out("\x21\xFF\x0BNETSCAPE2.0", 14);
    PutSubBlocks(out, QByteArray("\x01\x00\x00", 3));
    return out;
}

QByteArray CommentBlock(const QByteArray& text)
{
    QByteArray out("\x21\xFE", 2);
    PutSubBlocks(out, text);
    return out;
}

// Palette: index i is (i, 255 - i, (i * 7) & 0xFF), so every index has its own colour.
QColor PaletteColor(int index)
{
    return {index, 255 - index, (index * 7) & 0xFF};
}

QByteArray ScreenHead(QSize screen)
{
    QByteArray out("GIF89a");
    PutWord(out, screen.width());
    PutWord(out, screen.height());
    out.append('\xF7'); // global table of 256 entries
    out.append('\0');
    out.append('\0');
    for (int i = 0; i < 256; ++i) {
        const QColor color = PaletteColor(i);
        out.append(static_cast<char>(color.red()));
        out.append(static_cast<char>(color.green()));
        out.append(static_cast<char>(color.blue()));
    }
    return out;
}

QByteArray MakeGif(QSize screen, const std::vector<TestFrame>& frames, bool application = true)
{
    QByteArray out = ScreenHead(screen);
    if (application) {
        out.append(ApplicationBlock());
    }
    for (const TestFrame& frame : frames) {
        if (frame.control) {
            out.append(ControlBlock(frame));
        }
        out.append(ImageBlock(frame));
    }
    out.append(';');
    return out;
}

const unsigned char* Bytes(const QByteArray& data)
{
    return reinterpret_cast<const unsigned char*>(data.constData());
}

const QColor Background(59, 59, 59);
constexpr int LongDelay = 1000; // 10 s
constexpr QSize Screen(8, 8);

} // namespace

class TestPictureEx : public QObject
{
    Q_OBJECT

private slots:
    // The block reader on its own.
    void readerScreenAndColourTable();
    void readerBlockLengths();
    void readerFrameRunsFromControlThroughImage();
    void readerDamage_data();
    void readerDamage();
    void readerFrameGifIsStandalone();
    void waitPerDelay_data();
    void waitPerDelay();

    // Loading.
    void singleImageIsStillAndStartsNoThread();
    void nonGifIsStillAtItsOwnSize();
    void rejectedDataLeavesNotReady_data();
    void rejectedDataLeavesNotReady();
    void truncatedGifKeepsFramesBeforeDamage();
    void undecodableFrameIsDropped();
    void loadedDelays();
    void framesArePositioned();
    void prepareSurfaceResizesInPlace();
    void resourceAnimation();
    void fixtures_data();
    void fixtures();

    // Playing.
    void framesAccumulateAndClearAfterLast();
    void disposalRestoreToBackground();
    void disposalRestorePrevious();
    void stopDuringLongDelayReturnsPromptly();
    void playAfterStopRedrawsSameFrame();
    void unloadResets();
    void paintCopiesSurface();
    void playStopFromAnotherThread();
    void threadAsksForRepaints();
    void destroyWhilePlaying();
    void noDescriptorLeak();
};

void TestPictureEx::readerScreenAndColourTable()
{
    const QByteArray gif = MakeGif(QSize(300, 2), {Filled(QRect(0, 0, 1, 1), 3, 0)});
    const GifReader reader(Bytes(gif), static_cast<std::size_t>(gif.size()));
    QVERIFY(GifReader::IsGif(Bytes(gif), 3));
    QVERIFY(!GifReader::IsGif(Bytes(QByteArray("GIx")), 3));
    QVERIFY(!GifReader::IsGif(Bytes(gif), 2));
    QCOMPARE(reader.ScreenWidth(), 300U);
    QCOMPARE(reader.ScreenHeight(), 2U);
    QCOMPARE(reader.GlobalColorTableSize(), std::size_t{768});
    QCOMPARE(reader.FirstBlock(), std::size_t{13 + 768});

    QByteArray noTable = gif.left(13);
    noTable[10] = '\x07'; // size bits without the presence bit
    QCOMPARE(GifReader(Bytes(noTable), 13).GlobalColorTableSize(), std::size_t{0});
    QVERIFY(!GifReader(Bytes(gif), 12).HasScreen());
    QCOMPARE(GifReader(Bytes(gif), 12).CountFrames(), std::size_t{0});
}

void TestPictureEx::readerBlockLengths()
{
    QByteArray gif = ScreenHead(Screen);
    const std::size_t first = static_cast<std::size_t>(gif.size());
    const QByteArray application = ApplicationBlock();
    const QByteArray comment = CommentBlock(QByteArray(300, 'c')); // two sub-blocks
    TestFrame frame = Filled(QRect(1, 2, 3, 4), 9, 7, 2);
    const QByteArray control = ControlBlock(frame);
    QByteArray image = ImageBlock(frame);
    gif += application + comment + control + image + ';';
    const GifReader reader(Bytes(gif), static_cast<std::size_t>(gif.size()));
    std::size_t at = first;
    QCOMPARE(reader.BlockAt(at), GifBlock::Application);
    QCOMPARE(reader.BlockLength(at), static_cast<std::size_t>(application.size()));
    at += static_cast<std::size_t>(application.size());
    QCOMPARE(reader.BlockAt(at), GifBlock::Comment);
    QCOMPARE(reader.BlockLength(at), static_cast<std::size_t>(comment.size()));
    at += static_cast<std::size_t>(comment.size());
    QCOMPARE(reader.BlockAt(at), GifBlock::GraphicControl);
    QCOMPARE(reader.BlockLength(at), std::size_t{8});
    at += 8;
    QCOMPARE(reader.BlockAt(at), GifBlock::Image);
    QCOMPARE(reader.BlockLength(at), static_cast<std::size_t>(image.size()));
    at += static_cast<std::size_t>(image.size());
    QCOMPARE(reader.BlockAt(at), GifBlock::Trailer);
    QCOMPARE(reader.BlockLength(at), std::size_t{0});
    QCOMPARE(reader.BlockAt(at + 1), GifBlock::End);

    // A local colour table lies between the descriptor and the code size.
    QByteArray local = ScreenHead(Screen);
    QByteArray withTable = image;
    withTable[9] = '\x81'; // 4 entries
    withTable.insert(10, QByteArray(12, '\x01'));
    local += withTable + ';';
    const GifReader localReader(Bytes(local), static_cast<std::size_t>(local.size()));
    QCOMPARE(localReader.BlockLength(first), static_cast<std::size_t>(withTable.size()));

    // A plain-text extension: 15 bytes, then its sub-blocks.
    QByteArray text = ScreenHead(Screen);
    const QByteArray plain = QByteArray("\x21\x01\x0C", 3) + QByteArray(12, '\0') + QByteArray("\x02hi\x00", 4);
    text += plain + ';';
    QCOMPARE(GifReader(Bytes(text), static_cast<std::size_t>(text.size())).BlockLength(first),
             static_cast<std::size_t>(plain.size()));
}

void TestPictureEx::readerFrameRunsFromControlThroughImage()
{
    QByteArray gif = ScreenHead(Screen);
    const std::size_t first = static_cast<std::size_t>(gif.size());
    TestFrame one = Filled(QRect(0, 0, 8, 8), 1, 3, 1);
    TestFrame two = Filled(QRect(2, 3, 4, 5), 2, 12, 3);
    two.control = true;
    TestFrame three = Filled(QRect(1, 1, 2, 2), 3, 0);
    three.control = false;
    // Frame 1: application extension before its control block (not part of its run).
    gif += ApplicationBlock();
    const std::size_t oneBegin = static_cast<std::size_t>(gif.size());
    gif += ControlBlock(one) + ImageBlock(one);
    const std::size_t oneEnd = static_cast<std::size_t>(gif.size());
    // Frame 2: a comment between its control block and its image is part of its run.
    const std::size_t twoBegin = oneEnd;
    gif += ControlBlock(two) + CommentBlock("between") + ImageBlock(two);
    const std::size_t twoEnd = static_cast<std::size_t>(gif.size());
    // Frame 3: no control block; the comment before it is skipped.
    gif += CommentBlock("before");
    const std::size_t threeBegin = static_cast<std::size_t>(gif.size());
    gif += ImageBlock(three) + ';';

    const GifReader reader(Bytes(gif), static_cast<std::size_t>(gif.size()));
    QCOMPARE(reader.CountFrames(), std::size_t{3});
    std::size_t offset = first;
    GifFrameSpan span;
    QVERIFY(reader.NextFrame(offset, span));
    QCOMPARE(span.runBegin, oneBegin);
    QCOMPARE(span.runEnd, oneEnd);
    QCOMPARE(span.delay, 3U);
    QCOMPARE(span.disposal, 1);
    QVERIFY(reader.NextFrame(offset, span));
    QCOMPARE(span.runBegin, twoBegin);
    QCOMPARE(span.runEnd, twoEnd);
    QCOMPARE(span.delay, 12U);
    QCOMPARE(span.disposal, 3);
    QCOMPARE(span.left, 2U);
    QCOMPARE(span.top, 3U);
    QCOMPARE(span.width, 4U);
    QCOMPARE(span.height, 5U);
    QVERIFY(reader.NextFrame(offset, span));
    QCOMPARE(span.runBegin, threeBegin);
    QCOMPARE(span.delay, 0U);
    QCOMPARE(span.disposal, 0);
    QVERIFY(!reader.NextFrame(offset, span));
}

void TestPictureEx::readerDamage_data()
{
    QTest::addColumn<QByteArray>("gif");
    QTest::addColumn<int>("frames");
    const std::vector<TestFrame> three = {Filled(QRect(0, 0, 8, 8), 1, 0), Filled(QRect(0, 0, 8, 8), 2, 0),
                                          Filled(QRect(0, 0, 8, 8), 3, 0)};
    const QByteArray whole = MakeGif(Screen, three);
    const qsizetype thirdImage = whole.lastIndexOf(ImageBlock(three[2]));
    QTest::newRow("whole") << whole << 3;
    QTest::newRow("cut inside third image") << whole.left(thirdImage + 14) << 2;
    QTest::newRow("cut before third image") << whole.left(thirdImage) << 2;
    QTest::newRow("no trailer") << whole.left(whole.size() - 1) << 3;
    QByteArray unknown = whole;
    unknown[thirdImage - 8] = '\x99'; // the third frame's control block becomes unrecognised
    QTest::newRow("unknown block") << unknown << 2;
    QByteArray oddExtension = whole;
    oddExtension[thirdImage - 7] = '\x42';
    QTest::newRow("unknown extension label") << oddExtension << 2;
    QByteArray twoControls = MakeGif(Screen, {three[0]});
    twoControls.insert(twoControls.size() - 1, ControlBlock(three[1]) + ControlBlock(three[2]) + ImageBlock(three[2]));
    QTest::newRow("two control blocks in a row") << twoControls << 1;
    QTest::newRow("colour table beyond data") << whole.left(400) << 0;
    QTest::newRow("header only") << whole.left(13) << 0;
    QByteArray longSubBlock = whole.left(thirdImage + 12);
    longSubBlock.append('\xFF');
    longSubBlock.append(QByteArray(10, '\0'));
    QTest::newRow("sub-block longer than data") << longSubBlock << 2;
}

void TestPictureEx::readerDamage()
{
    QFETCH(QByteArray, gif);
    QFETCH(int, frames);
    const GifReader reader(Bytes(gif), static_cast<std::size_t>(gif.size()));
    QCOMPARE(reader.CountFrames(), static_cast<std::size_t>(frames));
}

void TestPictureEx::readerFrameGifIsStandalone()
{
    TestFrame second = Filled(QRect(2, 2, 3, 3), 5, 9, 2);
    const QByteArray gif = MakeGif(Screen, {Filled(QRect(0, 0, 8, 8), 1, 0), second});
    const GifReader reader(Bytes(gif), static_cast<std::size_t>(gif.size()));
    std::size_t offset = reader.FirstBlock();
    GifFrameSpan span;
    QVERIFY(reader.NextFrame(offset, span));
    QVERIFY(reader.NextFrame(offset, span));
    const std::vector<unsigned char> single = reader.FrameGif(span);
    const QByteArray expected = gif.left(13 + 768) + ControlBlock(second) + ImageBlock(second) + ';';
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(single.data()), static_cast<qsizetype>(single.size())), expected);
    // The picture loader takes it as a GIF of one image.
    const QImage decoded = QImage::fromData(expected, "GIF");
    QVERIFY(!decoded.isNull());
    QCOMPARE(GifReader(single.data(), single.size()).CountFrames(), std::size_t{1});
    // A span that does not lie in the data gives nothing.
    GifFrameSpan outside = span;
    outside.runEnd = static_cast<std::size_t>(gif.size()) + 1;
    QVERIFY(reader.FrameGif(outside).empty());
}

void TestPictureEx::waitPerDelay_data()
{
    QTest::addColumn<uint>("delay");
    QTest::addColumn<uint>("ms");
    QTest::newRow("0") << 0U << 100U;
    QTest::newRow("1") << 1U << 100U;
    QTest::newRow("4") << 4U << 100U;
    QTest::newRow("5") << 5U << 50U;
    QTest::newRow("6") << 6U << 60U;
    QTest::newRow("10") << 10U << 100U;
    QTest::newRow("65535") << 65535U << 655350U;
}

void TestPictureEx::waitPerDelay()
{
    QFETCH(uint, delay);
    QFETCH(uint, ms);
    QCOMPARE(FrameWaitMs(delay), ms);
}

void TestPictureEx::singleImageIsStillAndStartsNoThread()
{
    CPictureEx picture;
    const QByteArray gif = MakeGif(QSize(6, 4), {Filled(QRect(0, 0, 6, 4), 77, 0)});
    QVERIFY(picture.LoadFromMemory(gif));
    QVERIFY(picture.IsReady());
    QVERIFY(picture.IsGif());
    QCOMPARE(picture.FrameCount(), 0);
    QCOMPARE(picture.PictureSize(), QSize(6, 4));
    QVERIFY(picture.Play());
    QTest::qWait(150);
    QVERIFY(!picture.IsPlaying());
    QCOMPARE(picture.SurfaceImage().pixelColor(5, 3), PaletteColor(77));
    // Stop with no thread is harmless, and Play shows it again.
    picture.Stop();
    QVERIFY(picture.Play());
}

void TestPictureEx::nonGifIsStillAtItsOwnSize()
{
    QImage source(7, 3, QImage::Format_RGB32);
    source.fill(QColor(1, 2, 3));
    source.setPixelColor(6, 2, QColor(250, 0, 0));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(source.save(&buffer, "PNG"));
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(png.constData(), static_cast<std::size_t>(png.size())));
    QVERIFY(!picture.IsGif());
    QCOMPARE(picture.PictureSize(), QSize(7, 3));
    QCOMPARE(picture.size(), QSize(7, 3));
    QVERIFY(picture.Play());
    QCOMPARE(picture.SurfaceImage().pixelColor(6, 2), QColor(250, 0, 0));
    QCOMPARE(picture.SurfaceImage().pixelColor(0, 0), QColor(1, 2, 3));
}

void TestPictureEx::rejectedDataLeavesNotReady_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("not a picture at all");
    QTest::newRow("GIF prefix, no screen") << QByteArray("GIF89a\x01");
    QTest::newRow("GIF without frames") << QByteArray(ScreenHead(Screen) + ';');
    QByteArray zero = MakeGif(QSize(0, 0), {Filled(QRect(0, 0, 1, 1), 1, 0), Filled(QRect(0, 0, 1, 1), 2, 0)});
    QTest::newRow("zero logical screen") << zero;
    QByteArray huge = MakeGif(QSize(65535, 65535), {Filled(QRect(0, 0, 1, 1), 1, 0), Filled(QRect(0, 0, 1, 1), 2, 0)});
    QTest::newRow("65535 x 65535 logical screen") << huge;
}

void TestPictureEx::rejectedDataLeavesNotReady()
{
    QFETCH(QByteArray, data);
    CPictureEx picture;
    // A good load first, so the failed one must also undo it.
    QVERIFY(picture.LoadFromMemory(MakeGif(Screen, {Filled(QRect(0, 0, 8, 8), 1, 0)})));
    QVERIFY(!picture.LoadFromMemory(data));
    QVERIFY(!picture.IsReady());
    QVERIFY(!picture.Play());
    QVERIFY(!picture.IsPlaying());
    QVERIFY(picture.SurfaceImage().isNull());
    QCOMPARE(picture.BackgroundColor(), QColor(Qt::white));
}

void TestPictureEx::truncatedGifKeepsFramesBeforeDamage()
{
    const std::vector<TestFrame> frames = {Filled(QRect(0, 0, 8, 8), 1, 0), Filled(QRect(0, 0, 8, 8), 2, 0),
                                           Filled(QRect(0, 0, 8, 8), 3, 0)};
    const QByteArray whole = MakeGif(Screen, frames);
    const QByteArray cut = whole.left(whole.lastIndexOf(ImageBlock(frames[2])) + 20);
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(cut));
    QCOMPARE(picture.FrameCount(), 2);
    const std::vector<GifFrame> kept = picture.Frames();
    QCOMPARE(kept[0].picture.pixelColor(0, 0), PaletteColor(1));
    QCOMPARE(kept[1].picture.pixelColor(7, 7), PaletteColor(2));
}

void TestPictureEx::undecodableFrameIsDropped()
{
    QByteArray gif = ScreenHead(Screen);
    const TestFrame first = Filled(QRect(0, 0, 8, 8), 1, 0);
    const TestFrame last = Filled(QRect(0, 0, 8, 8), 3, 6);
    gif += ControlBlock(first) + ImageBlock(first);
    // A plain-text extension counts as a frame but holds no image for the loader.
    gif += QByteArray("\x21\x01\x0C", 3) + QByteArray(12, '\0') + QByteArray("\x02hi\x00", 4);
    gif += ControlBlock(last) + ImageBlock(last) + ';';
    QCOMPARE(GifReader(Bytes(gif), static_cast<std::size_t>(gif.size())).CountFrames(), std::size_t{3});
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(gif));
    QCOMPARE(picture.FrameCount(), 2);
    QCOMPARE(picture.Frames()[1].delay, 6U);
}

void TestPictureEx::loadedDelays()
{
    std::vector<TestFrame> frames;
    for (int delay : {0, 1, 4, 5, 9}) {
        frames.push_back(Filled(QRect(0, 0, 2, 2), 1, delay));
    }
    TestFrame bare = Filled(QRect(0, 0, 2, 2), 1, 0);
    bare.control = false;
    frames.push_back(bare);
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(MakeGif(QSize(2, 2), frames)));
    QCOMPARE(picture.FrameDelaysMs(), (std::vector<unsigned>{100, 100, 100, 50, 90, 100}));
}

void TestPictureEx::framesArePositioned()
{
    TestFrame corner = Filled(QRect(5, 6, 3, 2), 8, 0, 2);
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(MakeGif(Screen, {Filled(QRect(0, 0, 8, 8), 1, 0), corner})));
    const GifFrame frame = picture.Frames()[1];
    QCOMPARE(QRect(frame.left, frame.top, frame.width, frame.height), QRect(5, 6, 3, 2));
    QCOMPARE(frame.disposal, 2);
    // The frame's own pixels, not the logical screen around it.
    QCOMPARE(frame.picture.size(), QSize(3, 2));
    QCOMPARE(frame.picture.pixelColor(0, 0), PaletteColor(8));
}

void TestPictureEx::prepareSurfaceResizesInPlace()
{
    QWidget parent;
    auto* picture = new CPictureEx(&parent);
    picture->setGeometry(220, 175, 129, 96);
    QVERIFY(picture->LoadFromMemory(MakeGif(QSize(50, 40), {Filled(QRect(0, 0, 50, 40), 1, 0)})));
    QCOMPARE(picture->geometry(), QRect(220, 175, 50, 40));
    QCOMPARE(picture->BackgroundColor(), picture->palette().color(QPalette::Active, QPalette::Button));
    QCOMPARE(picture->SurfaceImage().pixelColor(49, 39), picture->palette().color(QPalette::Active, QPalette::Window));
    QCOMPARE(picture->accessibleName(), QStringLiteral("Searching"));
}

void TestPictureEx::resourceAnimation()
{
    CPictureEx picture;
    QVERIFY(!picture.LoadFromResource(9999, "GIF"));
    if (qvres::RawResource("GIF", 540).isEmpty()) {
        QSKIP("the animation resource is not compiled in");
    }
    QVERIFY(picture.LoadFromResource(540, "GIF"));
    QCOMPARE(picture.PictureSize(), QSize(50, 50));
    QCOMPARE(picture.FrameCount(), 7);
    QCOMPARE(picture.FrameDelaysMs(), std::vector<unsigned>(7, 100));
    // What the main window does right after loading.
    picture.SetBackgroundColor(Background);
    picture.FillSurface(QRect(0, 0, picture.PictureWidth(), picture.PictureHeight()), Background);
    QCOMPARE(picture.SurfaceImage().pixelColor(25, 25), Background);
    QVERIFY(!picture.Play());
    QTRY_VERIFY(picture.IsPlaying());
    QTRY_VERIFY(picture.CurrentFrame() >= 2);
    picture.Stop();
    QVERIFY(!picture.IsPlaying());
}

void TestPictureEx::fixtures_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("walked");  // frames the reader finds
    QTest::addColumn<int>("decoded"); // frames kept; 0 for a still picture
    QTest::newRow("three frames") << "three-frames.gif" << 3 << 3;
    QTest::newRow("single image") << "single.gif" << 1 << 0;
    QTest::newRow("truncated in the last image") << "truncated.gif" << 2 << 2;
    QTest::newRow("plain-text extension") << "plain-text.gif" << 3 << 2;
    QTest::newRow("local colour tables, no global one") << "local-table.gif" << 2 << 2;
    // Only the first frame lies before the unrecognised block: a still picture.
    QTest::newRow("unknown block after the first frame") << "unknown-block.gif" << 1 << 0;
}

void TestPictureEx::fixtures()
{
    QFETCH(QString, file);
    QFETCH(int, walked);
    QFETCH(int, decoded);
    QFile in(QStringLiteral(QVD_TEST_DATA_DIR "/gif/") + file);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray gif = in.readAll();
    QCOMPARE(GifReader(Bytes(gif), static_cast<std::size_t>(gif.size())).CountFrames(),
             static_cast<std::size_t>(walked));
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(gif));
    QVERIFY(picture.IsGif());
    QCOMPARE(picture.FrameCount(), decoded);
    QCOMPARE(picture.Play(), decoded == 0);
    picture.Stop();
}

void TestPictureEx::framesAccumulateAndClearAfterLast()
{
    const QColor a = PaletteColor(10);
    const QColor b = PaletteColor(20);
    CPictureEx picture;
    QVERIFY(
        picture.LoadFromMemory(MakeGif(Screen, {Filled(QRect(0, 0, 2, 2), 10, 5), Filled(QRect(4, 4, 2, 2), 20, 5)})));
    picture.SetBackgroundColor(Background);
    picture.FillSurface(QRect(0, 0, 8, 8), Background);
    QVERIFY(!picture.Play());
    // Disposal 1 keeps the first frame while the second shows...
    QTRY_COMPARE(picture.SurfaceImage().pixelColor(4, 4), b);
    QCOMPARE(picture.SurfaceImage().pixelColor(0, 0), a);
    // ...and after the last frame the surface starts again from the background colour.
    QTRY_COMPARE(picture.SurfaceImage().pixelColor(4, 4), Background);
    QCOMPARE(picture.SurfaceImage().pixelColor(0, 0), a);
    picture.Stop();
}

void TestPictureEx::disposalRestoreToBackground()
{
    // The GIF's own background index (0) is not what fills the area.
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(MakeGif(Screen, {Filled(QRect(0, 0, 8, 8), 1, 5), Filled(QRect(2, 2, 4, 3), 2, 5, 2),
                                                    Filled(QRect(7, 7, 1, 1), 3, LongDelay)})));
    picture.SetBackgroundColor(Background);
    QVERIFY(!picture.Play());
    QTRY_COMPARE(picture.CurrentFrame(), 2);
    const QImage surface = picture.SurfaceImage();
    picture.Stop();
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            QColor expected = PaletteColor(1);
            if (QRect(2, 2, 4, 3).contains(x, y)) {
                expected = Background;
            } else if (x == 7 && y == 7) {
                expected = PaletteColor(3);
            }
            QCOMPARE(surface.pixelColor(x, y), expected);
        }
    }
}

void TestPictureEx::disposalRestorePrevious()
{
    // A two-colour pattern under the frame shows that exactly the old pixels come back.
    TestFrame pattern = Filled(QRect(0, 0, 8, 8), 1, 5);
    for (std::size_t i = 0; i < pattern.pixels.size(); ++i) {
        pattern.pixels[i] = static_cast<quint8>((i % 3 == 0) ? 4 : 1);
    }
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(
        MakeGif(Screen, {pattern, Filled(QRect(1, 1, 5, 5), 2, 5, 3), Filled(QRect(7, 0, 1, 1), 3, LongDelay)})));
    picture.SetBackgroundColor(Background);
    QVERIFY(!picture.Play());
    QTRY_COMPARE(picture.CurrentFrame(), 2);
    const QImage surface = picture.SurfaceImage();
    picture.Stop();
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const std::size_t i = static_cast<std::size_t>(y * 8 + x);
            QColor expected = PaletteColor(pattern.pixels[i]);
            if (x == 7 && y == 0) {
                expected = PaletteColor(3);
            }
            QCOMPARE(surface.pixelColor(x, y), expected);
        }
    }
}

void TestPictureEx::stopDuringLongDelayReturnsPromptly()
{
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(
        MakeGif(Screen, {Filled(QRect(0, 0, 8, 8), 1, LongDelay), Filled(QRect(0, 0, 8, 8), 2, 5)})));
    QVERIFY(!picture.Play());
    QTRY_VERIFY(picture.IsPlaying());
    QTRY_COMPARE(picture.SurfaceImage().pixelColor(0, 0), PaletteColor(1));
    QElapsedTimer timer;
    timer.start();
    picture.Stop();
    // A behaviour check with a wide margin: the frame's delay is 10 s.
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!picture.IsPlaying());
    QCOMPARE(picture.CurrentFrame(), 0);
}

void TestPictureEx::playAfterStopRedrawsSameFrame()
{
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(
        MakeGif(Screen, {Filled(QRect(0, 0, 8, 8), 1, 5), Filled(QRect(2, 2, 4, 4), 2, LongDelay, 2),
                         Filled(QRect(0, 0, 8, 8), 3, 5)})));
    picture.SetBackgroundColor(Background);
    QVERIFY(!picture.Play());
    QTRY_COMPARE(picture.CurrentFrame(), 1);
    QTRY_COMPARE(picture.SurfaceImage().pixelColor(3, 3), PaletteColor(2));
    picture.Stop();
    QCOMPARE(picture.CurrentFrame(), 1);
    // Wipe the surface: whatever shows next was drawn by the new run.
    const QColor wiped(1, 200, 3);
    picture.FillSurface(QRect(0, 0, 8, 8), wiped);
    QVERIFY(!picture.Play());
    QTRY_COMPARE(picture.SurfaceImage().pixelColor(3, 3), PaletteColor(2));
    QCOMPARE(picture.CurrentFrame(), 1);
    // The frame's area was first disposed to the background, then drawn again; the rest of
    // the surface is untouched by the run so far.
    QCOMPARE(picture.SurfaceImage().pixelColor(0, 0), wiped);
    picture.Stop();
}

void TestPictureEx::unloadResets()
{
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(
        MakeGif(Screen, {Filled(QRect(0, 0, 8, 8), 1, LongDelay), Filled(QRect(0, 0, 8, 8), 2, 5)})));
    picture.SetBackgroundColor(Background);
    QVERIFY(!picture.Play());
    QTRY_VERIFY(picture.IsPlaying());
    picture.Unload();
    QVERIFY(!picture.IsPlaying());
    QVERIFY(!picture.IsReady());
    QVERIFY(!picture.IsGif());
    QCOMPARE(picture.FrameCount(), 0);
    QCOMPARE(picture.CurrentFrame(), 0);
    QCOMPARE(picture.BackgroundColor(), QColor(Qt::white));
    QVERIFY(!picture.Play());
    QVERIFY(picture.grab().toImage().pixelColor(0, 0) != PaletteColor(1));
}

void TestPictureEx::paintCopiesSurface()
{
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(MakeGif(QSize(4, 4), {Filled(QRect(0, 0, 4, 4), 1, 0)})));
    picture.FillSurface(QRect(1, 1, 2, 2), QColor(9, 99, 199));
    const QImage painted = picture.grab().toImage();
    QCOMPARE(painted.size(), QSize(4, 4));
    QCOMPARE(painted.pixelColor(1, 1), QColor(9, 99, 199));
    QCOMPARE(painted.pixelColor(0, 0), picture.palette().color(QPalette::Active, QPalette::Window));
}

void TestPictureEx::playStopFromAnotherThread()
{
    // The search routine calls Play and Stop on its own thread while the UI thread paints.
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(MakeGif(Screen, {Filled(QRect(0, 0, 8, 8), 1, 0), Filled(QRect(2, 2, 2, 2), 2, 0, 2),
                                                    Filled(QRect(4, 4, 2, 2), 3, 0, 3)})));
    picture.show();
    std::atomic<bool> done{false};
    std::thread search([&picture, &done] {
        for (int i = 0; i < 20; ++i) {
            picture.Stop();
            picture.Play();
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
        picture.Stop();
        // Release: the UI thread's acquire load sees every call above finished.
        done.store(true, std::memory_order_release);
    });
    // Acquire: pairs with the release store above.
    while (!done.load(std::memory_order_acquire)) {
        picture.repaint();
        QCoreApplication::processEvents();
    }
    search.join();
    QVERIFY(!picture.IsPlaying());
}

void TestPictureEx::threadAsksForRepaints()
{
    CPictureEx picture;
    QVERIFY(
        picture.LoadFromMemory(MakeGif(Screen, {Filled(QRect(0, 0, 8, 8), 1, 5), Filled(QRect(0, 0, 8, 8), 2, 5)})));
    picture.show();
    QVERIFY(QTest::qWaitForWindowExposed(&picture));
    PaintCounter counter;
    picture.installEventFilter(&counter);
    QTest::qWait(100);
    const int idle = counter.paints;
    QVERIFY(!picture.Play());
    // Frames change every 50 ms; each one is painted without anybody calling update here.
    QTRY_VERIFY(counter.paints >= idle + 4);
    picture.Stop();
    // A fill from another thread is painted too.
    const int stopped = counter.paints;
    std::thread other([&picture] { picture.FillSurface(QRect(0, 0, 8, 8), QColor(5, 6, 7)); });
    other.join();
    QTRY_VERIFY(counter.paints > stopped);
    QCOMPARE(picture.grab().toImage().pixelColor(3, 3), QColor(5, 6, 7));
}

void TestPictureEx::destroyWhilePlaying()
{
    auto* picture = new CPictureEx;
    QVERIFY(picture->LoadFromMemory(
        MakeGif(Screen, {Filled(QRect(0, 0, 8, 8), 1, LongDelay), Filled(QRect(0, 0, 8, 8), 2, 0)})));
    picture->show();
    QVERIFY(!picture->Play());
    QTRY_VERIFY(picture->IsPlaying());
    QElapsedTimer timer;
    timer.start();
    delete picture;
    QVERIFY(timer.elapsed() < 1000);
    // Repaint requests still queued for the destroyed control are dropped.
    QCoreApplication::processEvents();
}

void TestPictureEx::noDescriptorLeak()
{
    const auto openDescriptors = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
    const QByteArray gif = MakeGif(Screen, {Filled(QRect(0, 0, 8, 8), 1, 5), Filled(QRect(0, 0, 8, 8), 2, 5)});
    {
        // The first control may open descriptors that Qt keeps for the process.
        CPictureEx warmUp;
        QVERIFY(warmUp.LoadFromMemory(gif));
    }
    const uint before = openDescriptors();
    for (int i = 0; i < 10; ++i) {
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(gif));
        QVERIFY(!picture.Play());
        QTRY_VERIFY(picture.IsPlaying());
    }
    QCOMPARE(openDescriptors(), before);
}

QTEST_MAIN(TestPictureEx)
#include "TestPictureEx.moc"
