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

// A small GIF writer: 256-entry global colour table, 9-bit LZW codes with a clear code often
// enough that the code width never grows.
struct TestFrame
{
    QRect rect;
    std::vector<quint8> pixels; // palette indices, row by row
    int delay = 0;
    int disposal = 1;
    bool control = true;
};

TestFrame Filled(QRect rect, quint8 index, int delay = 0, int disposal = 1)
{
    return {rect, std::vector<quint8>(static_cast<std::size_t>(rect.width() * rect.height()), index), delay, disposal};
}

void PutWord(QByteArray& out, int value)
{
    out.append(static_cast<char>(value & 0xFF)).append(static_cast<char>((value >> 8) & 0xFF));
}

void PutSubBlocks(QByteArray& out, const QByteArray& data)
{
    for (qsizetype at = 0; at < data.size(); at += 255) {
        out.append(static_cast<char>(data.mid(at, 255).size())).append(data.mid(at, 255));
    }
    out.append('\0');
}

QByteArray ImageBlock(const TestFrame& frame)
{
    QByteArray out(",");
    for (int value : {frame.rect.x(), frame.rect.y(), frame.rect.width(), frame.rect.height()}) {
        PutWord(out, value);
    }
    out.append('\0').append('\x08');
    QByteArray lzw;
    quint32 bits = 0;
    int count = 0;
    const auto putCode = [&](int code) {
        bits |= static_cast<quint32>(code) << count;
        for (count += 9; count >= 8; count -= 8, bits >>= 8) {
            lzw.append(static_cast<char>(bits & 0xFF));
        }
    };
    for (std::size_t i = 0; i < frame.pixels.size(); ++i) {
        if (i % 200 == 0) {
            putCode(256); // clear
        }
        putCode(frame.pixels[i]);
    }
    putCode(257); // end
    if (count > 0) {
        lzw.append(static_cast<char>(bits & 0xFF));
    }
    PutSubBlocks(out, lzw);
    return out;
}

QByteArray ControlBlock(const TestFrame& frame)
{
    QByteArray out("\x21\xF9\x04", 3);
    out.append(static_cast<char>(frame.disposal << 2));
    PutWord(out, frame.delay);
    return out.append('\0').append('\0');
}

const QByteArray Application = QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
const QByteArray PlainText = QByteArray("\x21\x01\x0C", 3) + QByteArray(12, '\0') + QByteArray("\x02hi\x00", 4);

QByteArray Comment(const QByteArray& text)
{
    QByteArray out("\x21\xFE", 2);
    PutSubBlocks(out, text);
    return out;
}

// Index i is (i, 255 - i, (i * 7) & 0xFF), so every index has its own colour.
QColor PaletteColor(int index)
{
    return {index, 255 - index, (index * 7) & 0xFF};
}

QByteArray ScreenHead(QSize screen)
{
    QByteArray out("GIF89a");
    PutWord(out, screen.width());
    PutWord(out, screen.height());
    out.append('\xF7').append('\0').append('\0'); // global table of 256 entries
    for (int i = 0; i < 256; ++i) {
        const QColor color = PaletteColor(i);
        out.append(static_cast<char>(color.red())).append(static_cast<char>(color.green()));
        out.append(static_cast<char>(color.blue()));
    }
    return out;
}

QByteArray MakeGif(QSize screen, const std::vector<TestFrame>& frames)
{
    QByteArray out = ScreenHead(screen) + Application;
    for (const TestFrame& frame : frames) {
        out += (frame.control ? ControlBlock(frame) : QByteArray()) + ImageBlock(frame);
    }
    return out + ';';
}

const unsigned char* Bytes(const QByteArray& data)
{
    return reinterpret_cast<const unsigned char*>(data.constData());
}

const QColor Background(59, 59, 59);
constexpr int LongDelay = 1000; // 10 s
constexpr QSize Screen(8, 8);
constexpr QRect Whole(0, 0, 8, 8);

} // namespace

class TestPictureEx : public QObject
{
    Q_OBJECT

private slots:
    void readerBlocksAndFrameRuns();
    void readerDamage_data();
    void readerDamage();

    void stillPictureStartsNoThread_data();
    void stillPictureStartsNoThread();
    void rejectedDataLeavesNotReady_data();
    void rejectedDataLeavesNotReady();
    void loadedFrames();
    void resourceAnimation();
    void fixtures_data();
    void fixtures();

    void framesAccumulateAndClearAfterLast();
    void disposal_data();
    void disposal();
    void stopDuringLongDelayAndUnload();
    void playAfterStopRedrawsSameFrame();
    void threadAsksForRepaints();
    void playStopFromAnotherThread();
    void destroyWhilePlayingAndNoDescriptorLeak();
};

void TestPictureEx::readerBlocksAndFrameRuns()
{
    QByteArray gif = ScreenHead(QSize(300, 9));
    const std::size_t first = 13 + 768;
    QCOMPARE(static_cast<std::size_t>(gif.size()), first);
    const TestFrame one = Filled(Whole, 1, 3, 1);
    const TestFrame two = Filled(QRect(2, 3, 4, 5), 2, 12, 3);
    TestFrame three = Filled(QRect(1, 1, 2, 2), 3);
    three.control = false;
    QByteArray withTable = ImageBlock(three);
    withTable[9] = '\x81'; // a local colour table of 4 entries lies before the code size
    withTable.insert(10, QByteArray(12, '\x01'));
    // Application and comment blocks before a control block are not part of the frame's run;
    // one between the control block and its image is.
    const QByteArray comment = Comment(QByteArray(300, 'c')); // two sub-blocks
    const QByteArray runs[] = {ControlBlock(one) + ImageBlock(one), ControlBlock(two) + comment + ImageBlock(two),
                               withTable, PlainText};
    gif += Application + runs[0] + runs[1] + comment + runs[2] + runs[3] + ';';
    const GifReader reader(Bytes(gif), static_cast<std::size_t>(gif.size()));
    QVERIFY(GifReader::IsGif(Bytes(gif), 3) && !GifReader::IsGif(Bytes(gif), 2));
    QVERIFY(!GifReader::IsGif(Bytes(QByteArray("GIx")), 3));
    QCOMPARE(reader.ScreenWidth(), 300U);
    QCOMPARE(reader.ScreenHeight(), 9U);
    QCOMPARE(reader.FirstBlock(), first);
    QCOMPARE(reader.BlockAt(first), GifBlock::Application);
    QCOMPARE(reader.BlockLength(first), static_cast<std::size_t>(Application.size()));
    QCOMPARE(reader.BlockLength(first + 19 + 8), static_cast<std::size_t>(ImageBlock(one).size()));

    // Per frame: delay, disposal, rectangle (empty for the plain-text extension).
    const std::tuple<std::uint32_t, int, QRect> expected[] = {
        {3, 1, Whole}, {12, 3, QRect(2, 3, 4, 5)}, {0, 0, QRect(1, 1, 2, 2)}, {0, 0, QRect()}};
    std::size_t offset = first;
    std::size_t end = first + 19;
    GifFrameSpan span;
    for (int i = 0; i < 4; ++i) {
        QVERIFY(reader.NextFrame(offset, span));
        end += static_cast<std::size_t>((i == 2 ? comment.size() : 0) + runs[i].size());
        QCOMPARE(span.runBegin, end - static_cast<std::size_t>(runs[i].size()));
        QCOMPARE(span.runEnd, end);
        QCOMPARE(std::tuple(span.delay, span.disposal,
                            QRect(int(span.left), int(span.top), int(span.width), int(span.height))),
                 expected[i]);
        QCOMPARE(span.isImage, i < 3);
    }
    QVERIFY(!reader.NextFrame(offset, span));
    QCOMPARE(reader.BlockAt(offset), GifBlock::Trailer);
    QCOMPARE(reader.BlockAt(offset + 1), GifBlock::End);
    // The last image frame on its own: the whole head, its run and a trailer, which the picture
    // loader takes as a GIF of one image. A span that does not lie in the data gives nothing.
    offset = first + 19 + static_cast<std::size_t>(runs[0].size());
    QVERIFY(reader.NextFrame(offset, span));
    const std::vector<unsigned char> single = reader.FrameGif(span);
    const QByteArray alone = gif.left(13 + 768) + runs[1] + ';';
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(single.data()), static_cast<qsizetype>(single.size())), alone);
    QVERIFY(!QImage::fromData(alone, "GIF").isNull());
    span.runEnd = static_cast<std::size_t>(gif.size()) + 1;
    QVERIFY(reader.FrameGif(span).empty());

    QByteArray noTable = gif.left(13);
    noTable[10] = '\x07'; // size bits without the presence bit
    QCOMPARE(GifReader(Bytes(noTable), 13).GlobalColorTableSize(), std::size_t{0});
}

void TestPictureEx::readerDamage_data()
{
    QTest::addColumn<QByteArray>("gif");
    QTest::addColumn<int>("frames");
    const std::vector<TestFrame> three = {Filled(Whole, 1), Filled(Whole, 2), Filled(Whole, 3)};
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
    QTest::newRow("shorter than a header") << whole.left(12) << 0;
    QTest::newRow("sub-block longer than data") << whole.left(thirdImage + 12) + '\xFF' + QByteArray(10, '\0') << 2;
    QTest::newRow("control block cut") << whole.left(thirdImage - 3) << 2;
}

void TestPictureEx::readerDamage()
{
    QFETCH(QByteArray, gif);
    QFETCH(int, frames);
    // A heap copy of exactly this size: under QVD_ASAN any read past it is an error.
    const std::vector<unsigned char> exact(gif.begin(), gif.end());
    QCOMPARE(GifReader(exact.data(), exact.size()).CountFrames(), static_cast<std::size_t>(frames));
}

void TestPictureEx::stillPictureStartsNoThread_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("gif");
    QImage source(6, 4, QImage::Format_RGB32);
    source.fill(PaletteColor(77));
    QByteArray png;
    QBuffer buffer(&png);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && source.save(&buffer, "PNG"));
    QTest::newRow("GIF of one image") << MakeGif(QSize(6, 4), {Filled(QRect(0, 0, 6, 4), 77)}) << true;
    QTest::newRow("PNG") << png << false;
}

void TestPictureEx::stillPictureStartsNoThread()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, gif);
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(data));
    QVERIFY(picture.IsReady());
    QCOMPARE(picture.IsGif(), gif);
    QCOMPARE(picture.FrameCount(), 0);
    QCOMPARE(picture.size(), QSize(6, 4));
    QVERIFY(picture.Play());
    QTest::qWait(150);
    QVERIFY(!picture.IsPlaying());
    QCOMPARE(picture.grab().toImage().pixelColor(5, 3), PaletteColor(77));
    picture.Stop(); // harmless without a thread
    QVERIFY(picture.Play());
}

void TestPictureEx::rejectedDataLeavesNotReady_data()
{
    QTest::addColumn<QByteArray>("data");
    const std::vector<TestFrame> two = {Filled(QRect(0, 0, 1, 1), 1), Filled(QRect(0, 0, 1, 1), 2)};
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("not a picture at all");
    QTest::newRow("GIF prefix, no screen") << QByteArray("GIF89a\x01");
    QTest::newRow("GIF without frames") << QByteArray(ScreenHead(Screen) + ';');
    QTest::newRow("zero logical screen") << MakeGif(QSize(0, 0), two);
    QTest::newRow("65535 x 65535 logical screen") << MakeGif(QSize(65535, 65535), two);
}

void TestPictureEx::rejectedDataLeavesNotReady()
{
    QFETCH(QByteArray, data);
    CPictureEx picture;
    // A good load first, so the failed one must also undo it.
    QVERIFY(picture.LoadFromMemory(MakeGif(Screen, {Filled(Whole, 1)})));
    QVERIFY(!picture.LoadFromMemory(data));
    QVERIFY(!picture.IsReady());
    QVERIFY(!picture.Play());
    QVERIFY(!picture.IsPlaying());
    QVERIFY(picture.SurfaceImage().isNull());
    QCOMPARE(picture.BackgroundColor(), QColor(Qt::white));
}

void TestPictureEx::loadedFrames()
{
    // Delays below 5 are shown for 100 ms, the rest for what they say, also without overflow.
    std::vector<TestFrame> frames;
    for (int delay : {0, 1, 4, 5, 9, 65535}) {
        frames.push_back(Filled(QRect(0, 0, 2, 2), 1, delay));
    }
    frames.push_back(Filled(QRect(5, 6, 3, 2), 8, 0, 2));
    frames.back().control = false;
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(MakeGif(Screen, frames)));
    QCOMPARE(picture.FrameDelaysMs(), (std::vector<unsigned>{100, 100, 100, 50, 90, 655350, 100}));
    const GifFrame last = picture.Frames().back();
    QCOMPARE(QRect(last.left, last.top, last.width, last.height), QRect(5, 6, 3, 2));
    QCOMPARE(last.disposal, 0);
    // The frame's own pixels, not the logical screen around it.
    QCOMPARE(last.picture.size(), QSize(3, 2));
    QCOMPARE(last.picture.pixelColor(0, 0), PaletteColor(8));
}

void TestPictureEx::resourceAnimation()
{
    QWidget parent;
    CPictureEx& picture = *new CPictureEx(&parent);
    picture.setGeometry(220, 175, 129, 96);
    QVERIFY(!picture.LoadFromResource(9999, "GIF"));
    QVERIFY(picture.LoadFromResource(540, "GIF"));
    // Resized in place; the surface starts in the menu colour, the background as the button face.
    QCOMPARE(picture.geometry(), QRect(220, 175, 50, 50));
    QCOMPARE(picture.SurfaceImage().pixelColor(49, 49), picture.palette().color(QPalette::Active, QPalette::Window));
    QCOMPARE(picture.BackgroundColor(), picture.palette().color(QPalette::Active, QPalette::Button));
    QCOMPARE(picture.accessibleName(), QStringLiteral("Searching"));
    QCOMPARE(picture.FrameCount(), 7);
    QCOMPARE(picture.FrameDelaysMs(), std::vector<unsigned>(7, 100));
    // What the main window does right after loading.
    picture.SetBackgroundColor(Background);
    picture.FillSurface(QRect(0, 0, 50, 50), Background);
    QCOMPARE(picture.SurfaceImage().pixelColor(25, 25), Background);
    QVERIFY(!picture.Play());
    QTRY_VERIFY(picture.CurrentFrame() >= 2);
    QVERIFY(picture.IsPlaying());
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
    // A plain-text extension counts as a frame but holds no image for the loader.
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
    QCOMPARE(GifReader(Bytes(gif), static_cast<std::size_t>(gif.size())).CountFrames(), std::size_t(walked));
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(gif));
    QVERIFY(picture.IsGif());
    QCOMPARE(picture.FrameCount(), decoded);
    QCOMPARE(picture.Play(), decoded == 0);
    picture.Stop();
}

void TestPictureEx::framesAccumulateAndClearAfterLast()
{
    CPictureEx picture;
    QVERIFY(
        picture.LoadFromMemory(MakeGif(Screen, {Filled(QRect(0, 0, 2, 2), 10, 5), Filled(QRect(4, 4, 2, 2), 20, 5)})));
    picture.SetBackgroundColor(Background);
    picture.FillSurface(Whole, Background);
    QVERIFY(!picture.Play());
    // Disposal 1 keeps the first frame while the second shows...
    QTRY_COMPARE(picture.SurfaceImage().pixelColor(4, 4), PaletteColor(20));
    QCOMPARE(picture.SurfaceImage().pixelColor(0, 0), PaletteColor(10));
    // ...and after the last frame the surface starts again from the background colour.
    QTRY_COMPARE(picture.SurfaceImage().pixelColor(4, 4), Background);
    QCOMPARE(picture.SurfaceImage().pixelColor(0, 0), PaletteColor(10));
    picture.Stop();
}

void TestPictureEx::disposal_data()
{
    QTest::addColumn<int>("disposal");
    QTest::newRow("2: restore to background") << 2;
    QTest::newRow("3: restore previous") << 3;
}

void TestPictureEx::disposal()
{
    QFETCH(int, disposal);
    // A two-colour pattern under the frame shows that exactly the old pixels come back.
    TestFrame pattern = Filled(Whole, 1, 5);
    for (std::size_t i = 0; i < pattern.pixels.size(); i += 3) {
        pattern.pixels[i] = 4;
    }
    const QRect area(1, 1, 5, 4);
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(
        MakeGif(Screen, {pattern, Filled(area, 2, 5, disposal), Filled(QRect(7, 7, 1, 1), 3, LongDelay)})));
    // The GIF's own background index (0) is not what fills the area.
    picture.SetBackgroundColor(Background);
    QVERIFY(!picture.Play());
    QTRY_COMPARE(picture.CurrentFrame(), 2);
    const QImage surface = picture.SurfaceImage();
    picture.Stop();
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            QColor expected = PaletteColor(pattern.pixels[static_cast<std::size_t>(y * 8 + x)]);
            if (x == 7 && y == 7) {
                expected = PaletteColor(3);
            } else if (disposal == 2 && area.contains(x, y)) {
                expected = Background;
            }
            QCOMPARE(surface.pixelColor(x, y), expected);
        }
    }
}

void TestPictureEx::stopDuringLongDelayAndUnload()
{
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(MakeGif(Screen, {Filled(Whole, 1, LongDelay), Filled(Whole, 2, 5)})));
    QVERIFY(!picture.Play());
    QTRY_COMPARE(picture.SurfaceImage().pixelColor(0, 0), PaletteColor(1));
    QElapsedTimer timer;
    timer.start();
    picture.Stop();
    // A behaviour check with a wide margin: the frame's delay is 10 s.
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!picture.IsPlaying());
    QCOMPARE(picture.CurrentFrame(), 0);
    // Unload while playing ends the thread and forgets everything.
    picture.SetBackgroundColor(Background);
    QVERIFY(!picture.Play());
    QTRY_VERIFY(picture.IsPlaying());
    picture.Unload();
    QVERIFY(!picture.IsPlaying() && !picture.IsReady() && !picture.IsGif());
    QCOMPARE(picture.FrameCount(), 0);
    QCOMPARE(picture.BackgroundColor(), QColor(Qt::white));
    QVERIFY(!picture.Play());
    QVERIFY(picture.grab().toImage().pixelColor(0, 0) != PaletteColor(1));
}

void TestPictureEx::playAfterStopRedrawsSameFrame()
{
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(
        MakeGif(Screen, {Filled(Whole, 1, 5), Filled(QRect(2, 2, 4, 4), 2, LongDelay, 2), Filled(Whole, 3, 5)})));
    picture.SetBackgroundColor(Background);
    QVERIFY(!picture.Play());
    QTRY_COMPARE(picture.SurfaceImage().pixelColor(3, 3), PaletteColor(2));
    picture.Stop();
    QCOMPARE(picture.CurrentFrame(), 1);
    // Wipe the surface: whatever shows next was drawn by the new run.
    const QColor wiped(1, 200, 3);
    picture.FillSurface(Whole, wiped);
    QVERIFY(!picture.Play());
    QTRY_COMPARE(picture.SurfaceImage().pixelColor(3, 3), PaletteColor(2));
    QCOMPARE(picture.CurrentFrame(), 1);
    // Only the frame's area was disposed and drawn again; the rest is untouched.
    QCOMPARE(picture.SurfaceImage().pixelColor(0, 0), wiped);
    picture.Stop();
}

void TestPictureEx::threadAsksForRepaints()
{
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(MakeGif(Screen, {Filled(Whole, 1, 5), Filled(Whole, 2, 5)})));
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
    // A fill from another thread is painted too, and painting copies the surface.
    const int stopped = counter.paints;
    std::thread other([&picture] { picture.FillSurface(QRect(1, 1, 2, 2), QColor(5, 6, 7)); });
    other.join();
    QTRY_VERIFY(counter.paints > stopped);
    const QImage painted = picture.grab().toImage();
    QCOMPARE(painted.size(), Screen);
    QCOMPARE(painted.pixelColor(2, 2), QColor(5, 6, 7));
    QCOMPARE(painted.pixelColor(3, 3), picture.SurfaceImage().pixelColor(3, 3));
}

void TestPictureEx::playStopFromAnotherThread()
{
    // The search routine calls Play and Stop on its own thread while the UI thread paints.
    CPictureEx picture;
    QVERIFY(picture.LoadFromMemory(
        MakeGif(Screen, {Filled(Whole, 1), Filled(QRect(2, 2, 2, 2), 2, 0, 2), Filled(QRect(4, 4, 2, 2), 3, 0, 3)})));
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

void TestPictureEx::destroyWhilePlayingAndNoDescriptorLeak()
{
    const auto openDescriptors = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
    const QByteArray gif = MakeGif(Screen, {Filled(Whole, 1, LongDelay), Filled(Whole, 2)});
    {
        CPictureEx warmUp; // the first control may open descriptors that Qt keeps
        QVERIFY(warmUp.LoadFromMemory(gif));
    }
    const uint before = openDescriptors();
    for (int i = 0; i < 10; ++i) {
        auto* picture = new CPictureEx;
        QVERIFY(picture->LoadFromMemory(gif));
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
    QCOMPARE(openDescriptors(), before);
}

QTEST_MAIN(TestPictureEx)
#include "TestPictureEx.moc"
