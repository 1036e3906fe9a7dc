// Shared set-up of the skinned list tests: a dark window holding one list laid out as the main
// window lays out its device list, with synthetic bitmaps of distinct colours so that every
// drawn part can be told apart in a grab.
#pragma once

#include "CSkinHeaderCtrl.h"
#include "CSkinListCtrl.h"
#include "CSkinVerticleScrollbar.h"

#include <QImage>
#include <QMouseEvent>
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
