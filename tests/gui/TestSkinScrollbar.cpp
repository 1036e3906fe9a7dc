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

// The rows of column x that have colour c, as "first-last" runs.
QString rowsWith(const QImage& img, int x, const QColor& c)
{
    QStringList runs;
    for (int y = 0; y < img.height(); ++y) {
        const int first = y;
        while (y < img.height() && img.pixelColor(x, y) == c) {
            ++y;
        }
        if (y > first) {
            runs << QStringLiteral("%1-%2").arg(first).arg(y - 1);
        }
    }
    return runs.join(QLatin1Char(','));
}

QString run(int first, int last)
{
    return QStringLiteral("%1-%2").arg(first).arg(last);
}

constexpr QPoint UpArrow(14, 31);

} // namespace

class TestSkinScrollbar : public QObject
{
    Q_OBJECT

private slots:
    void thumbFollowsPositionWithinClamp_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("listHeight");
        QTest::newRow("fits, no scrolling") << 3 << 133;
        QTest::newRow("one row too many") << 6 << 133;
        QTest::newRow("very long list") << 400 << 133;
        QTest::newRow("shorter than the thumb's margins") << 30 << 60;
    }

    void thumbFollowsPositionWithinClamp()
    {
        QFETCH(int, rows);
        QFETCH(int, listHeight);
        ListWindow w(listHeight);
        QVERIFY(w.open(rows));
        const int h = w.bar->height();
        const int limit = w.list->GetScrollLimit();
        QCOMPARE(limit, qMax(0, rows - w.page())); // the rows that do not fit
        for (int pos = 0; pos <= limit; ++pos) {
            w.list->verticalScrollBar()->setValue(pos);
            if (h >= 76) {
                checkThumbMatchesList(w);
            } else {
                QCOMPARE(w.bar->ThumbPosition(), 38);
            }
        }
        if (limit > 0 && h >= 76) {
            QCOMPARE(rowsWith(grab(w.bar), 14, ThumbColor), run(h - 38, h - 13));
        }
    }

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
            QCOMPARE(rowsWith(img, x, x < 7 ? WindowColor : BarBack), run(0, h - 1));
        }
        QCOMPARE(rowsWith(img, 8, BarBack), run(0, 25)); // plain over the header's height
        QCOMPARE(rowsWith(img, 14, enabled ? UpColor : UpOff), run(26, 37));
        QCOMPARE(rowsWith(img, 20, enabled ? DownColor : DownOff), run(h - 12, h - 1));
        // The track is its bitmap's first row stretched over 38..H-13, the thumb on top at 38.
        QCOMPARE(rowsWith(img, 14, ThumbColor), enabled ? run(38, 63) : QString());
        QCOMPARE(rowsWith(img, 14, enabled ? TrackColor : TrackOff), run(enabled ? 64 : 38, h - 13));
        QVERIFY(rowsWith(img, 14, Hidden).isEmpty());
        // Clicks on a disabled bar go to a list that has nowhere to go; its thumb cannot be grabbed.
        QTest::mousePress(w.bar, Qt::LeftButton, {}, QPoint(14, 45));
        QCOMPARE(w.bar->ThumbGrabbed(), enabled);
        QTest::mouseRelease(w.bar, Qt::LeftButton, {}, QPoint(14, 45));
        QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(14, h - 6));
        QCOMPARE(w.list->GetScrollPos(), enabled ? 1 : 0);
    }

    void arrowsScrollALineOnReleaseAndRepeatWhileHeld()
    {
        ListWindow w;
        QVERIFY(w.open(300));
        const QPoint downArrow(14, w.bar->height() - 6);
        QTest::mousePress(w.bar, Qt::LeftButton, {}, downArrow);
        QCOMPARE(w.list->GetScrollPos(), 0);
        QTest::mouseRelease(w.bar, Qt::LeftButton, {}, downArrow);
        QCOMPARE(w.list->GetScrollPos(), 1);
        checkThumbMatchesList(w);
        // The up arrow's corners: x 8..20, y 26..37.
        QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(8, 26));
        QCOMPARE(w.list->GetScrollPos(), 0);
        QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(20, 37)); // at the top: nothing
        QCOMPARE(w.list->GetScrollPos(), 0);
        // Right of the arrow is not the arrow: the thumb is always below it, so a page up.
        w.list->verticalScrollBar()->setValue(w.page() + 1);
        QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(21, 31));
        QCOMPARE(w.list->GetScrollPos(), 1);

        // Held: a line every 50 ms from 250 ms + 50 ms after the press, one more on release.
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
        QTest::mousePress(w.bar, Qt::LeftButton, {}, UpArrow);
        QTRY_VERIFY_WITH_TIMEOUT(w.list->GetScrollPos() < held, 5000);
        QTest::mouseRelease(w.bar, Qt::LeftButton, {}, UpArrow);
        const int released = w.list->GetScrollPos();
        QTest::qWait(150);
        QCOMPARE(w.list->GetScrollPos(), released);
    }

    void trackClickRequestsAPageOnRelease()
    {
        ListWindow w;
        QVERIFY(w.open(40));
        const int page = w.page();
        const QPoint below(14, w.bar->height() - 20);
        QTest::mousePress(w.bar, Qt::LeftButton, {}, below);
        QCOMPARE(w.list->GetScrollPos(), 0);
        QTest::mouseRelease(w.bar, Qt::LeftButton, {}, below);
        QCOMPARE(w.list->GetScrollPos(), page);
        checkThumbMatchesList(w);
        QTest::mouseClick(w.bar, Qt::LeftButton, {}, below);
        QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(14, w.bar->ThumbPosition() + 5)); // on the thumb
        QCOMPARE(w.list->GetScrollPos(), 2 * page);
        // Above the thumb, even in the plain area over the up arrow: page up.
        QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(14, 39));
        QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(14, 5));
        QCOMPARE(w.list->GetScrollPos(), 0);
        // None of these presses, nor one left of the drawn part, reached the window behind.
        QTest::mouseClick(w.bar, Qt::LeftButton, {}, QPoint(2, 100));
        QCOMPARE(w.windowPresses, 0);
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
        QCOMPARE(rowsWith(grab(w.bar), 14, ThumbColor), run(38, 63));
        // Rows added while the list is shown enable the bar too.
        w.list->DeleteAllItems();
        w.list->doItemsLayout();
        QVERIFY(!w.bar->IsBarEnabled());
        for (int i = 0; i < 40; ++i) {
            w.list->AppendRow(QStringLiteral("late %1").arg(i));
        }
        QTRY_COMPARE(rowsWith(grab(w.bar), 14, ThumbColor), run(38, 63));
    }
};

QTEST_MAIN(TestSkinScrollbar)
#include "TestSkinScrollbar.moc"
