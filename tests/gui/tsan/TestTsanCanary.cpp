// A deliberate race that the thread-sanitizer suppressions must leave reported: a thread draws
// into a picture with QPainter while a widget paints that picture, with nothing ordering the
// two, which is what an animation control that lost its lock would do. Both sides run through
// Qt's painting code, as the animation thread and the control's paint handler do, so a
// suppression that named whole Qt libraries (or the test runner) would hide it.
//
// Built only under TSan. The test passes when TSan reports the race in RacyPicture's paint
// handler; the QtTest verdict alone means nothing here.
#include <QDeadlineTimer>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <QtTest>
#include <atomic>
#include <thread>

namespace {

// As small as the search animation, so Qt paints it on the calling thread.
constexpr int Side = 50;

class RacyPicture : public QWidget
{
public:
    RacyPicture()
    {
        surface.fill(Qt::white);
        resize(Side, Side);
    }

    QImage surface{Side, Side, QImage::Format_RGB32};

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.drawImage(QPoint(0, 0), surface); // no lock: races with the drawing thread
    }
};

} // namespace

class TestTsanCanary : public QObject
{
    Q_OBJECT

private slots:
    void paintingRacesWithADrawingThread()
    {
        RacyPicture picture;
        picture.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picture));
        QImage frame(Side, Side, QImage::Format_RGB32);
        frame.fill(Qt::red);
        std::atomic<bool> drawn{false};
        std::thread animation([&picture, &frame, &drawn] {
            QPainter painter(&picture.surface);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(QPoint(0, 0), frame);
            painter.end();
            // Relaxed on purpose: it orders nothing, so the paint below races with the drawing.
            drawn.store(true, std::memory_order_relaxed);
        });
        const QDeadlineTimer deadline(10000);
        // Relaxed: only waits for the drawing to have happened; it must not order it.
        while (!drawn.load(std::memory_order_relaxed) && !deadline.hasExpired()) {
            std::this_thread::yield();
        }
        picture.repaint();
        animation.join();
        QVERIFY(drawn.load(std::memory_order_relaxed));
    }
};

QTEST_MAIN(TestTsanCanary)
#include "TestTsanCanary.moc"
