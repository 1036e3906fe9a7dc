// The bitmap scroll bar beside the skinned list: drawing (enabled and disabled), the thumb and
// its clamp, arrows with start delay and repeat, page requests, dragging, wheel and keys.
#include "SkinListFixture.h"

#include <QScrollBar>
#include <QTimer>

using namespace skintest;

namespace {

// The thumb's top spreads evenly from 38 (position 0) to H - 38 (the limit); within one pixel.
void checkThumbMatchesList(const ListWindow& w)
{
    const double limit = w.list->GetScrollLimit();
    const double even = 38 + (limit > 0 ? (w.bar->height() - 76) * w.list->GetScrollPos() / limit : 0.0);
    QVERIFY2(qAbs(w.bar->ThumbPosition() - even) < 1.0, qPrintable(QString::number(w.bar->ThumbPosition())));
}

} // namespace

class TestSkinScrollbar : public QObject
{
    Q_OBJECT

private slots:
    void barIsDrawnFromItsBitmaps_data()
    {
        QTest::addColumn<int>("rows");
        QTest::newRow("enabled") << 30;
        QTest::newRow("list cannot scroll: disabled, no thumb") << 2;
    }

    void barIsDrawnFromItsBitmaps()
    {
        QFETCH(int, rows);
        ListWindow w;
        QVERIFY(w.open(rows));
        const bool enabled = rows > 2;
        QCOMPARE(w.bar->IsBarEnabled(), enabled);
        const int h = w.bar->height();
        const QImage img = grab(&w).copy(w.bar->geometry());
        // Columns 0..6 are not the bar's: the window shows through. 7 and 21..23 are its background.
        for (int x = 0; x < 24; x += x == 7 ? 14 : 1) {
            QCOMPARE(runsOf(img, x, x < 7 ? WindowColor : BarBack), span(0, h - 1));
        }
        QCOMPARE(runsOf(img, 8, BarBack), span(0, 25)); // plain over the header's height
        QCOMPARE(runsOf(img, 14, enabled ? UpColor : UpOff), span(26, 37));
        QCOMPARE(runsOf(img, 20, enabled ? DownColor : DownOff), span(h - 12, h - 1));
        // The track is its bitmap's first row stretched over 38..H-13, the thumb on top at 38.
        QCOMPARE(runsOf(img, 14, ThumbColor), enabled ? span(38, 63) : QString());
        QCOMPARE(runsOf(img, 14, enabled ? TrackColor : TrackOff), span(enabled ? 64 : 38, h - 13));
        QVERIFY(runsOf(img, 14, Hidden).isEmpty());
        // Clicks on a disabled bar go to a list that has nowhere to go; its thumb cannot be grabbed.
        QTest::mousePress(w.bar, Qt::LeftButton, {}, QPoint(14, 45));
        QCOMPARE(w.bar->ThumbGrabbed(), enabled);
        QTest::mouseRelease(w.bar, Qt::LeftButton, {}, QPoint(14, 45));
        QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(14, h - 6));
        QCOMPARE(w.list->GetScrollPos(), enabled ? 1 : 0);
        if (enabled) { // at the end of the list the thumb stops at H - 38
            w.list->verticalScrollBar()->setValue(w.list->GetScrollLimit());
            QCOMPARE(runsOf(grab(w.bar), 14, ThumbColor), span(h - 38, h - 13));
        }
    }

    void clicksActOnRelease()
    {
        ListWindow w;
        QVERIFY(w.open(40));
        const int h = w.bar->height();
        const int page = w.page();
        const struct
        {
            QPoint at;
            int from, to;
        } clicks[] = {
            {{14, h - 6}, 0, 1},        // down arrow: a line
            {{8, 26}, 1, 0},            // up arrow, its top-left corner
            {{20, 37}, 0, 0},           // its bottom-right corner, at the top: nothing
            {{21, 31}, page + 1, 1},    // right of the arrow: a page up, since the thumb is below
            {{14, h - 20}, 0, page},    // below the thumb: a page down
            {{14, 45}, 0, 0},           // on the thumb: nothing
            {{14, 39}, 2 * page, page}, // above the thumb: a page up...
            {{14, 5}, page, 0},         // ...also in the plain area over the arrow
            {{2, h - 20}, 0, page},     // left of the drawn part: still the bar's
        };
        for (const auto& click : clicks) {
            w.list->verticalScrollBar()->setValue(click.from);
            QTest::mousePress(w.bar, Qt::LeftButton, {}, click.at);
            QCOMPARE(w.list->GetScrollPos(), click.from);
            QTest::mouseRelease(w.bar, Qt::LeftButton, {}, click.at);
            QCOMPARE(w.list->GetScrollPos(), click.to);
            checkThumbMatchesList(w);
        }
        QCOMPARE(w.windowPresses, 0); // none reached the window behind the bar
    }

    void heldArrowRepeatsAfterStartDelay()
    {
        ListWindow w;
        QVERIFY(w.open(300));
        const QPoint downArrow(14, w.bar->height() - 6), upArrow(14, 31);
        // A line every 50 ms from 250 ms + 50 ms after the press, and one more on release.
        auto* startDelay = w.bar->findChild<QTimer*>(QStringLiteral("startDelayTimer"));
        auto* repeat = w.bar->findChild<QTimer*>(QStringLiteral("repeatTimer"));
        QVERIFY(startDelay != nullptr && repeat != nullptr);
        QCOMPARE(std::pair(startDelay->interval(), repeat->interval()), std::pair(250, 50));
        QTest::mousePress(w.bar, Qt::LeftButton, {}, downArrow);
        QVERIFY(startDelay->isActive() && !repeat->isActive());
        QTRY_VERIFY_WITH_TIMEOUT(w.list->GetScrollPos() >= 4, 5000);
        QVERIFY(!startDelay->isActive() && repeat->isActive());
        checkThumbMatchesList(w);
        const int held = w.list->GetScrollPos();
        QTest::mouseRelease(w.bar, Qt::LeftButton, {}, downArrow);
        QCOMPARE(w.list->GetScrollPos(), held + 1);
        QVERIFY(!startDelay->isActive() && !repeat->isActive());
        QTest::mousePress(w.bar, Qt::LeftButton, {}, upArrow);
        QTRY_VERIFY_WITH_TIMEOUT(w.list->GetScrollPos() < held, 5000);
        QTest::mouseRelease(w.bar, Qt::LeftButton, {}, upArrow);
        QVERIFY(!startDelay->isActive() && !repeat->isActive());
    }

    void thumbDragScrollsWholeRowsAndSnapsOnRelease()
    {
        ListWindow w;
        QVERIFY(w.open(40));
        const int h = w.bar->height();
        const int limit = w.list->GetScrollLimit();
        QTest::mousePress(w.bar, Qt::LeftButton, {}, QPoint(14, 45));
        // The thumb follows the pointer; the list moves to the row that place stands for on a
        // drag track of H - 50 pixels from y = 40. Far off, the thumb stays within 38..H-38.
        for (int y : {60, 90, h + 200, -200, 80}) {
            QTest::mouseMove(w.bar, QPoint(14, y));
            QCOMPARE(w.bar->ThumbPosition(), qBound(38, y - 13, h - 38));
            QCOMPARE(w.list->GetScrollPos(), qBound(0, int((y - 13 - 40) / (double(h - 50) / limit)), limit));
        }
        const int pos = w.list->GetScrollPos();
        QTest::mouseRelease(w.bar, Qt::LeftButton, {}, QPoint(14, 80));
        QCOMPARE(w.list->GetScrollPos(), pos); // no page request
        checkThumbMatchesList(w);
        QTest::mouseMove(w.bar, QPoint(14, 110)); // without a grab: nothing
        QCOMPARE(w.list->GetScrollPos(), pos);
    }

    // A bar of 50 pixels or less has no drag track: a thumb drag scrolls nothing.
    void thumbDragOnABarWithoutTrackScrollsNothing_data()
    {
        QTest::addColumn<int>("barHeight");
        QTest::newRow("50: no track at all") << 50;
        QTest::newRow("40: less than none") << 40;
    }

    void thumbDragOnABarWithoutTrackScrollsNothing()
    {
        QFETCH(int, barHeight);
        ListWindow w(barHeight + 1);
        QVERIFY(w.open(40));
        QCOMPARE(w.bar->height(), barHeight);
        QVERIFY(w.list->GetScrollLimit() > 0);
        w.list->verticalScrollBar()->setValue(5);
        const int thumb = w.bar->ThumbPosition();
        QVERIFY(thumb >= 38);
        QTest::mousePress(w.bar, Qt::LeftButton, {}, QPoint(14, thumb + 2));
        QVERIFY(w.bar->ThumbGrabbed());
        for (int y : {thumb + 3, thumb + 20, 0, -300, 400}) {
            QTest::mouseMove(w.bar, QPoint(14, y));
            QCOMPARE(w.list->GetScrollPos(), 5);
            QCOMPARE(w.bar->ThumbPosition(), 38); // clamped as the display places it
        }
        // Released away from the down arrow, which the thumb overlaps on so short a bar.
        QTest::mouseRelease(w.bar, Qt::LeftButton, {}, QPoint(14, 30));
        QCOMPARE(w.list->GetScrollPos(), 5);
    }

    void thumbStaysInStepWithWheelKeysAndNewRows()
    {
        ListWindow w;
        QVERIFY(w.open(40));
        QWidget* vp = w.list->viewport();
        QWheelEvent wheel(QPointF(50, 50), vp->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(vp, &wheel);
        QVERIFY(w.list->GetScrollPos() > 0);
        checkThumbMatchesList(w);
        w.list->setFocus();
        QTest::keyClick(w.list, Qt::Key_End);
        QCOMPARE(w.bar->ThumbPosition(), w.bar->height() - 38);
        QTest::keyClick(w.list, Qt::Key_Home);
        QCOMPARE(runsOf(grab(w.bar), 14, ThumbColor), span(38, 63));
        // Rows added while the list is shown enable the bar too.
        w.list->DeleteAllItems();
        w.list->doItemsLayout();
        QVERIFY(!w.bar->IsBarEnabled());
        for (int i = 0; i < 40; ++i) {
            w.list->AppendRow(QStringLiteral("late %1").arg(i));
        }
        QTRY_COMPARE(runsOf(grab(w.bar), 14, ThumbColor), span(38, 63));
    }
};

QTEST_MAIN(TestSkinScrollbar)
#include "TestSkinScrollbar.moc"
