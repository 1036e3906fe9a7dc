// The bitmap scroll bar beside the skinned list: drawing (enabled and disabled), the thumb
// arithmetic and its clamping, arrows with their start delay and repeat, page requests on the
// track, dragging the thumb, and staying in step with wheel and keys.
#include "SkinListFixture.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

using namespace skintest;

namespace {

// The thumb's top for a list position, as the bar must show it: the travel below the up arrow
// (H - 76 pixels) spread over the limit, truncated, starting at 38, and kept within 38..H-38.
int expectedThumb(int barHeight, int limit, int pos)
{
    if (limit == 0) {
        return 38;
    }
    const double ratio = double(barHeight - 76) / limit;
    int thumb = int(ratio * pos) + 38;
    if (thumb + 26 > barHeight) {
        thumb = barHeight - 38;
    }
    return qMax(thumb, 38);
}

// The rows of column x (8..20 are the bitmaps) that have colour c.
QList<int> rowsWith(const QImage& img, int x, const QColor& c)
{
    QList<int> rows;
    for (int y = 0; y < img.height(); ++y) {
        if (img.pixelColor(x, y) == c) {
            rows << y;
        }
    }
    return rows;
}

QList<int> range(int first, int last)
{
    QList<int> r;
    for (int i = first; i <= last; ++i) {
        r << i;
    }
    return r;
}

QPoint downArrow(const CSkinVerticleScrollbar* bar)
{
    return {14, bar->height() - 6};
}

QPoint upArrow()
{
    return {14, 31};
}

} // namespace

class TestSkinScrollbar : public QObject
{
    Q_OBJECT

private slots:
    void thumbFollowsPositionWithinClamp_data();
    void thumbFollowsPositionWithinClamp();
    void enabledBarIsDrawnFromItsBitmaps();
    void listThatCannotScrollShowsDisabledBarWithoutThumb();
    void arrowClickScrollsOneLineOnRelease();
    void heldArrowRepeatsAfterStartDelay();
    void quickReleaseLeavesNoTimerBehind();
    void trackClickRequestsAPage();
    void thumbDragScrollsWholeRowsAndSnapsOnRelease();
    void thumbStaysInStepWithWheelAndKeys();
};

void TestSkinScrollbar::thumbFollowsPositionWithinClamp_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("listHeight");
    QTest::newRow("fits, no scrolling") << 3 << 133;
    QTest::newRow("one row too many") << 6 << 133;
    QTest::newRow("twenty devices") << 20 << 133;
    QTest::newRow("long list") << 50 << 133;
    QTest::newRow("very long list") << 400 << 133;
    QTest::newRow("tall list") << 60 << 300;
    // Track shorter than the thumb's travel margins: the thumb stays at its minimum.
    QTest::newRow("tiny list") << 30 << 60;
}

void TestSkinScrollbar::thumbFollowsPositionWithinClamp()
{
    QFETCH(int, rows);
    QFETCH(int, listHeight);
    ListWindow w(listHeight);
    w.fill(rows);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int h = w.bar->height();
    QCOMPARE(h, listHeight - 1);
    const int limit = w.list->GetScrollLimit();
    const int rowHeight = w.list->GetItemRowHeight();
    QVERIFY(rowHeight > 0);
    // The limit is the rows that do not fit in the viewport.
    QCOMPARE(limit, qMax(0, rows - w.list->viewport()->height() / rowHeight));
    int previous = 0;
    for (int pos = 0; pos <= limit; ++pos) {
        w.list->verticalScrollBar()->setValue(pos);
        QCOMPARE(w.list->GetScrollPos(), pos);
        const int thumb = w.bar->ThumbPosition();
        QCOMPARE(thumb, expectedThumb(h, limit, pos));
        QVERIFY(thumb >= 38);
        if (h >= 76) {
            QVERIFY(thumb <= h - 38);
            QVERIFY(thumb >= previous);
        }
        previous = thumb;
    }
    if (limit > 0 && h >= 76) {
        QCOMPARE(w.bar->ThumbPosition(), h - 38);
        const QImage img = grab(w.bar);
        QCOMPARE(rowsWith(img, 14, ThumbColor), range(h - 38, h - 13));
    }
}

void TestSkinScrollbar::enabledBarIsDrawnFromItsBitmaps()
{
    ListWindow w;
    w.fill(30);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.bar->IsBarEnabled());
    const int h = w.bar->height();
    const QImage img = grab(&w).copy(w.bar->geometry());
    QCOMPARE(img.height(), h);
    for (int y = 0; y < h; ++y) {
        // Columns 0..6 are not the bar's to paint: the window shows through.
        for (int x = 0; x < 7; ++x) {
            QCOMPARE(at(img, x, y), WindowColor);
        }
        // Column 7 and 21..23 are the bar's background.
        QCOMPARE(at(img, 7, y), BarBack);
        QCOMPARE(at(img, 21, y), BarBack);
        QCOMPARE(at(img, 23, y), BarBack);
    }
    // Above the up arrow stays plain, the height of the list's header.
    QCOMPARE(rowsWith(img, 8, BarBack), range(0, 25));
    QCOMPARE(rowsWith(img, 14, UpColor), range(26, 37));
    QCOMPARE(rowsWith(img, 20, DownColor), range(h - 12, h - 1));
    QCOMPARE(rowsWith(img, 14, ThumbColor), range(38, 63));
    // The track is the first row of its bitmap stretched over 38..H-13; its second row never shows.
    QCOMPARE(rowsWith(img, 14, TrackColor), range(64, h - 13));
    QVERIFY(rowsWith(img, 14, TrackSecondRow).isEmpty());
    QCOMPARE(at(img, 21, 50), BarBack);
}

void TestSkinScrollbar::listThatCannotScrollShowsDisabledBarWithoutThumb()
{
    ListWindow w;
    w.fill(2);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.list->GetScrollLimit(), 0);
    QVERIFY(!w.bar->IsBarEnabled());
    const int h = w.bar->height();
    const QImage img = grab(w.bar);
    QCOMPARE(rowsWith(img, 14, UpDisabledColor), range(26, 37));
    QCOMPARE(rowsWith(img, 14, DownDisabledColor), range(h - 12, h - 1));
    QCOMPARE(rowsWith(img, 14, TrackDisabledColor), range(38, h - 13));
    QVERIFY(rowsWith(img, 14, ThumbColor).isEmpty());
    QVERIFY(rowsWith(img, 14, UpColor).isEmpty());
    // Clicks go to a list that has nowhere to go, and the thumb cannot be grabbed.
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, downArrow(w.bar));
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(14, 100));
    QTest::mousePress(w.bar, Qt::LeftButton, {}, QPoint(14, 45));
    QVERIFY(!w.bar->ThumbGrabbed());
    QTest::mouseRelease(w.bar, Qt::LeftButton, {}, QPoint(14, 45));
    QCOMPARE(w.list->GetScrollPos(), 0);
    QCOMPARE(w.bar->ThumbPosition(), 38);
    // An empty list is the same.
    w.list->DeleteAllItems();
    w.list->doItemsLayout();
    QVERIFY(!w.bar->IsBarEnabled());
}

void TestSkinScrollbar::arrowClickScrollsOneLineOnRelease()
{
    ListWindow w;
    w.fill(30);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int limit = w.list->GetScrollLimit();
    QVERIFY(limit > 3);

    QTest::mousePress(w.bar, Qt::LeftButton, {}, downArrow(w.bar));
    QVERIFY(w.bar->DownArrowPressed());
    QCOMPARE(w.list->GetScrollPos(), 0);
    QTest::mouseRelease(w.bar, Qt::LeftButton, {}, downArrow(w.bar));
    QCOMPARE(w.list->GetScrollPos(), 1);
    QVERIFY(!w.bar->DownArrowPressed());
    QCOMPARE(w.bar->ThumbPosition(), expectedThumb(w.bar->height(), limit, 1));

    QTest::mouseClick(w.bar, Qt::LeftButton, {}, downArrow(w.bar));
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, downArrow(w.bar));
    QCOMPARE(w.list->GetScrollPos(), 3);
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, upArrow());
    QCOMPARE(w.list->GetScrollPos(), 2);
    QCOMPARE(w.bar->ThumbPosition(), expectedThumb(w.bar->height(), limit, 2));

    // The arrow's edges: x 8..20, y 26..37.
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(8, 26));
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(20, 37));
    QCOMPARE(w.list->GetScrollPos(), 0);
    // At the top an up click changes nothing.
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, upArrow());
    QCOMPARE(w.list->GetScrollPos(), 0);
    // Right of the arrow is not the arrow: the thumb is always below it, so a page up.
    const int page = w.list->viewport()->height() / w.list->GetItemRowHeight();
    w.list->verticalScrollBar()->setValue(page + 1);
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(22, 31));
    QCOMPARE(w.list->GetScrollPos(), 1);
}

void TestSkinScrollbar::heldArrowRepeatsAfterStartDelay()
{
    ListWindow w;
    w.fill(300);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* startDelay = w.bar->findChild<QTimer*>(QStringLiteral("startDelayTimer"));
    auto* repeat = w.bar->findChild<QTimer*>(QStringLiteral("repeatTimer"));
    if (startDelay == nullptr || repeat == nullptr) {
        QFAIL("the bar's timers are missing");
    }
    QCOMPARE(startDelay->interval(), 250);
    QCOMPARE(repeat->interval(), 50);

    QElapsedTimer clock;
    clock.start();
    QTest::mousePress(w.bar, Qt::LeftButton, {}, downArrow(w.bar));
    QVERIFY(startDelay->isActive());
    QVERIFY(!repeat->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(w.list->GetScrollPos() > 0, 5000);
    // Nothing before the start delay and the first repeat interval have passed.
    QVERIFY2(clock.elapsed() >= 295, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!startDelay->isActive());
    QVERIFY(repeat->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(w.list->GetScrollPos() >= 4, 5000);
    // Four lines take at least three more repeat intervals.
    QVERIFY(clock.elapsed() >= 295 + 3 * 50 - 5);
    QCOMPARE(w.bar->ThumbPosition(), expectedThumb(w.bar->height(), w.list->GetScrollLimit(), w.list->GetScrollPos()));

    const int beforeRelease = w.list->GetScrollPos();
    QTest::mouseRelease(w.bar, Qt::LeftButton, {}, downArrow(w.bar));
    // Released over the arrow: one more line.
    QCOMPARE(w.list->GetScrollPos(), beforeRelease + 1);
    QVERIFY(!repeat->isActive());
    QTest::qWait(150);
    QCOMPARE(w.list->GetScrollPos(), beforeRelease + 1);

    // Held up arrow runs the other way.
    QTest::mousePress(w.bar, Qt::LeftButton, {}, upArrow());
    QTRY_VERIFY_WITH_TIMEOUT(w.list->GetScrollPos() < beforeRelease, 5000);
    QTest::mouseRelease(w.bar, Qt::LeftButton, {}, upArrow());
    QVERIFY(!repeat->isActive());
}

void TestSkinScrollbar::quickReleaseLeavesNoTimerBehind()
{
    ListWindow w;
    w.fill(300);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* startDelay = w.bar->findChild<QTimer*>(QStringLiteral("startDelayTimer"));
    auto* repeat = w.bar->findChild<QTimer*>(QStringLiteral("repeatTimer"));
    if (startDelay == nullptr || repeat == nullptr) {
        QFAIL("the bar's timers are missing");
    }
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, downArrow(w.bar));
    QCOMPARE(w.list->GetScrollPos(), 1);
    QVERIFY(!startDelay->isActive());
    QVERIFY(!repeat->isActive());
    QTest::qWait(400);
    QCOMPARE(w.list->GetScrollPos(), 1);
}

void TestSkinScrollbar::trackClickRequestsAPage()
{
    ListWindow w;
    w.fill(40);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int page = w.list->viewport()->height() / w.list->GetItemRowHeight();
    QVERIFY(page >= 2);
    const int limit = w.list->GetScrollLimit();
    const int h = w.bar->height();

    // Below the thumb: page down, on release only.
    QTest::mousePress(w.bar, Qt::LeftButton, {}, QPoint(14, h - 20));
    QCOMPARE(w.list->GetScrollPos(), 0);
    QTest::mouseRelease(w.bar, Qt::LeftButton, {}, QPoint(14, h - 20));
    QCOMPARE(w.list->GetScrollPos(), page);
    QCOMPARE(w.bar->ThumbPosition(), expectedThumb(h, limit, page));
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(14, h - 20));
    QCOMPARE(w.list->GetScrollPos(), 2 * page);
    // On the thumb: nothing.
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(14, w.bar->ThumbPosition() + 5));
    QCOMPARE(w.list->GetScrollPos(), 2 * page);
    // Above the thumb, even in the plain area over the up arrow: page up.
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(14, 39));
    QCOMPARE(w.list->GetScrollPos(), page);
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(14, 5));
    QCOMPARE(w.list->GetScrollPos(), 0);
    // None of these presses, nor one of another button or left of the drawn part, reached the
    // window behind the bar.
    QTest::mouseClick(w.bar, Qt::RightButton, {}, QPoint(14, 100));
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(2, 100));
    QCOMPARE(w.windowPresses, 0);
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(w.windowPresses, 1);
}

void TestSkinScrollbar::thumbDragScrollsWholeRowsAndSnapsOnRelease()
{
    ListWindow w;
    w.fill(40);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int h = w.bar->height();
    const int limit = w.list->GetScrollLimit();
    const double dragRatio = double(h - 50) / limit;

    QTest::mousePress(w.bar, Qt::LeftButton, {}, QPoint(14, 45));
    QVERIFY(w.bar->ThumbGrabbed());
    for (int y : {60, 75, 90}) {
        QTest::mouseMove(w.bar, QPoint(14, y));
        // The thumb follows the pointer; the list moves to the row that thumb place stands for.
        QCOMPARE(w.bar->ThumbPosition(), y - 13);
        const int wanted = qBound(0, int((y - 13 - 40) / dragRatio), limit);
        QCOMPARE(w.list->GetScrollPos(), wanted);
    }
    // Far below and far above: the thumb is held within 38..H-38.
    QTest::mouseMove(w.bar, QPoint(14, h + 200));
    QCOMPARE(w.bar->ThumbPosition(), h - 38);
    QCOMPARE(w.list->GetScrollPos(), limit);
    QTest::mouseMove(w.bar, QPoint(14, -200));
    QCOMPARE(w.bar->ThumbPosition(), 38);
    QCOMPARE(w.list->GetScrollPos(), 0);

    QTest::mouseMove(w.bar, QPoint(14, 80));
    const int pos = w.list->GetScrollPos();
    QVERIFY(pos > 0);
    QTest::mouseRelease(w.bar, Qt::LeftButton, {}, QPoint(14, 80));
    // Released: no page request, and the thumb shows the list's real position.
    QCOMPARE(w.list->GetScrollPos(), pos);
    QCOMPARE(w.bar->ThumbPosition(), expectedThumb(h, limit, pos));
    QVERIFY(!w.bar->ThumbGrabbed());
    // Moving without a grab does nothing.
    QTest::mouseMove(w.bar, QPoint(14, 110));
    QCOMPARE(w.list->GetScrollPos(), pos);
}

void TestSkinScrollbar::thumbStaysInStepWithWheelAndKeys()
{
    ListWindow w;
    w.fill(40);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int h = w.bar->height();
    const int limit = w.list->GetScrollLimit();
    QWidget* vp = w.list->viewport();

    QWheelEvent wheel(QPointF(50, 50), vp->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(vp, &wheel);
    const int afterWheel = w.list->GetScrollPos();
    QVERIFY(afterWheel > 0);
    QCOMPARE(w.bar->ThumbPosition(), expectedThumb(h, limit, afterWheel));

    w.list->setFocus();
    QTest::keyClick(w.list, Qt::Key_End);
    QCOMPARE(w.list->GetScrollPos(), limit);
    QCOMPARE(w.bar->ThumbPosition(), h - 38);
    QTest::keyClick(w.list, Qt::Key_Home);
    QCOMPARE(w.list->GetScrollPos(), 0);
    QCOMPARE(w.bar->ThumbPosition(), 38);
    // The thumb drawn matches: a grab after the key shows it at the top.
    QCOMPARE(rowsWith(grab(w.bar), 14, ThumbColor), range(38, 63));
    // Rows added while the list is shown enable and move the bar too.
    w.list->DeleteAllItems();
    w.list->doItemsLayout();
    QVERIFY(!w.bar->IsBarEnabled());
    for (int i = 0; i < 40; ++i) {
        w.list->AppendRow(QStringLiteral("late %1").arg(i));
    }
    QTRY_VERIFY(w.bar->IsBarEnabled());
    QCOMPARE(rowsWith(grab(w.bar), 14, ThumbColor), range(38, 63));
}

QTEST_MAIN(TestSkinScrollbar)
#include "TestSkinScrollbar.moc"
