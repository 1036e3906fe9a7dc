// The skinned list's header: its height, the stretched background, the dividers by column
// order, the white inset text with ellipsis and literal ampersand, the column width clamp and
// the repaint while a divider is dragged.
#include "PaintCounter.h"
#include "SkinListFixture.h"

using namespace skintest;

namespace {

// Columns [first, last] of the white text pixels left of x = end in a header.
QPair<int, int> whiteExtent(const QImage& img, int end = 200)
{
    int first = -1;
    int last = -1;
    for (int x = 0; x < end; ++x) {
        for (int y = 0; y < img.height(); ++y) {
            if (img.pixelColor(x, y).red() > 200 && img.pixelColor(x, y).blue() > 200) {
                first = first < 0 ? x : first;
                last = x;
            }
        }
    }
    return {first, last};
}

} // namespace

class TestSkinHeader : public QObject
{
    Q_OBJECT

private slots:
    void headerIs26PixelsHigh();
    void dividersFollowColumnOrder_data();
    void dividersFollowColumnOrder();
    void textIsWhiteAndInset();
    void textIsCutWithEllipsisAndAmpersandIsLiteral();
    void columnWidthHeldBetween30And400();
    void repaintsAtOnceWhileLeftButtonDrags();
};

void TestSkinHeader::headerIs26PixelsHigh()
{
    ListWindow w;
    QVERIFY(w.showExposed());
    CSkinHeaderCtrl* header = w.list->GetHeaderCtrl();
    QCOMPARE(header->geometry(), QRect(0, 0, header->width(), 26));
    // The rows start right below the header.
    QCOMPARE(w.list->viewport()->geometry().top(), 26);
    QCOMPARE(w.list->viewport()->height(), 133 - 26);
    // A bigger list font leaves the header alone.
    QFont big(QStringLiteral("Arial"));
    big.setPixelSize(40);
    w.list->setFont(big);
    QCoreApplication::processEvents();
    QCOMPARE(header->height(), 26);
}

void TestSkinHeader::dividersFollowColumnOrder_data()
{
    QTest::addColumn<QList<int>>("widths");
    QTest::addColumn<int>("moveFrom"); // -1: keep the order
    QTest::addColumn<int>("moveTo");
    QTest::addColumn<QList<int>>("dividerCentres");
    QTest::addColumn<QList<int>>("plainColumns");
    // Only the first column of the background bitmap is stretched across the whole header.
    QTest::newRow("no columns: background only") << QList<int>{} << -1 << -1 << QList<int>{} << QList<int>{0, 200, 417};
    QTest::newRow("single column has neither")
        << QList<int>{215} << -1 << -1 << QList<int>{} << QList<int>{0, 1, 2, 3, 212, 215, 218};
    QTest::newRow("two columns meet once")
        << QList<int>{215, 215} << -1 << -1 << QList<int>{215} << QList<int>{0, 3, 208};
    QTest::newRow("three columns, none at the outer edges")
        << QList<int>{100, 100, 100} << -1 << -1 << QList<int>{100, 200} << QList<int>{0, 3, 297, 300, 303};
    QTest::newRow("dragged order decides")
        << QList<int>{100, 120, 140} << 0 << 2 << QList<int>{120, 260} << QList<int>{0, 3, 100, 357, 360, 363};
}

void TestSkinHeader::dividersFollowColumnOrder()
{
    QFETCH(QList<int>, widths);
    QFETCH(int, moveFrom);
    QFETCH(int, moveTo);
    QFETCH(QList<int>, dividerCentres);
    QFETCH(QList<int>, plainColumns);
    ListWindow w(133, widths);
    if (moveFrom >= 0) {
        w.list->GetHeaderCtrl()->moveSection(moveFrom, moveTo);
    }
    QVERIFY(w.showExposed());
    const QImage img = grab(w.list->GetHeaderCtrl());
    QCOMPARE(img.height(), 26);
    // Row 1 lies above the inset text.
    for (int centre : dividerCentres) {
        for (int x = centre - 3; x <= centre + 3; ++x) {
            QVERIFY2(img.pixelColor(x, 1) == DividerColor, qPrintable(QStringLiteral("no divider at x=%1").arg(x)));
            QCOMPARE(img.pixelColor(x, 25), DividerColor);
        }
        QCOMPARE(img.pixelColor(centre - 4, 1), HeaderBack);
        QCOMPARE(img.pixelColor(centre + 4, 1), HeaderBack);
    }
    for (int x : plainColumns) {
        QVERIFY2(img.pixelColor(x, 1) == HeaderBack, qPrintable(QStringLiteral("divider at x=%1").arg(x)));
        QCOMPARE(img.pixelColor(x, 25), HeaderBack);
    }
}

void TestSkinHeader::textIsWhiteAndInset()
{
    ListWindow w;
    QVERIFY(w.showExposed());
    const QImage img = grab(w.list->GetHeaderCtrl());
    int white = 0;
    for (int y = 0; y < 26; ++y) {
        for (int x = 0; x < 212; ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c == QColor(255, 255, 255)) {
                ++white;
                // Text starts 4 pixels in from the item's left and top.
                QVERIFY(x >= 4 && y >= 4);
            }
            QVERIFY(onBlend(c, HeaderBack, QColor(255, 255, 255), 10));
        }
    }
    QVERIFY(white > 10);
}

void TestSkinHeader::textIsCutWithEllipsisAndAmpersandIsLiteral()
{
    ListWindow w;
    w.list->headerItem()->setText(0, QStringLiteral("MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM"));
    w.list->GetHeaderCtrl()->resizeSection(0, 120);
    QVERIFY(w.showExposed());
    const QImage img = grab(w.list->GetHeaderCtrl());
    const auto [first, last] = whiteExtent(img, 124);
    // Nothing spills past the inset rectangle (4..115).
    QVERIFY(first >= 4 && last <= 120 - 5);
    // The last glyph is the ellipsis: its dots sit on the baseline, unlike the stems of an M
    // that was merely clipped.
    for (int y = 0; y <= 13; ++y) {
        QVERIFY2(img.pixelColor(last, y).red() <= 200, qPrintable(QStringLiteral("last column reaches y=%1").arg(y)));
    }

    // A mnemonic would swallow the "&" and leave the text as wide as "AB".
    w.list->GetHeaderCtrl()->resizeSection(0, 215);
    w.list->headerItem()->setText(0, QStringLiteral("AB"));
    const int plain = whiteExtent(grab(w.list->GetHeaderCtrl())).second;
    w.list->headerItem()->setText(0, QStringLiteral("A&B"));
    const int literal = whiteExtent(grab(w.list->GetHeaderCtrl())).second;
    QVERIFY2(literal > plain + 5, qPrintable(QStringLiteral("%1 vs %2").arg(literal).arg(plain)));
}

void TestSkinHeader::columnWidthHeldBetween30And400()
{
    ListWindow w;
    QVERIFY(w.showExposed());
    CSkinHeaderCtrl* header = w.list->GetHeaderCtrl();
    QWidget* vp = header->viewport();
    sendMouse(vp, QEvent::MouseButtonPress, QPoint(214, 13), Qt::LeftButton, Qt::LeftButton);
    // Pointer x while dragging the first column's right edge, and the width it must give.
    for (const auto& [x, width] : {std::pair{100, 101}, {10, 30}, {-40, 30}, {399, 400}, {700, 400}}) {
        sendMouse(vp, QEvent::MouseMove, QPoint(x, 13), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(header->sectionSize(0), width);
    }
    sendMouse(vp, QEvent::MouseButtonRelease, QPoint(700, 13), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(header->sectionSize(0), 400);
    QCOMPARE(header->sectionSize(1), 215);
}

void TestSkinHeader::repaintsAtOnceWhileLeftButtonDrags()
{
    ListWindow w;
    QVERIFY(w.showExposed());
    QCoreApplication::processEvents();
    QWidget* vp = w.list->GetHeaderCtrl()->viewport();
    PaintCounter counter;
    vp->installEventFilter(&counter);
    sendMouse(vp, QEvent::MouseMove, QPoint(50, 10), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(counter.paints, 1);
    // Another button, or a key held with the left button, is not a divider drag.
    sendMouse(vp, QEvent::MouseMove, QPoint(60, 10), Qt::NoButton, Qt::LeftButton | Qt::RightButton);
    sendMouse(vp, QEvent::MouseMove, QPoint(70, 10), Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
    sendMouse(vp, QEvent::MouseMove, QPoint(80, 10), Qt::NoButton, Qt::NoButton);
    QCOMPARE(counter.paints, 1);
    vp->removeEventFilter(&counter);
}

QTEST_MAIN(TestSkinHeader)
#include "TestSkinHeader.moc"
