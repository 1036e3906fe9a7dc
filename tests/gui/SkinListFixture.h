// Shared set-up of the skinned list tests: one list placed as the main window places its device
// list, with synthetic bitmaps of distinct colours so that every drawn part shows in a grab.
#pragma once

#include "CSkinHeaderCtrl.h"
#include "CSkinListCtrl.h"
#include "CSkinVerticleScrollbar.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QtTest>

namespace skintest {

inline const QColor WindowColor(0, 90, 0), DarkColor(59, 59, 59), RowText(150, 200, 250), Orange(255, 132, 0);
inline const QColor DividerColor(200, 0, 200), HeaderBack(10, 20, 30), BarBack(38, 38, 38), ThumbColor(255, 0, 0);
inline const QColor TrackColor(0, 0, 255), TrackOff(0, 0, 120), UpColor(0, 255, 0), UpOff(0, 120, 0);
inline const QColor DownColor(0, 255, 255), DownOff(0, 120, 120);
inline const QColor Hidden(255, 255, 255); // bitmap parts beyond the first row or column: never shown

// w x h of colour c; with markRest, everything but the first row (13 wide) or column is Hidden.
inline QImage solid(int w, int h, const QColor& c, bool markRest = false)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    if (markRest) {
        QPainter(&img).fillRect(w == 13 ? QRect(0, 1, 13, h - 1) : QRect(1, 0, w - 1, h), Hidden);
    }
    return img;
}

inline QImage grab(QWidget* w)
{
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The runs of colour c down column x (or, for x < 0, along row y), as "first-last,...".
inline QString runsOf(const QImage& img, int x, const QColor& c, int y = -1)
{
    const int end = x >= 0 ? img.height() : img.width();
    QStringList runs;
    for (int i = 0; i < end; ++i) {
        const int first = i;
        while (i < end && img.pixelColor(x >= 0 ? x : i, x >= 0 ? i : y) == c) {
            ++i;
        }
        if (i > first) {
            runs << QStringLiteral("%1-%2").arg(first).arg(i - 1);
        }
    }
    return runs.join(QLatin1Char(','));
}

inline QString span(int first, int last)
{
    return QStringLiteral("%1-%2").arg(first).arg(last);
}

// Whether c lies on the line from back to fore, as antialiased text of fore on back does.
inline bool onBlend(const QColor& c, const QColor& back, const QColor& fore, int tolerance = 8)
{
    const double t = fore.red() != back.red() ? double(c.red() - back.red()) / (fore.red() - back.red()) : 0.0;
    const auto lerp = [t](int a, int b) { return a + t * (b - a); };
    return t >= -0.05 && t <= 1.05 && qAbs(c.green() - lerp(back.green(), fore.green())) <= tolerance &&
           qAbs(c.blue() - lerp(back.blue(), fore.blue())) <= tolerance;
}

inline void sendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons,
                      Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QMouseEvent ev(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, mods);
    QApplication::sendEvent(w, &ev);
}

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
        int id = 211;
        for (const QImage& image :
             {solid(13, 26, ThumbColor), solid(13, 2, TrackColor, true), solid(13, 2, TrackOff, true),
              solid(13, 12, UpColor), solid(13, 12, UpOff), solid(13, 12, DownColor), solid(13, 12, DownOff)}) {
            bar->SetSkinBitmap(id++, image);
        }
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(16);
        list->setFont(font);
        for (int i = 0; i < widths.size(); ++i) {
            list->InsertColumn(i, i == 0 ? QStringLiteral("Name") : QStringLiteral("IP"), widths[i]);
        }
        list->SetTextColor(RowText);
    }

    // Fills rows and shows the window; false when it never got exposed.
    bool open(int rows = 0)
    {
        for (int i = 0; i < rows; ++i) {
            list->SetItemText(list->AppendRow(QStringLiteral("Device %1").arg(i)), 1,
                              QStringLiteral("10.0.0.%1").arg(i));
        }
        list->doItemsLayout(); // the delayed layout brings the scroll range up to date
        show();
        return QTest::qWaitForWindowExposed(this);
    }
    int page() const { return list->viewport()->height() / list->GetItemRowHeight(); }

    CSkinListCtrl* list = nullptr;
    CSkinVerticleScrollbar* bar = nullptr;
    int windowPresses = 0; // presses that reached the window behind the controls

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        ++windowPresses;
        QWidget::mousePressEvent(event);
    }
};

} // namespace skintest
