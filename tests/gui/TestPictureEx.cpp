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

// A small GIF writer: frames of one colour each, over a 256-entry global colour table.
struct Frame
{
    QRect rect;
    quint8 index;
    int delay = 0;
    int disposal = 1;
    bool control = true;
};

QByteArray Word(int value)
{
    return QByteArray(1, char(value & 0xFF)) + char((value >> 8) & 0xFF);
}

QByteArray SubBlocks(const QByteArray& data)
{
    QByteArray out;
    for (qsizetype at = 0; at < data.size(); at += 255) {
        out += char(data.mid(at, 255).size()) + data.mid(at, 255);
    }
    return out + '\0';
}

QByteArray ControlBlock(const Frame& frame)
{
    return QByteArray("\x21\xF9\x04", 3) + char(frame.disposal << 2) + Word(frame.delay) + QByteArray(2, '\0');
}

QByteArray ImageBlock(const Frame& frame)
{
    QByteArray lzw;
    quint32 bits = 0;
    int count = 0;
    const auto put = [&](int code) {
        for (bits |= quint32(code) << count, count += 9; count >= 8; count -= 8, bits >>= 8) {
            lzw += char(bits & 0xFF);
        }
    };
    for (int i = 0; i < frame.rect.width() * frame.rect.height(); ++i) {
        put(256); // a clear code before every pixel keeps the codes 9 bits wide
        put(frame.index);
    }
    put(257);
    const QRect& r = frame.rect;
    return ',' + Word(r.x()) + Word(r.y()) + Word(r.width()) + Word(r.height()) + QByteArray("\0\x08", 2) +
           SubBlocks(count > 0 ? lzw + char(bits & 0xFF) : lzw);
}

// Index i is (i, 255 - i, (i * 7) & 0xFF), so every index has its own colour.
QColor PaletteColor(int index)
{
    return {index, 255 - index, (index * 7) & 0xFF};
}

// Header, screen, colour table and an application extension; then the frames and the trailer.
QByteArray MakeGif(QSize screen, const std::vector<Frame>& frames, bool trailer = true)
{
    QByteArray out = "GIF89a" + Word(screen.width()) + Word(screen.height()) + QByteArray("\xF7\0\0", 3);
    for (int i = 0; i < 256; ++i) {
        const QColor c = PaletteColor(i);
        out += char(c.red()) + QByteArray(1, char(c.green())) + char(c.blue());
    }
    out += QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (const Frame& frame : frames) {
        out += (frame.control ? ControlBlock(frame) : QByteArray()) + ImageBlock(frame);
    }
    return trailer ? out + ';' : out;
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
        const Frame still{QRect(1, 1, 2, 2), 3, 0, 0, false};
        // Comments before a control block are not part of a frame's run; one after it is.
        const QByteArray comment = "\x21\xFE" + SubBlocks(QByteArray(300, 'c'));
        const QByteArray plainText = QByteArray("\x21\x01\x0C", 3) + QByteArray(12, '\0') + QByteArray("\x02hi", 4);
        const Frame one{Whole, 1, 3, 1}, two{QRect(2, 3, 4, 5), 2, 12, 3};
        const QByteArray runs[] = {ControlBlock(one) + ImageBlock(one), ControlBlock(two) + comment + ImageBlock(two),
                                   ImageBlock(still), plainText};
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
        const Frame third{Whole, 3};
        const QByteArray whole = MakeGif(Screen, {{Whole, 1}, {Whole, 2}, third});
        const qsizetype image = whole.lastIndexOf(ImageBlock(third));
        QTest::newRow("cut inside the third image") << whole.left(image + 14) << 2;
        QTest::newRow("third control block cut") << whole.left(image - 3) << 2;
        QTest::newRow("sub-block longer than data") << whole.left(image + 12) + '\xFF' + QByteArray(10, '\0') << 2;
        QByteArray unknown = whole;
        unknown[image - 8] = '\x99'; // the third frame's control block becomes unrecognised
        QTest::newRow("unknown block") << unknown << 2;
        const QByteArray twoControls = ControlBlock(third) + ControlBlock(third) + ImageBlock(third);
        QTest::newRow("two control blocks in a row") << MakeGif(Screen, {{Whole, 1}}, false) + twoControls << 1;
        QTest::newRow("colour table beyond data") << whole.left(400) << 0;
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
        QTest::addColumn<int>("frames"); // -1: rejected; 0: a still picture of 6 x 4 in colour 77
        QImage source(6, 4, QImage::Format_RGB32);
        source.fill(PaletteColor(77));
        QByteArray png;
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && source.save(&buffer, "PNG"));
        const std::vector<Frame> two = {{QRect(0, 0, 1, 1), 1}, {QRect(0, 0, 1, 1), 2}};
        QTest::newRow("PNG") << png << 0;
        QTest::newRow("GIF of one image") << MakeGif(QSize(6, 4), {{QRect(0, 0, 6, 4), 77}}) << 0;
        // A plain-text extension counts as a frame but holds no image for the loader.
        QTest::newRow("plain-text extension") << Fixture("plain-text.gif") << 2;
        QTest::newRow("local colour tables, no global one") << Fixture("local-table.gif") << 2;
        QTest::newRow("empty") << QByteArray() << -1;
        QTest::newRow("text") << QByteArray("not a picture at all") << -1;
        QTest::newRow("GIF without frames") << MakeGif(Screen, {}) << -1;
        QTest::newRow("zero logical screen") << MakeGif(QSize(0, 0), two) << -1;
        QTest::newRow("logical screen over the 4096 x 4096 cap") << MakeGif(QSize(4097, 4097), two) << -1;
    }

    void load()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, frames);
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(MakeGif(Screen, {{Whole, 1}}))); // a failed load undoes this one
        QCOMPARE(picture.LoadFromMemory(data), frames >= 0);
        QCOMPARE(picture.IsReady(), frames >= 0);
        QCOMPARE(picture.FrameCount(), qMax(frames, 0));
        QCOMPARE(picture.Play(), frames == 0); // a still picture renders at once and starts no thread
        QTRY_COMPARE(picture.IsPlaying(), frames > 0);
        picture.Stop();
        if (frames < 0) {
            QVERIFY(picture.SurfaceImage().isNull());
            QCOMPARE(picture.BackgroundColor(), QColor(Qt::white));
        } else if (frames == 0) {
            QCOMPARE(picture.size(), QSize(6, 4));
            QCOMPARE(picture.grab().toImage().pixelColor(5, 3), PaletteColor(77));
        }
    }

    void frameDelays()
    {
        // Below 5 hundredths a frame stays 100 ms, from 5 on what it says, also without overflow;
        // a frame without a control block has no delay.
        std::vector<Frame> frames;
        for (int delay : {0, 4, 5, 65535}) {
            frames.push_back({QRect(0, 0, 2, 2), 1, delay});
        }
        frames.push_back({QRect(5, 6, 3, 2), 8, 70, 2, false});
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(MakeGif(Screen, frames)));
        QCOMPARE(picture.FrameDelaysMs(), (std::vector<unsigned>{100, 100, 50, 655350, 100}));
    }

    void framesAccumulatePaintedAndClearAfterLast()
    {
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(MakeGif(Screen, {{QRect(0, 0, 2, 2), 10, 5}, {QRect(4, 4, 2, 2), 20, 5}})));
        picture.SetBackgroundColor(Background);
        picture.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picture));
        PaintCounter counter;
        picture.installEventFilter(&counter);
        QVERIFY(!picture.Play());
        // Disposal 1 keeps the first frame while the second shows...
        QTRY_COMPARE(picture.SurfaceImage().pixelColor(4, 4), PaletteColor(20));
        QCOMPARE(picture.SurfaceImage().pixelColor(0, 0), PaletteColor(10));
        // ...and after the last frame the surface starts again from the background colour.
        QTRY_COMPARE(picture.SurfaceImage().pixelColor(4, 4), Background);
        QCOMPARE(picture.SurfaceImage().pixelColor(0, 0), PaletteColor(10));
        // Each frame is painted without anybody here asking; painting copies the surface.
        QTRY_VERIFY(counter.paints >= 4);
        picture.Stop();
        QCOMPARE(picture.grab().toImage().convertToFormat(QImage::Format_RGB32), picture.SurfaceImage());
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
        // Two colours under the frame show that exactly the old pixels come back.
        const QRect area(1, 1, 5, 4), inner(2, 2, 2, 2);
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(MakeGif(
            Screen, {{Whole, 1, 5}, {inner, 4, 5}, {area, 2, 5, disposal}, {QRect(7, 7, 1, 1), 3, LongDelay}})));
        picture.SetBackgroundColor(Background); // not the GIF's own background index (0)
        QVERIFY(!picture.Play());
        QTRY_COMPARE(picture.CurrentFrame(), 3);
        const QImage surface = picture.SurfaceImage();
        picture.Stop();
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                const QColor under = PaletteColor(inner.contains(x, y) ? 4 : 1);
                const QColor expected = x == 7 && y == 7                       ? PaletteColor(3)
                                        : disposal == 2 && area.contains(x, y) ? Background
                                                                               : under;
                QCOMPARE(surface.pixelColor(x, y), expected);
            }
        }
    }

    void stopDuringDelayKeepsFrameForNextPlayAndUnloadForgets()
    {
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(
            MakeGif(Screen, {{Whole, 1, 5}, {QRect(2, 2, 4, 4), 2, LongDelay, 2}, {Whole, 3, 5}})));
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

    void repaintsWhileTheThreadSavesAndRestoresFrames()
    {
        // Frames of disposal 3: the thread saves the area under each frame and restores it with
        // plain copies, which a thread sanitizer sees (Qt's blending it cannot), while the UI
        // thread repaints as fast as it can. A paint that skipped the control's mutex is
        // reported here under TSan.
        const QSize screen(50, 50);
        const QRect whole(QPoint(0, 0), screen);
        CPictureEx picture;
        QVERIFY(picture.LoadFromMemory(MakeGif(screen, {{whole, 1, 1, 3}, {whole, 2, 1, 3}})));
        const QColor window = picture.palette().color(QPalette::Active, QPalette::Window);
        PaintCounter counter;
        picture.installEventFilter(&counter);
        picture.show();
        QVERIFY(!picture.Play());
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 1000) {
            picture.repaint();
            QCoreApplication::processEvents();
        }
        QTRY_VERIFY(picture.CurrentFrame() == 1); // the thread went on meanwhile
        picture.Stop();
        QVERIFY(counter.paints > 10);
        const QList<QColor> shown{PaletteColor(1), PaletteColor(2), window, picture.BackgroundColor()};
        const QImage painted = picture.grab().toImage();
        QVERIFY2(shown.contains(painted.pixelColor(0, 0)), qPrintable(painted.pixelColor(0, 0).name()));
        QCOMPARE(painted.pixelColor(49, 49), painted.pixelColor(0, 0));
    }

    void playStopFromAnotherThreadThenDestroyWhilePlaying()
    {
        const auto openDescriptors = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
        const QByteArray gif =
            MakeGif(Screen, {{Whole, 1}, {QRect(2, 2, 2, 2), 2, 0, 2}, {QRect(4, 4, 2, 2), 3, 0, 3}});
        {
            CPictureEx warmUp; // the first control may open descriptors that Qt keeps
            QVERIFY(warmUp.LoadFromMemory(gif));
        }
        const uint before = openDescriptors();
        for (int round = 0; round < 5; ++round) {
            auto* picture = new CPictureEx;
            QVERIFY(picture->LoadFromMemory(gif));
            picture->show();
            // The search routine calls Stop and Play on its own thread while the UI thread paints.
            std::atomic<bool> done{false};
            std::thread search([picture, &done] {
                for (int i = 0; i < 10; ++i) {
                    picture->Stop();
                    picture->Play();
                    std::this_thread::sleep_for(std::chrono::milliseconds(15));
                }
                // Release: the UI thread's acquire load sees every call above finished.
                done.store(true, std::memory_order_release);
            });
            // Acquire: pairs with the release store above.
            while (!done.load(std::memory_order_acquire)) {
                picture->repaint();
                QCoreApplication::processEvents();
            }
            search.join();
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
