// The cut-corner window shape and the stretched bitmap background shared by the three windows.

#include "CMsgBox.h"
#include "SkinWindow.h"
#include "showabout.h"

#include <QMenu>
#include <QPainter>
#include <QtTest>
#include <memory>

class TestSkinWindow : public QObject
{
    Q_OBJECT

private slots:
    void shapeAtEverySize();
    void degenerateSizesAndTheMask();
    void backgroundLoadedOnceOrNotAtAll();
    void boxesShapedCentredWithWindowMenu_data();
    void boxesShapedCentredWithWindowMenu();
    void fontsByCellHeightAskedAgain();
};

void TestSkinWindow::boxesShapedCentredWithWindowMenu_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("open");
    QTest::newRow("message box, right click") << "CMsgBox"
                                              << "right";
    QTest::newRow("message box, Alt+Space") << "CMsgBox"
                                            << "alt";
    QTest::newRow("About box, right click") << "showabout"
                                            << "right";
    QTest::newRow("About box, Alt+Space") << "showabout"
                                          << "alt";
}

void TestSkinWindow::boxesShapedCentredWithWindowMenu()
{
    QFETCH(QString, box);
    QFETCH(QString, open);
    QWidget owner;
    owner.setGeometry(150, 120, 498, 583);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    std::unique_ptr<SkinDialog> dialog;
    if (box == "CMsgBox") {
        dialog = std::make_unique<CMsgBox>(&owner);
    } else {
        dialog = std::make_unique<showabout>(&owner);
    }
    // Shaped before it is ever shown, so that its first frame has no square corners.
    QCOMPARE(dialog->mask(), RoundedRegion(585, 218));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    QCOMPARE(dialog->geometry().center(), owner.geometry().center());
    QCOMPARE(dialog->mask(), RoundedRegion(585, 218));

    // The window menu of a box: Move and Close, opened from its surface or by Alt+Space.
    QMenu* menu = dialog->SystemMenu();
    QVERIFY(menu != nullptr);
    QStringList entries;
    for (QAction* action : menu->actions()) {
        entries << action->text() + (action->isEnabled() ? "" : " (off)");
    }
    QCOMPARE(entries, QStringList({"&Move", "&Close"}));
    if (open == "right") {
        QTest::mouseClick(dialog.get(), Qt::RightButton, {}, QPoint(30, 180));
    } else {
        dialog->activateWindow();
        QTest::keyClick(dialog.get(), Qt::Key_Space, Qt::AltModifier);
    }
    QTRY_VERIFY(menu->isVisible());
    QVERIFY(dialog->isVisible()); // a right click does not end the box
    menu->actions().last()->trigger();
    QTRY_VERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
}

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

void TestSkinWindow::backgroundLoadedOnceOrNotAtAll()
{
    // Without its bitmap the window keeps the default erase; a later paint tries again.
    QWidget window;
    window.resize(40, 30);
    QImage shot(window.size(), QImage::Format_RGB32);
    QImage missing;
    QPainter painter(&shot);
    PaintSkinBackground(window, painter, missing, 9999);
    QCOMPARE(shot.pixelColor(20, 15), window.palette().color(QPalette::Window));
    PaintSkinBackground(window, painter, missing, 231);
    QCOMPARE(missing.size(), QSize(585, 218));

    CMsgBox box;
    box.kind = KindError;
    box.grab();
    const qint64 first = box.BackgroundBitmap().cacheKey();
    QVERIFY(!box.BackgroundBitmap().isNull());
    box.kind = KindNoDevice; // a later change of kind does not reload the picture
    box.grab();
    QCOMPARE(box.BackgroundBitmap().cacheKey(), first);
}

void TestSkinWindow::fontsByCellHeightAskedAgain()
{
    // Heights asked in a mixed order, each twice: the font found the second time (kept from
    // the first) is the one the first measurement found, and it is the closest cell any pixel
    // size gives (the smaller on a tie).
    const int heights[] = {16, 24, 18, 16, 32, 20, 18, 24, 20, 32};
    QHash<int, QFont> first;
    for (int height : heights) {
        const QFont font = ArialFont(height);
        QCOMPARE(font.family(), QStringLiteral("Arial"));
        QCOMPARE(font.weight(), QFont::Normal);
        QVERIFY(!font.italic() && !font.underline());
        if (first.contains(height)) {
            QCOMPARE(font, first.value(height));
            continue;
        }
        first.insert(height, font);
        int bestError = -1;
        for (int size = 1; size <= 2 * height; ++size) {
            QFont probe = font;
            probe.setPixelSize(size);
            const int cell = QFontMetrics(probe).height();
            const int error = 2 * std::abs(cell - height) + (cell > height ? 1 : 0);
            if (bestError < 0 || error < bestError)
                bestError = error;
        }
        const int cell = QFontMetrics(font).height();
        QCOMPARE(2 * std::abs(cell - height) + (cell > height ? 1 : 0), bestError);
    }
}

QTEST_MAIN(TestSkinWindow)
#include "TestSkinWindow.moc"
