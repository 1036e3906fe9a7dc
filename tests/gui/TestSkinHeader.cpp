// The skinned list's header: its height, the stretched background, the dividers by column
// order, the white inset text with ellipsis and literal ampersand, the column width clamp and
// the repaint while a divider is dragged.
#include "PaintCounter.h"
#include "SkinListFixture.h"

#include <QtTest>

using namespace skintest;

class TestSkinHeader : public QObject
{
    Q_OBJECT

private slots:
    void headerIs26PixelsHigh();
    void headerWithoutColumnsShowsOnlyStretchedBackground();
    void headerDividersFollowColumnOrder_data();
    void headerDividersFollowColumnOrder();
    void headerTextIsWhiteAndInset();
    void headerTextIsCutWithEllipsis();
    void headerAmpersandIsDrawnLiterally();
    void columnWidthHeldBetween30And400();
    void headerRepaintsAtOnceWhileLeftButtonDrags();
};

void TestSkinHeader::headerIs26PixelsHigh()
{
    ListWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.list->GetHeaderCtrl()->height(), 26);
    QCOMPARE(w.list->GetHeaderCtrl()->geometry().top(), 0);
    // The rows start right below the header.
    QCOMPARE(w.list->viewport()->geometry().top(), 26);
    QCOMPARE(w.list->viewport()->height(), 133 - 26);
    // A bigger list font leaves the header alone.
    QFont big(QStringLiteral("Arial"));
    big.setPixelSize(40);
    w.list->setFont(big);
    QCoreApplication::processEvents();
    QCOMPARE(w.list->GetHeaderCtrl()->height(), 26);
}

void TestSkinHeader::headerWithoutColumnsShowsOnlyStretchedBackground()
{
    QWidget window;
    window.resize(300, 200);
    auto* list = new CSkinListCtrl(&window);
    list->setGeometry(10, 10, 200, 100);
    QImage back(2, 26, QImage::Format_RGB32);
    for (int y = 0; y < 26; ++y) {
        back.setPixelColor(0, y, HeaderBackColumn0);
        back.setPixelColor(1, y, HeaderBackColumn1);
    }
    list->GetHeaderCtrl()->SetSkinBitmaps(solid(7, 26, DividerColor), back);
    list->InitSkin();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(list->columnCount(), 0);
    const QImage img = grab(list->GetHeaderCtrl());
    QCOMPARE(img.height(), 26);
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            QCOMPARE(at(img, x, y), HeaderBackColumn0);
        }
    }
}

void TestSkinHeader::headerDividersFollowColumnOrder_data()
{
    QTest::addColumn<QList<int>>("widths");
    QTest::addColumn<int>("moveFrom"); // -1: keep the order
    QTest::addColumn<int>("moveTo");
    QTest::addColumn<QList<int>>("dividerCentres");
    QTest::addColumn<QList<int>>("plainColumns");

    QTest::newRow("single column has neither")
        << QList<int>{215} << -1 << -1 << QList<int>{} << QList<int>{0, 1, 2, 3, 212, 215, 218};
    QTest::newRow("two columns meet once")
        << QList<int>{215, 215} << -1 << -1 << QList<int>{215} << QList<int>{0, 3, 208};
    QTest::newRow("three columns, none at the outer edges")
        << QList<int>{100, 100, 100} << -1 << -1 << QList<int>{100, 200} << QList<int>{0, 3, 297, 300, 303};
    QTest::newRow("dragged order decides")
        << QList<int>{100, 120, 140} << 0 << 2 << QList<int>{120, 260} << QList<int>{0, 3, 100, 357, 360, 363};
}

void TestSkinHeader::headerDividersFollowColumnOrder()
{
    QFETCH(QList<int>, widths);
    QFETCH(int, moveFrom);
    QFETCH(int, moveTo);
    QFETCH(QList<int>, dividerCentres);
    QFETCH(QList<int>, plainColumns);

    QWidget window;
    window.resize(498, 300);
    auto* list = new CSkinListCtrl(&window);
    list->setGeometry(33, 119, 418, 133);
    QImage back = solid(2, 26, HeaderBackColumn0);
    list->GetHeaderCtrl()->SetSkinBitmaps(solid(7, 26, DividerColor), back);
    list->InitSkin();
    for (int i = 0; i < widths.size(); ++i) {
        QCOMPARE(list->InsertColumn(i, QStringLiteral("C%1").arg(i), widths[i]), i);
    }
    if (moveFrom >= 0) {
        list->GetHeaderCtrl()->moveSection(moveFrom, moveTo);
    }
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage img = grab(list->GetHeaderCtrl());
    // Row 1 lies above the inset text.
    for (int centre : dividerCentres) {
        for (int x = centre - 3; x <= centre + 3; ++x) {
            QVERIFY2(at(img, x, 1) == DividerColor, qPrintable(QStringLiteral("no divider at x=%1").arg(x)));
            QCOMPARE(at(img, x, 25), DividerColor);
        }
        QCOMPARE(at(img, centre - 4, 1), HeaderBackColumn0);
        QCOMPARE(at(img, centre + 4, 1), HeaderBackColumn0);
    }
    for (int x : plainColumns) {
        if (x < img.width()) {
            QVERIFY2(at(img, x, 1) == HeaderBackColumn0, qPrintable(QStringLiteral("divider at x=%1").arg(x)));
        }
    }
}

void TestSkinHeader::headerTextIsWhiteAndInset()
{
    ListWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QImage img = grab(w.list->GetHeaderCtrl());
    int white = 0;
    for (int y = 0; y < 26; ++y) {
        for (int x = 0; x < 215; ++x) {
            const QColor c = at(img, x, y);
            if (c == QColor(255, 255, 255)) {
                ++white;
                // Text starts 4 pixels in from the item's left and top.
                QVERIFY(x >= 4);
                QVERIFY(y >= 4);
            }
            QVERIFY(onBlend(c, HeaderBackColumn0, QColor(255, 255, 255), 10) || c == DividerColor);
        }
    }
    QVERIFY(white > 10);
}

void TestSkinHeader::headerTextIsCutWithEllipsis()
{
    ListWindow w;
    w.list->headerItem()->setText(0, QStringLiteral("MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM"));
    w.list->GetHeaderCtrl()->resizeSection(0, 120);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QImage img = grab(w.list->GetHeaderCtrl());
    const QRect textRect(4, 4, 120 - 8, 26 - 8);
    const auto [first, last] = whiteExtent(img, textRect.adjusted(0, 0, 8, 0));
    QVERIFY(first >= 4);
    // Nothing spills past the inset rectangle.
    QVERIFY(last <= textRect.right());
    // The last glyph is the ellipsis: its dots sit on the baseline, unlike the stems of an M
    // that was merely clipped.
    int topMost = 26;
    for (int y = 0; y < 26; ++y) {
        if (at(img, last, y).red() > 200) {
            topMost = qMin(topMost, y);
        }
    }
    QVERIFY2(topMost > 13, qPrintable(QStringLiteral("last column reaches up to y=%1").arg(topMost)));
}

void TestSkinHeader::headerAmpersandIsDrawnLiterally()
{
    ListWindow plain;
    plain.list->headerItem()->setText(0, QStringLiteral("AB"));
    ListWindow amp;
    amp.list->headerItem()->setText(0, QStringLiteral("A&B"));
    plain.show();
    amp.show();
    QVERIFY(QTest::qWaitForWindowExposed(&amp));
    const auto plainExtent = whiteExtent(grab(plain.list->GetHeaderCtrl()), QRect(0, 0, 200, 26));
    const auto ampExtent = whiteExtent(grab(amp.list->GetHeaderCtrl()), QRect(0, 0, 200, 26));
    // A mnemonic would swallow the "&" and leave the text as wide as "AB".
    QVERIFY2(ampExtent.second > plainExtent.second + 5,
             qPrintable(QStringLiteral("%1 vs %2").arg(ampExtent.second).arg(plainExtent.second)));
}

void TestSkinHeader::columnWidthHeldBetween30And400()
{
    ListWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    CSkinHeaderCtrl* header = w.list->GetHeaderCtrl();
    QWidget* vp = header->viewport();
    const QPoint edge(214, 13);
    sendMouse(vp, QEvent::MouseButtonPress, edge, Qt::LeftButton, Qt::LeftButton);
    sendMouse(vp, QEvent::MouseMove, QPoint(100, 13), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(header->sectionSize(0), 101);
    sendMouse(vp, QEvent::MouseMove, QPoint(10, 13), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(header->sectionSize(0), 30);
    sendMouse(vp, QEvent::MouseMove, QPoint(-40, 13), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(header->sectionSize(0), 30);
    sendMouse(vp, QEvent::MouseMove, QPoint(399, 13), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(header->sectionSize(0), 400);
    sendMouse(vp, QEvent::MouseMove, QPoint(700, 13), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(header->sectionSize(0), 400);
    sendMouse(vp, QEvent::MouseButtonRelease, QPoint(700, 13), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(header->sectionSize(0), 400);
    QCOMPARE(header->sectionSize(1), 215);
}

void TestSkinHeader::headerRepaintsAtOnceWhileLeftButtonDrags()
{
    ListWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
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
