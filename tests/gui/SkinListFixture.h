// Shared set-up of the skinned list tests: a window holding one list laid out as the main
// window lays out its device list, with synthetic bitmaps of distinct colours so that every
// drawn part can be told apart in a grab.
#pragma once

#include "CSkinHeaderCtrl.h"
#include "CSkinListCtrl.h"
#include "CSkinVerticleScrollbar.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QtTest>

namespace skintest {

inline const QColor WindowColor(0, 90, 0);
inline const QColor DarkColor(59, 59, 59);
inline const QColor TextGrey(193, 193, 193);
inline const QColor Orange(255, 132, 0);
inline const QColor DividerColor(200, 0, 200);
inline const QColor HeaderBack(10, 20, 30); // first column of the header bitmap
inline const QColor BarBack(38, 38, 38);
inline const QColor ThumbColor(255, 0, 0);
inline const QColor TrackColor(0, 0, 255);
inline const QColor TrackDisabledColor(0, 0, 120);
inline const QColor UpColor(0, 255, 0);
inline const QColor UpDisabledColor(0, 120, 0);
inline const QColor DownColor(0, 255, 255);
inline const QColor DownDisabledColor(0, 120, 120);
inline const QColor SecondColumnOrRow(255, 255, 255); // parts of bitmaps that must never show

// w x h of colour c, with its second column (or, when one column wide, row) set apart.
inline QImage solid(int w, int h, const QColor& c, bool markSecond = false)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    if (markSecond) {
        QPainter(&img).fillRect(w == 13 ? QRect(0, 1, 13, h - 1) : QRect(1, 0, w - 1, h), SecondColumnOrRow);
    }
    return img;
}

inline QImage grab(QWidget* w)
{
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline bool near(const QColor& a, const QColor& b, int tolerance)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

// True when c lies (within tolerance) on the straight line from back to fore, as antialiased
// text of colour fore on background back does, and nowhere else.
inline bool onBlend(const QColor& c, const QColor& back, const QColor& fore, int tolerance = 8)
{
    const int span = fore.red() - back.red();
    const double t = span != 0 ? double(c.red() - back.red()) / span : 0.0;
    const auto lerp = [t](int a, int b) { return a + t * (b - a); };
    return t >= -0.05 && t <= 1.05 && qAbs(c.green() - lerp(back.green(), fore.green())) <= tolerance &&
           qAbs(c.blue() - lerp(back.blue(), fore.blue())) <= tolerance;
}

inline void sendMouse(QWidget* w, QEvent::Type type, const QPoint& pos, Qt::MouseButton button,
                      Qt::MouseButtons buttons, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QMouseEvent ev(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, mods);
    QApplication::sendEvent(w, &ev);
}

// A window with one list at the device list's place, skinned and configured as its owner does.
class ListWindow : public QWidget
{
public:
    explicit ListWindow(int listHeight = 133, const QList<int>& widths = {215, 215})
    {
        resize(498, 583);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, WindowColor);
        setPalette(pal);
        setAutoFillBackground(true);
        list = new CSkinListCtrl(this);
        list->setGeometry(33, 119, 418, listHeight);
        list->GetHeaderCtrl()->SetSkinBitmaps(solid(7, 26, DividerColor), solid(2, 26, HeaderBack, true));
        list->InitSkin();
        bar = list->GetVerticalBar();
        const std::pair<int, QImage> bitmaps[] = {{211, solid(13, 26, ThumbColor)},
                                                  {212, solid(13, 2, TrackColor, true)},
                                                  {213, solid(13, 2, TrackDisabledColor, true)},
                                                  {214, solid(13, 12, UpColor)},
                                                  {215, solid(13, 12, UpDisabledColor)},
                                                  {216, solid(13, 12, DownColor)},
                                                  {217, solid(13, 12, DownDisabledColor)}};
        for (const auto& [id, image] : bitmaps) {
            bar->SetSkinBitmap(id, image);
        }
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(16);
        list->setFont(font);
        for (int i = 0; i < widths.size(); ++i) {
            list->InsertColumn(i, i == 0 ? QStringLiteral("Name") : QStringLiteral("IP"), widths[i]);
        }
        list->SetTextColor(TextGrey);
    }

    void fill(int rows)
    {
        for (int i = 0; i < rows; ++i) {
            list->SetItemText(list->AppendRow(QStringLiteral("Device %1").arg(i)), 1,
                              QStringLiteral("192.168.1.%1").arg(i + 1));
        }
        // Let the delayed item layout run so that the scroll range is current.
        list->doItemsLayout();
    }

    bool showExposed()
    {
        show();
        return QTest::qWaitForWindowExposed(this);
    }

    CSkinListCtrl* list = nullptr;
    CSkinVerticleScrollbar* bar = nullptr;
    int windowPresses = 0; // mouse presses that reached the window itself

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        ++windowPresses;
        QWidget::mousePressEvent(event);
    }
};

} // namespace skintest
