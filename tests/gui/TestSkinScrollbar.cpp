// The bitmap scroll bar beside the skinned list: drawing (enabled and disabled), the thumb
// arithmetic and its clamping, arrows with their start delay and repeat, page requests on the
// track, dragging the thumb, and staying in step with wheel and keys.
#include "SkinListFixture.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <QTimer>

using namespace skintest;

namespace {

// The thumb's top for a list position, as the bar must show it: the travel below the up arrow
// (H - 76 pixels) spread over the limit, truncated, starting at 38, and kept within 38..H-38.
int expectedThumb(const ListWindow& w)
{
    const int h = w.bar->height();
    const int limit = w.list->GetScrollLimit();
    const int thumb = limit == 0 ? 38 : int(double(h - 76) / limit * w.list->GetScrollPos()) + 38;
    return qMax(thumb + 26 > h ? h - 38 : thumb, 38);
}

// The rows of column x (8..20 are the bitmaps) that have colour c, as "first-last" runs.
QString rowsWith(const QImage& img, int x, const QColor& c)
{
    QStringList runs;
    for (int y = 0; y < img.height(); ++y) {
        if (img.pixelColor(x, y) == c) {
            const int first = y;
            while (y + 1 < img.height() && img.pixelColor(x, y + 1) == c) {
                ++y;
            }
            runs << QStringLiteral("%1-%2").arg(first).arg(y);
        }
    }
    return runs.join(QLatin1Char(','));
}

QString run(int first, int last)
{
    return QStringLiteral("%1-%2").arg(first).arg(last);
}

QPoint downArrow(const ListWindow& w)
{
    return {14, w.bar->height() - 6};
}

constexpr QPoint UpArrow(14, 31);

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
    QVERIFY(w.showExposed());
    const int h = w.bar->height();
    QCOMPARE(h, listHeight - 1);
    const int limit = w.list->GetScrollLimit();
    // The limit is the rows that do not fit in the viewport.
    QCOMPARE(limit, qMax(0, rows - w.list->viewport()->height() / w.list->GetItemRowHeight()));
    int previous = 0;
    for (int pos = 0; pos <= limit; ++pos) {
        w.list->verticalScrollBar()->setValue(pos);
        QCOMPARE(w.list->GetScrollPos(), pos);
        const int thumb = w.bar->ThumbPosition();
        QCOMPARE(thumb, expectedThumb(w));
        QVERIFY(thumb >= qMax(38, previous));
        QVERIFY(h < 76 || thumb <= h - 38);
        previous = thumb;
    }
    if (limit > 0 && h >= 76) {
        QCOMPARE(w.bar->ThumbPosition(), h - 38);
        QCOMPARE(rowsWith(grab(w.bar), 14, ThumbColor), run(h - 38, h - 13));
    }
}

void TestSkinScrollbar::enabledBarIsDrawnFromItsBitmaps()
{
    ListWindow w;
    w.fill(30);
    QVERIFY(w.showExposed());
    QVERIFY(w.bar->IsBarEnabled());
    const int h = w.bar->height();
    const QImage img = grab(&w).copy(w.bar->geometry());
    // Columns 0..6 are not the bar's to paint: the window shows through. Column 7 and 21..23
    // are the bar's background.
    for (int x = 0; x < 7; ++x) {
        QCOMPARE(rowsWith(img, x, WindowColor), run(0, h - 1));
    }
    for (int x : {7, 21, 23}) {
        QCOMPARE(rowsWith(img, x, BarBack), run(0, h - 1));
    }
    // Above the up arrow stays plain, the height of the list's header.
    QCOMPARE(rowsWith(img, 8, BarBack), run(0, 25));
    QCOMPARE(rowsWith(img, 14, UpColor), run(26, 37));
    QCOMPARE(rowsWith(img, 20, DownColor), run(h - 12, h - 1));
    QCOMPARE(rowsWith(img, 14, ThumbColor), run(38, 63));
    // The track is the first row of its bitmap stretched over 38..H-13; its second row never shows.
    QCOMPARE(rowsWith(img, 14, TrackColor), run(64, h - 13));
    QVERIFY(rowsWith(img, 14, SecondColumnOrRow).isEmpty());
}

void TestSkinScrollbar::listThatCannotScrollShowsDisabledBarWithoutThumb()
{
    ListWindow w;
    w.fill(2);
    QVERIFY(w.showExposed());
    QCOMPARE(w.list->GetScrollLimit(), 0);
    QVERIFY(!w.bar->IsBarEnabled());
    const int h = w.bar->height();
    const QImage img = grab(w.bar);
    QCOMPARE(rowsWith(img, 14, UpDisabledColor), run(26, 37));
    QCOMPARE(rowsWith(img, 14, DownDisabledColor), run(h - 12, h - 1));
    QCOMPARE(rowsWith(img, 14, TrackDisabledColor), run(38, h - 13));
    QVERIFY(rowsWith(img, 14, ThumbColor).isEmpty() && rowsWith(img, 14, UpColor).isEmpty());
    // Clicks go to a list that has nowhere to go, and the thumb cannot be grabbed.
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, downArrow(w));
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
    QVERIFY(w.showExposed());
    QTest::mousePress(w.bar, Qt::LeftButton, {}, downArrow(w));
    QVERIFY(w.bar->DownArrowPressed());
    QCOMPARE(w.list->GetScrollPos(), 0);
    QTest::mouseRelease(w.bar, Qt::LeftButton, {}, downArrow(w));
    QCOMPARE(w.list->GetScrollPos(), 1);
    QVERIFY(!w.bar->DownArrowPressed());
    QCOMPARE(w.bar->ThumbPosition(), expectedThumb(w));
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, downArrow(w));
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, downArrow(w));
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, UpArrow);
    QCOMPARE(w.list->GetScrollPos(), 2);
    QCOMPARE(w.bar->ThumbPosition(), expectedThumb(w));
    // The arrow's corners: x 8..20, y 26..37. At the top an up click changes nothing.
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(8, 26));
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(20, 37));
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, UpArrow);
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
    QVERIFY(w.showExposed());
    auto* startDelay = w.bar->findChild<QTimer*>(QStringLiteral("startDelayTimer"));
    auto* repeat = w.bar->findChild<QTimer*>(QStringLiteral("repeatTimer"));
    QVERIFY(startDelay != nullptr && repeat != nullptr);
    QCOMPARE(startDelay->interval(), 250);
    QCOMPARE(repeat->interval(), 50);
    // A quick click leaves no timer behind.
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, downArrow(w));
    QVERIFY(!startDelay->isActive() && !repeat->isActive());
    QTest::qWait(400);
    QCOMPARE(w.list->GetScrollPos(), 1);

    QElapsedTimer clock;
    clock.start();
    QTest::mousePress(w.bar, Qt::LeftButton, {}, downArrow(w));
    QVERIFY(startDelay->isActive() && !repeat->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(w.list->GetScrollPos() > 1, 5000);
    // Nothing before the start delay and the first repeat interval have passed.
    QVERIFY2(clock.elapsed() >= 295, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!startDelay->isActive() && repeat->isActive());
    // Four lines take at least three more repeat intervals.
    QTRY_VERIFY_WITH_TIMEOUT(w.list->GetScrollPos() >= 5, 5000);
    QVERIFY(clock.elapsed() >= 295 + 3 * 50 - 5);
    QCOMPARE(w.bar->ThumbPosition(), expectedThumb(w));
    // Released over the arrow: one more line, then nothing.
    const int beforeRelease = w.list->GetScrollPos();
    QTest::mouseRelease(w.bar, Qt::LeftButton, {}, downArrow(w));
    QCOMPARE(w.list->GetScrollPos(), beforeRelease + 1);
    QVERIFY(!repeat->isActive());
    QTest::qWait(150);
    QCOMPARE(w.list->GetScrollPos(), beforeRelease + 1);
    // The held up arrow runs the other way.
    QTest::mousePress(w.bar, Qt::LeftButton, {}, UpArrow);
    QTRY_VERIFY_WITH_TIMEOUT(w.list->GetScrollPos() < beforeRelease, 5000);
    QTest::mouseRelease(w.bar, Qt::LeftButton, {}, UpArrow);
    QVERIFY(!repeat->isActive());
}

void TestSkinScrollbar::trackClickRequestsAPage()
{
    ListWindow w;
    w.fill(40);
    QVERIFY(w.showExposed());
    const int page = w.list->viewport()->height() / w.list->GetItemRowHeight();
    QVERIFY(page >= 2);
    const QPoint below(14, w.bar->height() - 20);
    // Below the thumb: page down, on release only.
    QTest::mousePress(w.bar, Qt::LeftButton, {}, below);
    QCOMPARE(w.list->GetScrollPos(), 0);
    QTest::mouseRelease(w.bar, Qt::LeftButton, {}, below);
    QCOMPARE(w.list->GetScrollPos(), page);
    QCOMPARE(w.bar->ThumbPosition(), expectedThumb(w));
    QTest::mouseClick(w.bar, Qt::LeftButton, {}, below);
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
    QVERIFY(w.showExposed());
    const int h = w.bar->height();
    const int limit = w.list->GetScrollLimit();
    QTest::mousePress(w.bar, Qt::LeftButton, {}, QPoint(14, 45));
    QVERIFY(w.bar->ThumbGrabbed());
    for (int y : {60, 75, 90}) {
        QTest::mouseMove(w.bar, QPoint(14, y));
        // The thumb follows the pointer; the list moves to the whole row that thumb place
        // stands for over a drag track of H - 50 pixels from 40.
        QCOMPARE(w.bar->ThumbPosition(), y - 13);
        QCOMPARE(w.list->GetScrollPos(), qBound(0, int((y - 13 - 40) / (double(h - 50) / limit)), limit));
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
    // Released: no page request, and the thumb snaps to the list's real position.
    QTest::mouseRelease(w.bar, Qt::LeftButton, {}, QPoint(14, 80));
    QCOMPARE(w.list->GetScrollPos(), pos);
    QCOMPARE(w.bar->ThumbPosition(), expectedThumb(w));
    QVERIFY(!w.bar->ThumbGrabbed());
    // Moving without a grab does nothing.
    QTest::mouseMove(w.bar, QPoint(14, 110));
    QCOMPARE(w.list->GetScrollPos(), pos);
}

void TestSkinScrollbar::thumbStaysInStepWithWheelAndKeys()
{
    ListWindow w;
    w.fill(40);
    QVERIFY(w.showExposed());
    QWidget* vp = w.list->viewport();
    QWheelEvent wheel(QPointF(50, 50), vp->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(vp, &wheel);
    QVERIFY(w.list->GetScrollPos() > 0);
    QCOMPARE(w.bar->ThumbPosition(), expectedThumb(w));
    w.list->setFocus();
    QTest::keyClick(w.list, Qt::Key_End);
    QCOMPARE(w.list->GetScrollPos(), w.list->GetScrollLimit());
    QCOMPARE(w.bar->ThumbPosition(), w.bar->height() - 38);
    QTest::keyClick(w.list, Qt::Key_Home);
    QCOMPARE(w.list->GetScrollPos(), 0);
    // The thumb drawn matches: a grab after the key shows it at the top.
    QCOMPARE(rowsWith(grab(w.bar), 14, ThumbColor), run(38, 63));
    // Rows added while the list is shown enable and move the bar too.
    w.list->DeleteAllItems();
    w.list->doItemsLayout();
    QVERIFY(!w.bar->IsBarEnabled());
    for (int i = 0; i < 40; ++i) {
        w.list->AppendRow(QStringLiteral("late %1").arg(i));
    }
    QTRY_VERIFY(w.bar->IsBarEnabled());
    QCOMPARE(rowsWith(grab(w.bar), 14, ThumbColor), run(38, 63));
}

QTEST_MAIN(TestSkinScrollbar)
#include "TestSkinScrollbar.moc"
