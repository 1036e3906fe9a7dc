// The skinned list: row colours without any style highlight, the empty list, its place beside
// the bar, the memory surface, the click notification, row editing and accessibility.
#include "CMemDC.h"
#include "SkinListFixture.h"

#include <QAccessible>
#include <QProxyStyle>
#include <QScrollBar>
#include <QSignalSpy>

using namespace skintest;

namespace {

// A style that marks in red every place where it is asked to show selection, hover or focus,
// as a desktop theme with its own highlight would.
class LoudStyle : public QProxyStyle
{
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if ((element == PE_PanelItemViewRow || element == PE_PanelItemViewItem || element == PE_FrameFocusRect) &&
            (option->state & (State_Selected | State_MouseOver | State_HasFocus))) {
            painter->fillRect(option->rect, Qt::red);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        if (element == CE_ItemViewItem && (option->state & (State_Selected | State_MouseOver))) {
            painter->fillRect(option->rect, Qt::red);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

bool allDark(const QImage& img)
{
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixelColor(x, y) != DarkColor) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

class TestSkinList : public QObject
{
    Q_OBJECT

private slots:
    void selectedRowIsOrangeOnDarkWithoutHighlight_data();
    void selectedRowIsOrangeOnDarkWithoutHighlight();
    void emptyListIsDarkWithoutStalePixels();
    void barBesideListAndNoScrollBarsOfItsOwn();
    void memDcCopiesOnlyTheAddressedPart();
    void clickNotificationOnMouseNotKeyboard();
    void rowEditingAndAccessibility();
};

void TestSkinList::selectedRowIsOrangeOnDarkWithoutHighlight_data()
{
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("focused");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("loud"); // a style with its own highlight, and the pointer over row 3
    QTest::newRow("with focus") << 2 << true << true << false;
    QTest::newRow("without focus") << 2 << false << true << false;
    QTest::newRow("disabled list") << 2 << false << false << false;
    QTest::newRow("no selection") << -1 << true << true << false;
    QTest::newRow("loud style, hovered") << 2 << true << true << true;
}

void TestSkinList::selectedRowIsOrangeOnDarkWithoutHighlight()
{
    QFETCH(int, selected);
    QFETCH(bool, focused);
    QFETCH(bool, enabled);
    QFETCH(bool, loud);
    LoudStyle style;
    ListWindow w;
    if (loud) {
        w.list->setStyle(&style);
    }
    auto* other = new QWidget(&w);
    other->setFocusPolicy(Qt::StrongFocus);
    other->setGeometry(0, 0, 10, 10);
    w.fill(4);
    w.list->SetSelectedRow(selected);
    QVERIFY(w.showExposed());
    QApplication::setActiveWindow(&w);
    (focused ? static_cast<QWidget*>(w.list) : other)->setFocus();
    w.list->setEnabled(enabled);
    QWidget* vp = w.list->viewport();
    if (loud) {
        const QPoint over = w.list->visualItemRect(w.list->topLevelItem(3)).center();
        QTest::mouseMove(vp, over);
        QHoverEvent hover(QEvent::HoverMove, QPointF(over), vp->mapToGlobal(QPointF(over)), QPointF(over));
        QApplication::sendEvent(vp, &hover);
    }
    QCoreApplication::processEvents();
    const QImage img = grab(vp);
    for (int row = 0; row < 4; ++row) {
        const QRect r = w.list->visualItemRect(w.list->topLevelItem(row));
        QVERIFY(r.height() > 0);
        const QColor fore = row == selected ? Orange : TextGrey;
        int strong = 0;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = img.pixelColor(x, y);
                QVERIFY2(onBlend(c, DarkColor, fore),
                         qPrintable(QStringLiteral("row %1 (%2,%3): %4").arg(row).arg(x).arg(y).arg(c.name())));
                strong += near(c, fore, 12) ? 1 : 0;
            }
        }
        QVERIFY2(strong > 10, qPrintable(QStringLiteral("row %1 has no text").arg(row)));
    }
    // Painting leaves the selection as it was.
    QCOMPARE(w.list->GetSelectedRow(), selected);
    w.list->setStyle(nullptr);
}

void TestSkinList::emptyListIsDarkWithoutStalePixels()
{
    ListWindow w;
    QVERIFY(w.showExposed());
    QVERIFY(allDark(grab(w.list->viewport())));
    w.fill(5);
    w.list->SetSelectedRow(1);
    QVERIFY(!allDark(grab(w.list->viewport())));
    w.list->DeleteAllItems();
    QCoreApplication::processEvents();
    QVERIFY(allDark(grab(w.list->viewport())));
    // The window itself shows the list dark too, not just a fresh grab of the list.
    QVERIFY(allDark(grab(&w).copy(w.list->viewport()->geometry().translated(w.list->pos()))));
}

void TestSkinList::barBesideListAndNoScrollBarsOfItsOwn()
{
    ListWindow w;
    w.fill(40);
    QVERIFY(w.showExposed());
    QCOMPARE(w.bar->parentWidget(), static_cast<QWidget*>(&w));
    QCOMPARE(w.bar->OwnerList(), w.list);
    QCOMPARE(w.bar->geometry(), QRect(451, 119, 24, 132));
    QVERIFY(w.bar->isVisible());
    // Scrollable, and two 215-pixel columns wider than the list: still no bars of its own.
    QVERIFY(w.list->GetScrollLimit() > 0);
    QVERIFY(w.list->GetHeaderCtrl()->length() > w.list->viewport()->width());
    QVERIFY(!w.list->verticalScrollBar()->isVisible());
    QVERIFY(!w.list->horizontalScrollBar()->isVisible());
    QCOMPARE(w.list->viewport()->width(), 418);
    // A second InitSkin does not make a second bar, and the bar follows the list.
    w.list->InitSkin();
    QCOMPARE(w.findChildren<CSkinVerticleScrollbar*>().size(), 1);
    w.list->setGeometry(33, 362, 418, 133);
    QCOMPARE(w.bar->geometry(), QRect(451, 362, 24, 132));
    // A list without a parent gets no bar rather than a stray top-level window.
    CSkinListCtrl orphan;
    orphan.InitSkin();
    QVERIFY(orphan.GetVerticalBar() == nullptr);
    orphan.PositionScrollBars();
}

void TestSkinList::memDcCopiesOnlyTheAddressedPart()
{
    QImage target(40, 20, QImage::Format_RGB32);
    target.fill(Qt::white);
    {
        QPainter p(&target);
        CMemDC mem(QRect(0, 0, 40, 20), &p);
        mem->fillRect(QRect(0, 0, 40, 20), Qt::blue);
        mem->fillRect(QRect(5, 5, 2, 2), Qt::red);
        QCOMPARE(target.pixelColor(0, 0), QColor(Qt::white)); // nothing arrives before the end
    }
    QCOMPARE(target.pixelColor(5, 5), QColor(Qt::red));
    QCOMPARE(target.pixelColor(39, 19), QColor(Qt::blue));
    // A rectangle that starts at x = 7 is addressed in target coordinates: only its part
    // within the surface's own size (x < 24) arrives; the rest of the target is untouched.
    target.fill(Qt::white);
    {
        QPainter p(&target);
        CMemDC mem(QRect(7, 0, 24, 20), &p);
        mem->fillRect(QRect(0, 0, 40, 20), Qt::green);
    }
    for (int x = 0; x < 40; ++x) {
        QCOMPARE(target.pixelColor(x, 10), (x >= 7 && x < 24) ? QColor(Qt::green) : QColor(Qt::white));
    }
    // On a scaled target the surface has the target's density: a one-pixel line stays sharp.
    QImage dense(80, 40, QImage::Format_RGB32);
    dense.setDevicePixelRatio(2.0);
    dense.fill(Qt::white);
    {
        QPainter p(&dense);
        CMemDC mem(QRect(0, 0, 40, 20), &p);
        mem->fillRect(QRect(0, 0, 40, 20), Qt::blue);
        mem->fillRect(QRectF(10, 10, 0.5, 0.5), Qt::red);
    }
    QCOMPARE(dense.pixelColor(20, 20), QColor(Qt::red));
    QCOMPARE(dense.pixelColor(21, 21), QColor(Qt::blue));
    QCOMPARE(dense.pixelColor(79, 39), QColor(Qt::blue));
}

void TestSkinList::clickNotificationOnMouseNotKeyboard()
{
    ListWindow w;
    w.fill(3);
    QVERIFY(w.showExposed());
    QSignalSpy spy(w.list, &CSkinListCtrl::listClicked);
    QWidget* vp = w.list->viewport();
    const QPoint row0 = w.list->visualItemRect(w.list->topLevelItem(0)).center();
    const QPoint row1 = w.list->visualItemRect(w.list->topLevelItem(1)).center();
    // Again on the same row: the selection does not change, the notification still comes.
    QTest::mouseClick(vp, Qt::LeftButton, {}, row1);
    QTest::mouseClick(vp, Qt::LeftButton, {}, row1);
    QCOMPARE(spy.size(), 2);
    QCOMPARE(spy.at(0).at(0).toInt(), 1);
    QCOMPARE(w.list->GetSelectedRow(), 1);
    // Keyboard moves the selection without a notification; other buttons are not clicks.
    w.list->setFocus();
    QTest::keyClick(w.list, Qt::Key_Down);
    QCOMPARE(w.list->GetSelectedRow(), 2);
    QTest::keyClick(w.list, Qt::Key_Space);
    QTest::mouseClick(vp, Qt::RightButton, {}, row1);
    QTest::mouseClick(vp, Qt::MiddleButton, {}, row1);
    QCOMPARE(spy.size(), 2);
    // A double click is one click: its second press is no click of its own.
    sendMouse(vp, QEvent::MouseButtonPress, row0, Qt::LeftButton, Qt::LeftButton);
    sendMouse(vp, QEvent::MouseButtonRelease, row0, Qt::LeftButton, Qt::NoButton);
    sendMouse(vp, QEvent::MouseButtonDblClick, row0, Qt::LeftButton, Qt::LeftButton);
    sendMouse(vp, QEvent::MouseButtonRelease, row0, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(spy.size(), 3);
    QCOMPARE(spy.at(2).at(0).toInt(), 0);
    // Empty space below the rows: notified with no row, and no row stays selected.
    QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(100, vp->height() - 3));
    QCOMPARE(spy.size(), 4);
    QCOMPARE(spy.at(3).at(0).toInt(), -1);
    QCOMPARE(w.list->GetSelectedRow(), -1);
    // The list keeps its clicks, also on empty space and on the header.
    QTest::mouseClick(w.list->GetHeaderCtrl()->viewport(), Qt::LeftButton, {}, QPoint(100, 10));
    QCOMPARE(w.windowPresses, 0);
}

void TestSkinList::rowEditingAndAccessibility()
{
    ListWindow w;
    QCOMPARE(w.list->AppendRow(QStringLiteral("b")), 0);
    QCOMPARE(w.list->InsertItem(0, QStringLiteral("a")), 0);
    QCOMPARE(w.list->InsertItem(99, QStringLiteral("c")), 2);
    QVERIFY(w.list->SetItemText(1, 1, QStringLiteral("x")));
    QVERIFY(!w.list->SetItemText(3, 0, QStringLiteral("no row")));
    QVERIFY(!w.list->SetItemText(0, 2, QStringLiteral("no column")));
    QCOMPARE(w.list->GetItemText(3, 0), QString());
    // Rows keep the order they were added in; a click on the header does not sort them.
    QTest::mouseClick(w.list->GetHeaderCtrl()->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    QCOMPARE(w.list->GetItemText(0, 0), QStringLiteral("a"));
    QCOMPARE(w.list->GetItemText(2, 0), QStringLiteral("c"));
    w.list->setAccessibleName(QStringLiteral("Devices"));
    QVERIFY(w.showExposed());
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w.list);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Devices"));
    QAccessibleTableInterface* table = iface->tableInterface();
    QVERIFY(table != nullptr);
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(table->cellAt(1, 1)->text(QAccessible::Name), QStringLiteral("x"));
    // A column inserted in front moves the cells to the right.
    QCOMPARE(w.list->InsertColumn(0, QStringLiteral("First"), 50), 0);
    QCOMPARE(w.list->InsertColumn(9, QStringLiteral("Out"), 50), -1);
    QCOMPARE(w.list->GetItemText(1, 2), QStringLiteral("x"));
    QCOMPARE(w.list->GetItemText(1, 1), QStringLiteral("b"));
    QCOMPARE(w.list->headerItem()->text(1), QStringLiteral("Name"));
    w.list->SetSelectedRow(1);
    QCOMPARE(w.list->GetSelectedRow(), 1);
    w.list->SetSelectedRow(7);
    QCOMPARE(w.list->GetSelectedRow(), -1);
    w.list->DeleteAllItems();
    QCOMPARE(w.list->GetItemCount(), 0);
    QCOMPARE(w.list->columnCount(), 3);
    QCOMPARE(w.list->GetItemRowHeight(), 0);
}

QTEST_MAIN(TestSkinList)
#include "TestSkinList.moc"
