// The skinned list: row colours without any style highlight, the empty list, its place beside
// the bar, the memory surface and the click notification.
#include "CMemDC.h"
#include "SkinListFixture.h"

#include <QProxyStyle>
#include <QScrollBar>
#include <QSignalSpy>

using namespace skintest;

namespace {

// Paints red wherever it is asked to show selection, hover or focus, as a theme with its own
// highlight would.
class LoudStyle : public QProxyStyle
{
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        if (element == CE_ItemViewItem && (option->state & (State_Selected | State_MouseOver | State_HasFocus))) {
            painter->fillRect(option->rect, Qt::red);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

bool allDark(const QImage& img)
{
    QImage dark(img.size(), QImage::Format_RGB32);
    dark.fill(DarkColor);
    return img == dark;
}

} // namespace

class TestSkinList : public QObject
{
    Q_OBJECT

private slots:
    void selectedRowIsOrangeOnDarkWithoutHighlight_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("focused");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("with focus") << 2 << true << true;
        QTest::newRow("without focus") << 2 << false << true;
        QTest::newRow("disabled list") << 2 << false << false;
        QTest::newRow("no selection") << -1 << true << true;
    }

    void selectedRowIsOrangeOnDarkWithoutHighlight()
    {
        QFETCH(int, selected);
        QFETCH(bool, focused);
        QFETCH(bool, enabled);
        LoudStyle style;
        ListWindow w;
        w.list->setStyle(&style);
        QVERIFY(w.open(4));
        w.list->SetSelectedRow(selected);
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        (focused ? static_cast<QWidget*>(w.list) : &w)->setFocus();
        w.list->setEnabled(enabled);
        // The pointer rests over row 3.
        QWidget* vp = w.list->viewport();
        const QPoint over = w.list->visualItemRect(w.list->topLevelItem(3)).center();
        QTest::mouseMove(vp, over);
        QHoverEvent hover(QEvent::HoverMove, QPointF(over), vp->mapToGlobal(QPointF(over)), QPointF(over));
        QApplication::sendEvent(vp, &hover);
        const QImage img = grab(vp);
        for (int row = 0; row < 4; ++row) {
            const QRect r = w.list->visualItemRect(w.list->topLevelItem(row));
            const QColor fore = row == selected ? Orange : RowText;
            int strong = 0;
            for (int y = r.top(); y <= r.bottom(); ++y) {
                for (int x = 0; x < img.width(); ++x) {
                    const QColor c = img.pixelColor(x, y);
                    QVERIFY2(onBlend(c, DarkColor, fore),
                             qPrintable(QStringLiteral("row %1: %2").arg(row).arg(c.name())));
                    strong += qAbs(c.red() - fore.red()) + qAbs(c.green() - fore.green()) < 20 ? 1 : 0;
                }
            }
            QVERIFY2(strong > 10, qPrintable(QStringLiteral("row %1 has no text").arg(row)));
        }
        QCOMPARE(w.list->GetSelectedRow(), selected); // painting leaves the selection as it was
        w.list->setStyle(nullptr);
    }

    void barBesideListNoScrollBarsOfItsOwnAndDarkWhenEmptied()
    {
        ListWindow w;
        QVERIFY(w.open(40));
        QCOMPARE(w.bar->parentWidget(), static_cast<QWidget*>(&w));
        QCOMPARE(w.bar->geometry(), QRect(451, 119, 24, 132));
        QVERIFY(w.bar->isVisible());
        // Scrollable, and two 215-pixel columns wider than the list: still no bars of its own.
        QVERIFY(w.list->GetScrollLimit() > 0);
        QVERIFY(!w.list->verticalScrollBar()->isVisible() && !w.list->horizontalScrollBar()->isVisible());
        QCOMPARE(w.list->viewport()->width(), 418);
        w.list->setGeometry(33, 362, 418, 133);
        QCOMPARE(w.bar->geometry(), QRect(451, 362, 24, 132)); // it follows the list
        // Emptied, the list shows only its dark background: no stale rows, also in the window.
        w.list->SetSelectedRow(1);
        QVERIFY(!allDark(grab(w.list->viewport())));
        w.list->DeleteAllItems();
        QCoreApplication::processEvents();
        QVERIFY(allDark(grab(&w).copy(w.list->viewport()->geometry().translated(w.list->pos()))));
    }

    // The list has no horizontal bar: nothing scrolls it sideways, neither a drag near its edge,
    // nor keys, nor making a cell of the cut-off column current.
    void neverScrollsSideways()
    {
        ListWindow w;
        QVERIFY(w.open(3));
        QWidget* vp = w.list->viewport();
        QVERIFY(w.list->header()->length() > vp->width()); // the columns are wider than the list
        sendMouse(vp, QEvent::MouseButtonPress, QPoint(400, 2), Qt::LeftButton, Qt::LeftButton);
        for (int x : {410, 416, 417, 440}) {
            sendMouse(vp, QEvent::MouseMove, QPoint(x, 2), Qt::NoButton, Qt::LeftButton);
            QTest::qWait(80); // long enough for the view's edge auto-scroll to tick
        }
        sendMouse(vp, QEvent::MouseButtonRelease, QPoint(440, 2), Qt::LeftButton, Qt::NoButton);
        w.list->setFocus();
        QTest::keyClick(w.list, Qt::Key_Right);
        QTest::keyClick(w.list, Qt::Key_End);
        w.list->scrollTo(w.list->model()->index(0, 1));
        QCoreApplication::processEvents();
        QCOMPARE(w.list->horizontalScrollBar()->value(), 0);
        QCOMPARE(w.list->GetHeaderCtrl()->offset(), 0);
    }

    // A column cut by the list's right edge ends in an ellipsis like any cell too narrow for its
    // text, not in a clipped glyph that reads as another address.
    void cellCutByTheRightEdgeEndsInEllipsis()
    {
        ListWindow w;
        QVERIFY(w.open());
        w.list->SetItemText(w.list->AppendRow(QStringLiteral("Backup")), 1, QStringLiteral("10.88.0.101"));
        QVERIFY(w.list->SetColumnWidth(0, 360)); // 58 pixels of the IP column stay in view
        QCoreApplication::processEvents();
        const QImage img = grab(w.list->viewport());
        const int rowHeight = w.list->GetItemRowHeight();
        QRect ink;
        for (int y = 0; y < rowHeight; ++y) {
            for (int x = 360; x < img.width(); ++x) {
                ink |= onBlend(img.pixelColor(x, y), DarkColor, RowText) && img.pixelColor(x, y) != DarkColor
                           ? QRect(x, y, 1, 1)
                           : QRect();
            }
        }
        QVERIFY(!ink.isEmpty());
        QVERIFY2(ink.right() < img.width() - 1, "the text runs into the edge");
        // The last glyph is the ellipsis: dots on the baseline, nothing in the upper half.
        for (int y = ink.top(); y < ink.top() + ink.height() / 2; ++y) {
            QVERIFY2(img.pixelColor(ink.right(), y) == DarkColor, qPrintable(QStringLiteral("y=%1").arg(y)));
        }
    }

    void memDcCopiesAtTheEndAtTheTargetsDensity()
    {
        QImage target(80, 40, QImage::Format_RGB32);
        target.setDevicePixelRatio(2.0);
        target.fill(Qt::white);
        {
            QPainter p(&target);
            CMemDC mem(QRect(0, 0, 40, 20), &p);
            mem->fillRect(QRect(0, 0, 40, 20), Qt::blue);
            mem->fillRect(QRectF(10, 10, 0.5, 0.5), Qt::red);
            QCOMPARE(target.pixelColor(0, 0), QColor(Qt::white)); // nothing arrives before the end
        }
        // A half-unit square stays sharp on a scaled target.
        QCOMPARE(target.pixelColor(20, 20), QColor(Qt::red));
        QCOMPARE(target.pixelColor(21, 21), QColor(Qt::blue));
        QCOMPARE(target.pixelColor(79, 39), QColor(Qt::blue));
    }

    void clickNotificationOnMouseNotKeyboard()
    {
        ListWindow w;
        QVERIFY(w.open(3));
        QSignalSpy spy(w.list, &CSkinListCtrl::listClicked);
        QWidget* vp = w.list->viewport();
        const QPoint row1 = w.list->visualItemRect(w.list->topLevelItem(1)).center();
        // Again on the same row: the selection does not change, the notification still comes.
        QTest::mouseClick(vp, Qt::LeftButton, {}, row1);
        QTest::mouseClick(vp, Qt::LeftButton, {}, row1);
        QCOMPARE(spy.size(), 2);
        QCOMPARE(spy.at(0).at(0).toInt(), 1);
        // Keys move the selection without a notification; other buttons are no clicks.
        w.list->setFocus();
        QTest::keyClick(w.list, Qt::Key_Down);
        QCOMPARE(w.list->GetSelectedRow(), 2);
        QTest::mouseClick(vp, Qt::RightButton, {}, row1);
        // Empty space below the rows: notified with no row, and no row stays selected.
        QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(100, vp->height() - 3));
        QCOMPARE(spy.size(), 3);
        QCOMPARE(spy.at(2).at(0).toInt(), -1);
        QCOMPARE(w.list->GetSelectedRow(), -1);
        // The list keeps its clicks, also on the header, where they sort the rows neither way.
        for (int i = 0; i < 2; ++i) {
            QTest::mouseClick(w.list->GetHeaderCtrl()->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
            QCOMPARE(w.list->GetItemText(0, 0), QStringLiteral("Device 0"));
        }
        QCOMPARE(w.windowPresses, 0);
    }
};

QTEST_MAIN(TestSkinList)
#include "TestSkinList.moc"
