// The skinned list's header: height, stretched background, dividers by column order, white
// inset text, the column width clamp and the repaint while a divider is dragged.
#include "PaintCounter.h"
#include "SkinListFixture.h"

using namespace skintest;

namespace {

// The box of the white text pixels left of x = end, and whether any of them is pure white.
QRect textBox(const QImage& img, int end, bool* pureWhite = nullptr)
{
    QRect box;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < end; ++x) {
            const QColor c = img.pixelColor(x, y);
            box |= c.red() > 200 && c.green() > 200 ? QRect(x, y, 1, 1) : QRect();
            if (pureWhite != nullptr && c == Qt::white) {
                *pureWhite = true;
            }
        }
    }
    return box;
}

} // namespace

class TestSkinHeader : public QObject
{
    Q_OBJECT

private slots:
    void dividersFollowColumnOrder_data()
    {
        QTest::addColumn<QList<int>>("widths");
        QTest::addColumn<bool>("moveFirstToLast");
        QTest::addColumn<QString>("dividers"); // 7 pixels centred on each inner column edge
        QTest::newRow("no columns: background only") << QList<int>{} << false << "";
        QTest::newRow("single column has neither") << QList<int>{215} << false << "";
        QTest::newRow("three columns, none at the outer edges")
            << QList<int>{100, 100, 100} << false << "97-103,197-203";
        QTest::newRow("dragged order decides") << QList<int>{100, 120, 140} << true << "117-123,257-263";
    }

    void dividersFollowColumnOrder()
    {
        QFETCH(QList<int>, widths);
        QFETCH(bool, moveFirstToLast);
        QFETCH(QString, dividers);
        ListWindow w(133, widths);
        if (moveFirstToLast) {
            w.list->GetHeaderCtrl()->moveSection(0, 2);
        }
        QVERIFY(w.open());
        const QImage img = grab(w.list->GetHeaderCtrl());
        for (int y : {1, 25}) { // above and below the inset text
            QCOMPARE(runsOf(img, -1, DividerColor, y), dividers);
            for (int x = 0; x < img.width(); ++x) { // elsewhere the background bitmap's first column
                QVERIFY(img.pixelColor(x, y) == DividerColor || img.pixelColor(x, y) == HeaderBack);
            }
        }
    }

    void headerIs26HighTextWhiteInsetCutWithEllipsisAndAmpersandLiteral()
    {
        ListWindow w;
        QVERIFY(w.open());
        CSkinHeaderCtrl* header = w.list->GetHeaderCtrl();
        bool pureWhite = false;
        const QRect name = textBox(grab(header), 200, &pureWhite);
        QVERIFY(pureWhite && name.left() >= 4 && name.top() >= 4); // inset from the item's left and top
        QFont big(QStringLiteral("Arial"));                        // a bigger list font leaves the header at 26 pixels
        big.setPixelSize(40);
        w.list->setFont(big);
        QCoreApplication::processEvents();
        QCOMPARE(header->height(), 26);
        QCOMPARE(w.list->viewport()->geometry(), QRect(0, 26, 418, 133 - 26));
        w.list->headerItem()->setText(0, QString(40, QLatin1Char('M')));
        header->resizeSection(0, 120);
        const QImage img = grab(header);
        const QRect cut = textBox(img, 124);
        QVERIFY(cut.left() >= 4 && cut.right() <= 120 - 5); // nothing spills past the inset rectangle
        // The last glyph is the ellipsis: dots on the baseline, not the stem of a clipped M.
        for (int y = 0; y <= 13; ++y) {
            QVERIFY2(img.pixelColor(cut.right(), y).red() <= 200, qPrintable(QStringLiteral("y=%1").arg(y)));
        }
        // A mnemonic would swallow the "&" and leave the text as wide as "AB".
        header->resizeSection(0, 215);
        w.list->headerItem()->setText(0, QStringLiteral("AB"));
        const int plain = textBox(grab(header), 200).width();
        w.list->headerItem()->setText(0, QStringLiteral("A&B"));
        QVERIFY(textBox(grab(header), 200).width() > plain + 5);
    }

    void widthSetByCodeOutside30To400IsRefused()
    {
        ListWindow w;
        QVERIFY(w.open());
        for (const auto& [asked, width, allowed] : {std::tuple{100, 100, true},
                                                    {10, 100, false},
                                                    {29, 100, false},
                                                    {30, 30, true},
                                                    {401, 30, false},
                                                    {400, 400, true}}) {
            QCOMPARE(w.list->SetColumnWidth(0, asked), allowed);
            QCOMPARE(w.list->GetHeaderCtrl()->sectionSize(0), width);
        }
        QVERIFY(!w.list->SetColumnWidth(5, 100)); // no such column
    }

    void headerFontIsSixteenPixelsAsACellHeight()
    {
        QCOMPARE(QFontMetrics(CSkinHeaderCtrl::HeaderFont()).height(), CSkinHeaderCtrl::FontPixelHeight);
    }

    void dividerDragHoldsWidthIn30To400AndRepaintsAtOnce()
    {
        ListWindow w;
        QVERIFY(w.open());
        QCoreApplication::processEvents();
        CSkinHeaderCtrl* header = w.list->GetHeaderCtrl();
        QWidget* vp = header->viewport();
        PaintCounter counter;
        vp->installEventFilter(&counter);
        sendMouse(vp, QEvent::MouseButtonPress, QPoint(214, 13), Qt::LeftButton, Qt::LeftButton);
        int paints = counter.paints;
        // Pointer x while dragging the first column's right edge, and the width it must give.
        // A width outside 30..400 is refused: the column keeps the width it had.
        for (const auto& [x, width] :
             {std::pair{100, 101}, {10, 101}, {-40, 101}, {28, 101}, {29, 30}, {10, 30}, {399, 400}, {700, 400}}) {
            sendMouse(vp, QEvent::MouseMove, QPoint(x, 13), Qt::NoButton, Qt::LeftButton);
            QCOMPARE(header->sectionSize(0), width);
            QCOMPARE(counter.paints, ++paints);
        }
        // Another button, or a key held with the left button, is not a divider drag.
        sendMouse(vp, QEvent::MouseMove, QPoint(600, 13), Qt::NoButton, Qt::LeftButton | Qt::RightButton);
        sendMouse(vp, QEvent::MouseMove, QPoint(500, 13), Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(counter.paints, paints);
        vp->removeEventFilter(&counter);
        sendMouse(vp, QEvent::MouseButtonRelease, QPoint(500, 13), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(header->sectionSize(0), 400);
    }
};

QTEST_MAIN(TestSkinHeader)
#include "TestSkinHeader.moc"
