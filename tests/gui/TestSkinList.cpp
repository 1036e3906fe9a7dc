// The skinned list and its header: header geometry and bitmaps, texts, the column width clamp,
// row colours, the empty list, the memory surface and the click notification.
#include "CMemDC.h"
#include "SkinListFixture.h"

#include <QAccessible>
#include <QProxyStyle>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

using namespace skintest;

namespace {

bool near(const QColor& a, const QColor& b, int tolerance = 0)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

// True when c lies (within tolerance) on the straight line from back to fore, as antialiased
// text of colour fore on background back does, and nowhere else.
bool onBlend(const QColor& c, const QColor& back, const QColor& fore, int tolerance = 8)
{
    const int span = fore.red() - back.red();
    const double t = span != 0 ? double(c.red() - back.red()) / span : 0.0;
    if (t < -0.05 || t > 1.05) {
        return false;
    }
    const auto lerp = [t](int a, int b) { return a + t * (b - a); };
    return qAbs(c.green() - lerp(back.green(), fore.green())) <= tolerance &&
           qAbs(c.blue() - lerp(back.blue(), fore.blue())) <= tolerance;
}

// Columns [first, last] of the white text pixels in a rectangle; (-1, -1) when there are none.
QPair<int, int> whiteExtent(const QImage& img, const QRect& r)
{
    int first = -1;
    int last = -1;
    for (int x = r.left(); x <= r.right(); ++x) {
        for (int y = r.top(); y <= r.bottom(); ++y) {
            if (img.pixelColor(x, y).red() > 200 && img.pixelColor(x, y).blue() > 200) {
                if (first < 0) {
                    first = x;
                }
                last = x;
                break;
            }
        }
    }
    return {first, last};
}

void sendMouse(QWidget* w, QEvent::Type type, const QPoint& pos, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QMouseEvent ev(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, mods);
    QApplication::sendEvent(w, &ev);
}

} // namespace

class TestSkinList : public QObject
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
    void selectedRowIsOrangeOnDarkWithoutHighlight_data();
    void selectedRowIsOrangeOnDarkWithoutHighlight();
    void noStyleHighlightEvenFromALoudStyle();
    void withoutSelectionNothingIsOrange();
    void emptyListIsDarkWithoutStalePixels();
    void listHasNoScrollBarsOfItsOwn();
    void initSkinPlacesBarBesideList();
    void memDcCopiesOnlyTheAddressedPart();
    void clickNotificationOnMouseNotKeyboard();
    void rowEditing();
    void accessibleAsATableOfRows();
};

void TestSkinList::headerIs26PixelsHigh()
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

void TestSkinList::headerWithoutColumnsShowsOnlyStretchedBackground()
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

void TestSkinList::headerDividersFollowColumnOrder_data()
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

void TestSkinList::headerDividersFollowColumnOrder()
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

void TestSkinList::headerTextIsWhiteAndInset()
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

void TestSkinList::headerTextIsCutWithEllipsis()
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

void TestSkinList::headerAmpersandIsDrawnLiterally()
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

void TestSkinList::columnWidthHeldBetween30And400()
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

namespace {
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

void TestSkinList::headerRepaintsAtOnceWhileLeftButtonDrags()
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

void TestSkinList::selectedRowIsOrangeOnDarkWithoutHighlight_data()
{
    QTest::addColumn<bool>("focused");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("with focus") << true << true;
    QTest::newRow("without focus") << false << true;
    QTest::newRow("disabled list") << false << false;
}

void TestSkinList::selectedRowIsOrangeOnDarkWithoutHighlight()
{
    QFETCH(bool, focused);
    QFETCH(bool, enabled);
    ListWindow w;
    auto* other = new QWidget(&w);
    other->setFocusPolicy(Qt::StrongFocus);
    other->setGeometry(0, 0, 10, 10);
    w.fill(4);
    w.list->SetSelectedRow(2);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QApplication::setActiveWindow(&w);
    if (focused) {
        w.list->setFocus();
    } else {
        other->setFocus();
    }
    w.list->setEnabled(enabled);
    QCoreApplication::processEvents();
    const QImage img = grab(w.list->viewport());
    for (int row = 0; row < 4; ++row) {
        const QRect r = w.list->visualItemRect(w.list->topLevelItem(row));
        QVERIFY(r.height() > 0);
        const QColor fore = row == 2 ? Orange : TextGrey;
        int strong = 0;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = at(img, x, y);
                QVERIFY2(onBlend(c, DarkColor, fore),
                         qPrintable(QStringLiteral("row %1 (%2,%3): %4").arg(row).arg(x).arg(y).arg(c.name())));
                if (near(c, fore, 12)) {
                    ++strong;
                }
            }
        }
        QVERIFY2(strong > 10, qPrintable(QStringLiteral("row %1 has no text").arg(row)));
    }
    // Painting leaves the selection as it was.
    QCOMPARE(w.list->GetSelectedRow(), 2);
}

namespace {
// A style that marks in red every place where it is asked to show selection, hover or focus,
// as a desktop theme with its own highlight would.
class LoudStyle : public QProxyStyle
{
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        const bool marked = option->state & (State_Selected | State_MouseOver | State_HasFocus);
        if ((element == PE_PanelItemViewRow || element == PE_PanelItemViewItem || element == PE_FrameFocusRect) &&
            marked) {
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
} // namespace

void TestSkinList::noStyleHighlightEvenFromALoudStyle()
{
    LoudStyle style;
    ListWindow w;
    w.list->setStyle(&style);
    w.fill(4);
    w.list->SetSelectedRow(1);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QApplication::setActiveWindow(&w);
    w.list->setFocus();
    // Hover over row 2.
    QWidget* vp = w.list->viewport();
    const QPoint over = w.list->visualItemRect(w.list->topLevelItem(2)).center();
    QTest::mouseMove(vp, over);
    QHoverEvent hover(QEvent::HoverMove, QPointF(over), vp->mapToGlobal(QPointF(over)), QPointF(over));
    QApplication::sendEvent(vp, &hover);
    const QImage img = grab(vp);
    int orange = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = at(img, x, y);
            QVERIFY2(c != QColor(Qt::red), qPrintable(QStringLiteral("highlight at (%1,%2)").arg(x).arg(y)));
            orange += near(c, Orange, 12) ? 1 : 0;
        }
    }
    QVERIFY(orange > 10);
    w.list->setStyle(nullptr);
}

void TestSkinList::withoutSelectionNothingIsOrange()
{
    ListWindow w;
    w.fill(3);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.list->setFocus();
    QCOMPARE(w.list->GetSelectedRow(), -1);
    const QImage img = grab(w.list->viewport());
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            QVERIFY(onBlend(at(img, x, y), DarkColor, TextGrey));
        }
    }
}

void TestSkinList::emptyListIsDarkWithoutStalePixels()
{
    ListWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const auto allDark = [](const QImage& img) {
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                if (at(img, x, y) != DarkColor) {
                    return false;
                }
            }
        }
        return true;
    };
    QVERIFY(allDark(grab(w.list->viewport())));
    w.fill(5);
    w.list->SetSelectedRow(1);
    QVERIFY(!allDark(grab(w.list->viewport())));
    w.list->DeleteAllItems();
    QCoreApplication::processEvents();
    QVERIFY(allDark(grab(w.list->viewport())));
    // The window itself shows the list dark too, not just a fresh grab of the list.
    const QImage window = grab(&w);
    const QRect rows = w.list->viewport()->geometry().translated(w.list->pos());
    QVERIFY(allDark(window.copy(rows)));
}

void TestSkinList::listHasNoScrollBarsOfItsOwn()
{
    ListWindow w;
    w.fill(40);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.list->GetScrollLimit() > 0);
    QVERIFY(!w.list->verticalScrollBar()->isVisible());
    QVERIFY(!w.list->horizontalScrollBar()->isVisible());
    // Two 215-pixel columns are wider than the list; still no horizontal bar.
    QVERIFY(w.list->GetHeaderCtrl()->length() > w.list->viewport()->width());
    QCOMPARE(w.list->viewport()->width(), 418);
}

void TestSkinList::initSkinPlacesBarBesideList()
{
    ListWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.bar != nullptr);
    QCOMPARE(w.bar->parentWidget(), static_cast<QWidget*>(&w));
    QCOMPARE(w.bar->OwnerList(), w.list);
    QCOMPARE(w.bar->geometry(), QRect(451, 119, 24, 132));
    QVERIFY(w.bar->isVisible());
    // A second InitSkin does not make a second bar.
    w.list->InitSkin();
    QCOMPARE(w.findChildren<CSkinVerticleScrollbar*>().size(), 1);
    // The bar follows the list.
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
        // Nothing reaches the target before the end.
        QCOMPARE(target.pixelColor(0, 0), QColor(Qt::white));
    }
    QCOMPARE(target.pixelColor(0, 0), QColor(Qt::blue));
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
        const QColor expected = (x >= 7 && x < 24) ? QColor(Qt::green) : QColor(Qt::white);
        QCOMPARE(target.pixelColor(x, 10), expected);
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
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QSignalSpy spy(w.list, &CSkinListCtrl::listClicked);
    QWidget* vp = w.list->viewport();
    const QPoint row1 = w.list->visualItemRect(w.list->topLevelItem(1)).center();

    QTest::mouseClick(vp, Qt::LeftButton, {}, row1);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 1);
    QCOMPARE(w.list->GetSelectedRow(), 1);

    // Again on the same row: the selection does not change, the notification still comes.
    QTest::mouseClick(vp, Qt::LeftButton, {}, row1);
    QCOMPARE(spy.size(), 2);

    // Keyboard moves the selection without a notification.
    w.list->setFocus();
    QTest::keyClick(w.list, Qt::Key_Down);
    QCOMPARE(w.list->GetSelectedRow(), 2);
    QTest::keyClick(w.list, Qt::Key_Up);
    QTest::keyClick(w.list, Qt::Key_Space);
    QCOMPARE(spy.size(), 2);

    // Other buttons are not clicks.
    QTest::mouseClick(vp, Qt::RightButton, {}, row1);
    QTest::mouseClick(vp, Qt::MiddleButton, {}, row1);
    QCOMPARE(spy.size(), 2);

    // A double click is one click: its second press is no click of its own.
    const QPoint row0 = w.list->visualItemRect(w.list->topLevelItem(0)).center();
    sendMouse(vp, QEvent::MouseButtonPress, row0, Qt::LeftButton, Qt::LeftButton);
    sendMouse(vp, QEvent::MouseButtonRelease, row0, Qt::LeftButton, Qt::NoButton);
    sendMouse(vp, QEvent::MouseButtonDblClick, row0, Qt::LeftButton, Qt::LeftButton);
    sendMouse(vp, QEvent::MouseButtonRelease, row0, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(spy.size(), 3);
    QCOMPARE(spy.at(2).at(0).toInt(), 0);
    QTest::mouseClick(vp, Qt::LeftButton, {}, row1);
    QCOMPARE(spy.size(), 4);

    // Empty space below the rows: notified with no row, and no row stays selected.
    QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(100, vp->height() - 3));
    QCOMPARE(spy.size(), 5);
    QCOMPARE(spy.at(4).at(0).toInt(), -1);
    QCOMPARE(w.list->GetSelectedRow(), -1);
    // The list keeps its clicks, also on empty space and on the header.
    QTest::mouseClick(w.list->GetHeaderCtrl()->viewport(), Qt::LeftButton, {}, QPoint(100, 10));
    QCOMPARE(w.windowPresses, 0);
}

void TestSkinList::rowEditing()
{
    ListWindow w;
    QCOMPARE(w.list->columnCount(), 2);
    QCOMPARE(w.list->AppendRow(QStringLiteral("b")), 0);
    QCOMPARE(w.list->InsertItem(0, QStringLiteral("a")), 0);
    QCOMPARE(w.list->InsertItem(99, QStringLiteral("c")), 2);
    QCOMPARE(w.list->GetItemCount(), 3);
    QCOMPARE(w.list->GetItemText(0, 0), QStringLiteral("a"));
    QCOMPARE(w.list->GetItemText(2, 0), QStringLiteral("c"));
    QVERIFY(w.list->SetItemText(1, 1, QStringLiteral("x")));
    QVERIFY(!w.list->SetItemText(3, 0, QStringLiteral("no row")));
    QVERIFY(!w.list->SetItemText(0, 2, QStringLiteral("no column")));
    QCOMPARE(w.list->GetItemText(3, 0), QString());
    QCOMPARE(w.list->GetItemText(1, 1), QStringLiteral("x"));
    // Rows keep the order they were added in; the list never sorts.
    w.list->headerItem()->setText(0, QStringLiteral("Name"));
    QTest::mouseClick(w.list->GetHeaderCtrl()->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    QCOMPARE(w.list->GetItemText(0, 0), QStringLiteral("a"));
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

void TestSkinList::accessibleAsATableOfRows()
{
    ListWindow w;
    w.list->setAccessibleName(QStringLiteral("Devices"));
    w.fill(3);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w.list);
    QVERIFY(iface != nullptr);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Devices"));
    QAccessibleTableInterface* table = iface->tableInterface();
    QVERIFY(table != nullptr);
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(table->columnCount(), 2);
    QAccessibleInterface* cell = table->cellAt(1, 1);
    QVERIFY(cell != nullptr);
    QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("192.168.1.2"));
}

QTEST_MAIN(TestSkinList)
#include "TestSkinList.moc"
