// The cut-corner window shape and the stretched bitmap background shared by the three windows.

#include "CMsgBox.h"
#include "Resources.h"
#include "SkinWindow.h"

#include <QPainter>
#include <QtTest>

namespace {

// Pixels each of the eight outermost columns loses at a corner, from the outer edge inward.
constexpr int CornerCut[8] = {8, 6, 4, 3, 2, 2, 1, 1};

bool expectedInside(int x, int y, int w, int h)
{
    if (x < 0 || y < 0 || x >= w || y >= h) {
        return false;
    }
    const int fromEdgeX = std::min(x, w - 1 - x);
    return fromEdgeX >= 8 || std::min(y, h - 1 - y) >= CornerCut[fromEdgeX];
}

const QColor Erase(10, 200, 30);

// Paints a size-sized green window's background the way the skinned windows do.
QImage paintBackground(int bitmapId, QSize size, QImage& bitmap)
{
    QWidget window;
    window.resize(size);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, Erase);
    window.setPalette(palette);
    QImage shot(size, QImage::Format_RGB32);
    QPainter painter(&shot);
    PaintSkinBackground(window, painter, bitmap, bitmapId);
    return shot;
}

} // namespace

class TestSkinWindow : public QObject
{
    Q_OBJECT

private slots:
    void shapeAtEverySize_data();
    void shapeAtEverySize();
    void degenerateSizesAndTheMask();
    void backgroundStretchedOverClientArea();
    void backgroundLoadedOnceOrNotAtAll();
};

void TestSkinWindow::shapeAtEverySize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("main window") << QSize(498, 583);
    QTest::newRow("boxes") << QSize(585, 218);
    QTest::newRow("just the corners") << QSize(16, 16);
    QTest::newRow("wide and flat") << QSize(300, 17);
    QTest::newRow("odd") << QSize(37, 101);
}

void TestSkinWindow::shapeAtEverySize()
{
    QFETCH(QSize, size);
    const int w = size.width();
    const int h = size.height();
    const QRegion region = RoundedRegion(w, h);
    // The corner pixels named outright: the outer column and the top row are cut by 8.
    for (int y = 0; y <= 7; ++y) {
        QVERIFY(!region.contains(QPoint(0, y)) && !region.contains(QPoint(w - 1, h - 1 - y)));
    }
    QVERIFY(!region.contains(QPoint(7, 0)));
    QCOMPARE(region.contains(QPoint(8, 0)), w > 16); // in a 16-wide window, column 8 is a corner's
    QCOMPARE(region.contains(QPoint(0, 8)), h > 16);
    int inside = 0;
    for (int y = -1; y <= h; ++y) {
        for (int x = -1; x <= w; ++x) {
            const bool expected = expectedInside(x, y, w, h);
            if (region.contains(QPoint(x, y)) != expected) {
                QFAIL(qPrintable(QStringLiteral("pixel (%1,%2)").arg(x).arg(y)));
            }
            inside += expected ? 1 : 0;
        }
    }
    QCOMPARE(inside, w * h - 4 * 27); // each corner loses 27 pixels
}

void TestSkinWindow::degenerateSizesAndTheMask()
{
    QVERIFY(RoundedRegion(0, 0).isEmpty());
    QVERIFY(RoundedRegion(-5, -5).isEmpty());
    for (const QSize size : {QSize(1, 1), QSize(3, 40), QSize(40, 3), QSize(9, 9)}) {
        const QRegion region = RoundedRegion(size.width(), size.height());
        QVERIFY(QRegion(0, 0, size.width(), size.height()).contains(region.boundingRect()) || region.isEmpty());
    }
    QWidget window;
    ApplyRoundedRegion(window, 498, 583);
    QCOMPARE(window.mask(), RoundedRegion(498, 583));
    ApplyRoundedRegion(window, 0, 0); // a minimised window reports 0 x 0
    QVERIFY(window.mask().isEmpty());
    ApplyRoundedRegion(window, 498, 583); // restored: the shape comes back
    QCOMPARE(window.mask(), RoundedRegion(498, 583));

    // The skinned windows reshape themselves on every resize.
    CMsgBox box;
    box.setFixedSize(600, 300);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.mask(), RoundedRegion(600, 300));
}

void TestSkinWindow::backgroundStretchedOverClientArea()
{
    const QImage source = qvres::SkinBitmap(231);
    QVERIFY(!source.isNull());
    QImage bitmap;
    const QImage shot = paintBackground(231, source.size() * 2, bitmap);
    QCOMPARE(bitmap.size(), source.size());
    // Sample the middle of 2 x 2 blocks away from edges between colours.
    int matches = 0;
    int samples = 0;
    for (int y = 5; y < source.height() - 5; y += 23) {
        for (int x = 5; x < source.width() - 5; x += 31, ++samples) {
            const QColor want = source.pixelColor(x, y);
            const QColor got = shot.pixelColor(2 * x, 2 * y);
            matches += std::abs(want.red() - got.red()) <= 24 && std::abs(want.green() - got.green()) <= 24 &&
                       std::abs(want.blue() - got.blue()) <= 24;
        }
    }
    QVERIFY2(matches * 10 >= samples * 9, qPrintable(QStringLiteral("%1 of %2").arg(matches).arg(samples)));
    // The last column and row are covered too.
    QVERIFY(shot.pixelColor(shot.width() - 1, shot.height() - 1) != Erase);
}

void TestSkinWindow::backgroundLoadedOnceOrNotAtAll()
{
    // Without its bitmap the window keeps the default erase.
    QImage missing;
    QCOMPARE(paintBackground(9999, QSize(40, 30), missing).pixelColor(20, 15), Erase);
    QVERIFY(missing.isNull());

    CMsgBox box;
    box.kind = KindError;
    box.grab();
    const qint64 first = box.BackgroundBitmap().cacheKey();
    QVERIFY(!box.BackgroundBitmap().isNull());
    box.kind = KindNoDevice; // a later change of kind does not reload the picture
    box.grab();
    QCOMPARE(box.BackgroundBitmap().cacheKey(), first);
}

QTEST_MAIN(TestSkinWindow)
#include "TestSkinWindow.moc"
