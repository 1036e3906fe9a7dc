// The animated picture: the GIF block reader and frame splitter, loading, the animation
// thread's frames, delays and disposal, and Play/Stop/Unload across threads.
#include "CPictureEx.h"
#include "GifReader.h"
#include "PaintCounter.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QtTest>
#include <atomic>
#include <thread>

namespace {

// A small GIF writer with a 256-entry global colour table.
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
        for (bits |= static_cast<quint32>(code) << count, count += 9; count >= 8; count -= 8, bits >>= 8) {
            lzw.append(static_cast<char>(bits & 0xFF));
        }
    };
    for (quint8 pixel : frame.pixels) {
        putCode(256); // a clear code before every pixel keeps the codes 9 bits wide
        putCode(pixel);
    }
    putCode(257); // end
    PutSubBlocks(out, count > 0 ? lzw.append(static_cast<char>(bits & 0xFF)) : lzw);
    return out;
}

QByteArray ControlBlock(const TestFrame& frame)
{
    QByteArray out("\x21\xF9\x04", 3);
    out.append(static_cast<char>(frame.disposal << 2));
    PutWord(out, frame.delay);
    return out.append('\0').append('\0');
}

const QByteArray Application("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);

// Index i is (i, 255 - i, (i * 7) & 0xFF), so every index has its own colour.
QColor PaletteColor(int index)
{
    return {index, 255 - index, (index * 7) & 0xFF};
}

QByteArray MakeGif(QSize screen, const std::vector<TestFrame>& frames, bool withTrailer = true)
{
    QByteArray out("GIF89a");
    PutWord(out, screen.width());
    PutWord(out, screen.height());
    out.append("\xF7\0\0", 3);
    for (int i = 0; i < 256; ++i) {
        const QColor c = PaletteColor(i);
        out.append(static_cast<char>(c.red())).append(static_cast<char>(c.green())).append(static_cast<char>(c.blue()));
    }
    out += Application;
    for (const TestFrame& frame : frames) {
        out += (frame.control ? ControlBlock(frame) : QByteArray()) + ImageBlock(frame);
    }
    return withTrailer ? out + ';' : out;
}

const unsigned char* Bytes(const QByteArray& data)
{
    return reinterpret_cast<const unsigned char*>(data.constData());
}

QByteArray Fixture(const char* name)
{
    QFile in(QStringLiteral(QVD_TEST_DATA_DIR "/gif/") + QLatin1String(name));
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

const QColor Background(59, 59, 59);
constexpr int LongDelay = 1000; // 10 s
constexpr QSize Screen(8, 8);
constexpr QRect Whole(0, 0, 8, 8);
constexpr std::size_t FirstBlock = 13 + 768;

} // namespace

class TestPictureEx : public QObject
{
    Q_OBJECT

private slots:
    void readerBlocksAndFrameRuns()
    {
        const TestFrame one = Filled(Whole, 1, 3, 1);
        const TestFrame two = Filled(QRect(2, 3, 4, 5), 2, 12, 3);
        TestFrame three = Filled(QRect(1, 1, 2, 2), 3);
        three.control = false;
        QByteArray withTable = ImageBlock(three);
        withTable[9] = '\x81'; // a local colour table of 4 entries lies before the code size
        withTable.insert(10, QByteArray(12, '\x01'));
        // Comment blocks before a control block are not part of the frame's run; one between
        // the control block and its image is.
        QByteArray comment("\x21\xFE", 2);
        PutSubBlocks(comment, QByteArray(300, 'c')); // two sub-blocks
        const QByteArray plainText = QByteArray("\x21\x01\x0C", 3) + QByteArray(12, '\0') + QByteArray("\x02hi", 4);
        const QByteArray runs[] = {ControlBlock(one) + ImageBlock(one), ControlBlock(two) + comment + ImageBlock(two),
                                   withTable, plainText};
        const QByteArray gif =
            MakeGif(QSize(300, 9), {}, false) + runs[0] + runs[1] + comment + runs[2] + runs[3] + ';';
        const GifReader reader(Bytes(gif), static_cast<std::size_t>(gif.size()));
        QVERIFY(GifReader::IsGif(Bytes(gif), 3) && !GifReader::IsGif(Bytes(gif), 2));
        QCOMPARE(QSize(int(reader.ScreenWidth()), int(reader.ScreenHeight())), QSize(300, 9));
        QCOMPARE(reader.FirstBlock(), FirstBlock);
        // Per frame: delay, disposal, rectangle (empty for the plain-text extension).
        const std::tuple<std::uint32_t, int, QRect> expected[] = {
            {3, 1, Whole}, {12, 3, QRect(2, 3, 4, 5)}, {0, 0, QRect(1, 1, 2, 2)}, {0, 0, QRect()}};
        std::size_t offset = FirstBlock;
        GifFrameSpan span;
        for (int i = 0; i < 4; ++i) {
            QVERIFY(reader.NextFrame(offset, span));
            QCOMPARE(std::tuple(span.delay, span.disposal,
                                QRect(int(span.left), int(span.top), int(span.width), int(span.height))),
                     expected[i]);
            // The frame alone: the whole head, its run and a trailer.
            const std::vector<unsigned char> alone = reader.FrameGif(span);
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(alone.data()), qsizetype(alone.size())),
                     gif.left(FirstBlock) + runs[i] + ';');
        }
        QVERIFY(!reader.NextFrame(offset, span));
        QVERIFY(!QImage::fromData(gif.left(FirstBlock) + runs[1] + ';', "GIF").isNull()); // the loader takes it
        span.runEnd = static_cast<std::size_t>(gif.size()) + 1; // a span beyond the data gives nothing
        QVERIFY(reader.FrameGif(span).empty());
        QByteArray noTable = gif.left(13);
        noTable[10] = '\x07'; // size bits without the presence bit
        QCOMPARE(GifReader(Bytes(noTable), 13).FirstBlock(), std::size_t{13});
    }

    void readerDamage_data()
    {
        QTest::addColumn<QByteArray>("gif");
        QTest::addColumn<int>("frames");
        const std::vector<TestFrame> three = {Filled(Whole, 1), Filled(Whole, 2), Filled(Whole, 3)};
        const QByteArray whole = MakeGif(Screen, three);
        const qsizetype thirdImage = whole.lastIndexOf(ImageBlock(three[2]));
        QTest::newRow("whole") << whole << 3;
        QTest::newRow("no trailer") << whole.left(whole.size() - 1) << 3;
        QTest::newRow("cut inside third image") << whole.left(thirdImage + 14) << 2;
        QTest::newRow("third control block cut") << whole.left(thirdImage - 3) << 2;
        QTest::newRow("sub-block longer than data") << whole.left(thirdImage + 12) + '\xFF' + QByteArray(10, '\0') << 2;
        QByteArray unknown = whole;
        unknown[thirdImage - 8] = '\x99'; // the third frame's control block becomes unrecognised
        QTest::newRow("unknown block") << unknown << 2;
        unknown[thirdImage - 8] = '\x21';
        unknown[thirdImage - 7] = '\x42';
        QTest::newRow("unknown extension label") << unknown << 2;
        QByteArray twoControls = MakeGif(Screen, {three[0]}, false);
        twoControls += ControlBlock(three[1]) + ControlBlock(three[2]) + ImageBlock(three[2]);
        QTest::newRow("two control blocks in a row") << twoControls << 1;
        QTest::newRow("colour table beyond data") << whole.left(400) << 0;
        QTest::newRow("header only") << whole.left(13) << 0;
        QTest::newRow("shorter than a header") << whole.left(12) << 0;
    }

    void readerDamage()
    {
        QFETCH(QByteArray, gif);
        QFETCH(int, frames);
        // A heap copy of exactly this size: under QVD_ASAN any read past it is an error.
        const std::vector<unsigned char> exact(gif.begin(), gif.end());
        QCOMPARE(GifReader(exact.data(), exact.size()).CountFrames(), static_cast<std::size_t>(frames));
    }

    void load_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("frames");  // -1: rejected; 0: a still picture
        QTest::addColumn<QSize>("still"); // when valid: a still picture of this size in colour 77
        QImage source(6, 4, QImage::Format_RGB32);
        source.fill(PaletteColor(77));
        QByteArray png;
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && source.save(&buffer, "PNG"));
        const std::vector<TestFrame> two = {Filled(QRect(0, 0, 1, 1), 1), Filled(QRect(0, 0, 1, 1), 2)};
        QTest::newRow("PNG") << png << 0 << QSize(6, 4);
        QTest::newRow("GIF of one image") << MakeGif(QSize(6, 4), {Filled(QRect(0, 0, 6, 4), 77)}) << 0 << QSize(6, 4);
        QTest::newRow("truncated in the last image") << Fixture("truncated.gif") << 2 << QSize();
        // A plain-text extension counts as a frame but holds no image for the loader.
        QTest::newRow("plain-text extension") << Fixture("plain-text.gif") << 2 << QSize();
        QTest::newRow("local colour tables, no global one") << Fixture("local-table.gif") << 2 << QSize();
        // Only the first frame lies before the unrecognised block: a still picture.
        QTest::newRow("unknown block after the first frame") << Fixture("unknown-block.gif") << 0 << QSize();
        QTest::newRow("empty") << QByteArray() << -1 << QSize();
        QTest::newRow("text") << QByteArray("not a picture at all") << -1 << QSize();
        QTest::newRow("GIF without frames") << MakeGif(Screen, {}) << -1 << QSize();
        QTest::newRow("zero logical screen") << MakeGif(QSize(0, 0), two) << -1 << QSize();
        QTest::newRow("65535 x 65535 logical screen") << MakeGif(QSize(65535, 65535), two) << -1 << QSize();
    }

    void load()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, frames);
        QFETCH(QSize, still);
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(MakeGif(Screen, {Filled(Whole, 1)}))); // a failed load undoes this
        QCOMPARE(picture.LoadFromMemory(data), frames >= 0);
        QCOMPARE(picture.IsReady(), frames >= 0);
        QCOMPARE(picture.FrameCount(), qMax(frames, 0));
        QCOMPARE(picture.Play(), frames == 0); // a still picture renders at once and starts no thread
        QTRY_COMPARE(picture.IsPlaying(), frames > 0);
        picture.Stop();
        if (frames < 0) {
            QVERIFY(picture.SurfaceImage().isNull());
            QCOMPARE(picture.BackgroundColor(), QColor(Qt::white));
        } else if (still.isValid()) {
            QCOMPARE(picture.size(), still);
            QCOMPARE(picture.grab().toImage().pixelColor(5, 3), PaletteColor(77));
        }
    }

    void frameDelaysAndOwnPixels()
    {
        // Delays below 5 are shown for 100 ms, the rest for what they say, also without overflow.
        std::vector<TestFrame> frames;
        for (int delay : {0, 4, 5, 65535}) {
            frames.push_back(Filled(QRect(0, 0, 2, 2), 1, delay));
        }
        frames.push_back(Filled(QRect(5, 6, 3, 2), 8, 0, 2));
        frames.back().control = false;
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(MakeGif(Screen, frames)));
        QCOMPARE(picture.FrameDelaysMs(), (std::vector<unsigned>{100, 100, 50, 655350, 100}));
        const GifFrame last = picture.Frames().back();
        QCOMPARE(QRect(last.left, last.top, last.width, last.height), QRect(5, 6, 3, 2));
        QCOMPARE(last.disposal, 0);
        // The frame's own pixels, not the logical screen around it.
        QCOMPARE(last.picture.size(), QSize(3, 2));
        QCOMPARE(last.picture.pixelColor(0, 0), PaletteColor(8));
    }

    void resourceAnimation()
    {
        QWidget parent;
        CPictureEx& picture = *new CPictureEx(&parent);
        picture.setGeometry(220, 175, 129, 96);
        QVERIFY(!picture.LoadFromResource(9999, "GIF"));
        QVERIFY(picture.LoadFromResource(540, "GIF"));
        // Resized in place; the surface starts in the menu colour, the background as the button face.
        QCOMPARE(picture.geometry(), QRect(220, 175, 50, 50));
        QCOMPARE(picture.SurfaceImage().pixelColor(49, 49),
                 picture.palette().color(QPalette::Active, QPalette::Window));
        QCOMPARE(picture.BackgroundColor(), picture.palette().color(QPalette::Active, QPalette::Button));
        QCOMPARE(picture.FrameDelaysMs(), std::vector<unsigned>(7, 100));
        QVERIFY(!picture.Play());
        QTRY_VERIFY(picture.CurrentFrame() >= 2);
        picture.Stop();
        QVERIFY(!picture.IsPlaying());
    }

    void framesAccumulateAndClearAfterLast()
    {
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(
            MakeGif(Screen, {Filled(QRect(0, 0, 2, 2), 10, 5), Filled(QRect(4, 4, 2, 2), 20, 5)})));
        picture.SetBackgroundColor(Background);
        QVERIFY(!picture.Play());
        // Disposal 1 keeps the first frame while the second shows...
        QTRY_COMPARE(picture.SurfaceImage().pixelColor(4, 4), PaletteColor(20));
        QCOMPARE(picture.SurfaceImage().pixelColor(0, 0), PaletteColor(10));
        // ...and after the last frame the surface starts again from the background colour.
        QTRY_COMPARE(picture.SurfaceImage().pixelColor(4, 4), Background);
        QCOMPARE(picture.SurfaceImage().pixelColor(0, 0), PaletteColor(10));
        picture.Stop();
    }

    void disposal_data()
    {
        QTest::addColumn<int>("disposal");
        QTest::newRow("2: restore to background") << 2;
        QTest::newRow("3: restore previous") << 3;
    }

    void disposal()
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
        picture.SetBackgroundColor(Background); // not the GIF's own background index (0)
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

    void stopDuringDelayKeepsFrameForNextPlayAndUnloadForgets()
    {
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(
            MakeGif(Screen, {Filled(Whole, 1, 5), Filled(QRect(2, 2, 4, 4), 2, LongDelay, 2), Filled(Whole, 3, 5)})));
        picture.SetBackgroundColor(Background);
        QVERIFY(!picture.Play());
        QTRY_COMPARE(picture.SurfaceImage().pixelColor(3, 3), PaletteColor(2));
        QElapsedTimer timer;
        timer.start();
        picture.Stop();
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed()))); // the delay is 10 s
        QVERIFY(!picture.IsPlaying());
        QCOMPARE(picture.CurrentFrame(), 1);
        // Wipe the surface: the next run disposes and draws the same frame, and only its area.
        const QColor wiped(1, 200, 3);
        picture.FillSurface(Whole, wiped);
        QVERIFY(!picture.Play());
        QTRY_COMPARE(picture.SurfaceImage().pixelColor(3, 3), PaletteColor(2));
        QCOMPARE(picture.CurrentFrame(), 1);
        QCOMPARE(picture.SurfaceImage().pixelColor(0, 0), wiped);
        picture.Unload(); // while playing
        QVERIFY(!picture.IsPlaying() && !picture.IsReady() && !picture.Play());
        QCOMPARE(picture.FrameCount(), 0);
        QCOMPARE(picture.BackgroundColor(), QColor(Qt::white));
        QVERIFY(picture.grab().toImage().pixelColor(0, 0) != wiped);
    }

    void threadAsksForRepaints()
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

    void playStopFromAnotherThread()
    {
        // The search routine calls Play and Stop on its own thread while the UI thread paints.
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(MakeGif(
            Screen, {Filled(Whole, 1), Filled(QRect(2, 2, 2, 2), 2, 0, 2), Filled(QRect(4, 4, 2, 2), 3, 0, 3)})));
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

    void destroyWhilePlayingAndNoDescriptorLeak()
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
            QCoreApplication::processEvents(); // repaint requests still queued for it are dropped
        }
        QCOMPARE(openDescriptors(), before);
    }
};

QTEST_MAIN(TestPictureEx)
#include "TestPictureEx.moc"
