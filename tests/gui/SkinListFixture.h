// Shared set-up of the skinned list tests: a dark window holding one list laid out as the main
// window lays out its device list, with synthetic bitmaps of distinct colours so that every
// drawn part can be told apart in a grab.
#pragma once

#include "CSkinHeaderCtrl.h"
#include "CSkinListCtrl.h"
#include "CSkinVerticleScrollbar.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPair>
#include <QWidget>

namespace skintest {

inline const QColor WindowColor(0, 90, 0);
inline const QColor DarkColor(59, 59, 59);
inline const QColor TextGrey(193, 193, 193);
inline const QColor Orange(255, 132, 0);
inline const QColor DividerColor(200, 0, 200);
inline const QColor HeaderBackColumn0(10, 20, 30);
inline const QColor HeaderBackColumn1(250, 250, 0);
inline const QColor BarBack(38, 38, 38);
inline const QColor ThumbColor(255, 0, 0);
inline const QColor TrackColor(0, 0, 255);
inline const QColor TrackDisabledColor(0, 0, 120);
inline const QColor UpColor(0, 255, 0);
inline const QColor UpDisabledColor(0, 120, 0);
inline const QColor DownColor(0, 255, 255);
inline const QColor DownDisabledColor(0, 120, 120);
inline const QColor TrackSecondRow(255, 255, 255);

inline QImage solid(int w, int h, const QColor& c)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

inline QImage grab(QWidget* w)
{
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QColor at(const QImage& img, int x, int y)
{
    return img.pixelColor(x, y);
}

inline bool near(const QColor& a, const QColor& b, int tolerance = 0)
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
    if (t < -0.05 || t > 1.05) {
        return false;
    }
    const auto lerp = [t](int a, int b) { return a + t * (b - a); };
    return qAbs(c.green() - lerp(back.green(), fore.green())) <= tolerance &&
           qAbs(c.blue() - lerp(back.blue(), fore.blue())) <= tolerance;
}

// Columns [first, last] of the white text pixels in a rectangle; (-1, -1) when there are none.
inline QPair<int, int> whiteExtent(const QImage& img, const QRect& r)
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
    explicit ListWindow(int listHeight = 133)
    {
        resize(498, 583);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, WindowColor);
        setPalette(pal);
        setAutoFillBackground(true);
        list = new CSkinListCtrl(this);
        list->setObjectName(QStringLiteral("deviceListView"));
        list->setGeometry(33, 119, 418, listHeight);
        list->GetHeaderCtrl()->SetSkinBitmaps(solid(7, 26, DividerColor), headerBackground());
        list->InitSkin();
        bar = list->GetVerticalBar();
        bar->SetSkinBitmap(211, solid(13, 26, ThumbColor));
        bar->SetSkinBitmap(212, trackBitmap(TrackColor));
        bar->SetSkinBitmap(213, trackBitmap(TrackDisabledColor));
        bar->SetSkinBitmap(214, solid(13, 12, UpColor));
        bar->SetSkinBitmap(215, solid(13, 12, UpDisabledColor));
        bar->SetSkinBitmap(216, solid(13, 12, DownColor));
        bar->SetSkinBitmap(217, solid(13, 12, DownDisabledColor));
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(16);
        list->setFont(font);
        list->InsertColumn(0, QStringLiteral("Name"), 215);
        list->InsertColumn(1, QStringLiteral("IP"), 215);
        list->SetTextColor(TextGrey);
    }

    void fill(int rows)
    {
        for (int i = 0; i < rows; ++i) {
            const int row = list->AppendRow(QStringLiteral("Device %1").arg(i));
            list->SetItemText(row, 1, QStringLiteral("192.168.1.%1").arg(i + 1));
        }
        // Let the delayed item layout run so that the scroll range is current.
        list->doItemsLayout();
    }

    CSkinListCtrl* list = nullptr;
    CSkinVerticleScrollbar* bar = nullptr;
    // Mouse presses that reached the window itself.
    int windowPresses = 0;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        ++windowPresses;
        QWidget::mousePressEvent(event);
    }

private:
    static QImage headerBackground()
    {
        QImage img(2, 26, QImage::Format_RGB32);
        for (int y = 0; y < 26; ++y) {
            img.setPixelColor(0, y, HeaderBackColumn0);
            img.setPixelColor(1, y, HeaderBackColumn1);
        }
        return img;
    }
    static QImage trackBitmap(const QColor& first)
    {
        QImage img(13, 2, QImage::Format_RGB32);
        img.fill(TrackSecondRow);
        for (int x = 0; x < 13; ++x) {
            img.setPixelColor(x, 0, first);
        }
        return img;
    }
};

} // namespace skintest
