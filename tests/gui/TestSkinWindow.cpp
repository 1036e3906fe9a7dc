// The cut-corner window shape and the stretched bitmap background shared by the three windows.

#include "CMsgBox.h"
#include "Resources.h"
#include "SkinWindow.h"

#include <QPainter>
#include <QtTest>

namespace {

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
    void shapeAtEverySize();
    void degenerateSizesAndTheMask();
    void backgroundStretchedOverClientArea();
    void backgroundLoadedOnceOrNotAtAll();
};

void TestSkinWindow::shapeAtEverySize()
{
    // Pixels each of the eight outermost columns loses at a corner, from the outer edge inward.
    constexpr int CornerCut[8] = {8, 6, 4, 3, 2, 2, 1, 1};
    // Main window, boxes, just the corners, wide and flat, odd.
    for (const QSize size : {QSize(498, 583), QSize(585, 218), QSize(16, 16), QSize(300, 17), QSize(37, 101)}) {
        const int w = size.width();
        const int h = size.height();
        const QRegion region = RoundedRegion(w, h);
        int inside = 0;
        for (int y = -1; y <= h; ++y) {
            for (int x = -1; x <= w; ++x) {
                const int fromEdgeX = std::min(x, w - 1 - x);
                const bool expected = x >= 0 && y >= 0 && x < w && y < h &&
                                      (fromEdgeX >= 8 || std::min(y, h - 1 - y) >= CornerCut[fromEdgeX]);
                QVERIFY2(region.contains(QPoint(x, y)) == expected,
                         qPrintable(QStringLiteral("%1x%2 at (%3,%4)").arg(w).arg(h).arg(x).arg(y)));
                inside += expected ? 1 : 0;
            }
        }
        QCOMPARE(inside, w * h - 4 * 27); // each corner loses 27 pixels
    }
}

void TestSkinWindow::degenerateSizesAndTheMask()
{
    QVERIFY(RoundedRegion(0, 0).isEmpty() && RoundedRegion(-5, -5).isEmpty());
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
    QVERIFY(shot.pixelColor(shot.width() - 1, shot.height() - 1) != Erase); // the last column and row too
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
