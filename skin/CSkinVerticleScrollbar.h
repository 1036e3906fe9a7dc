// The bitmap-drawn vertical scroll bar of CSkinListCtrl: a separate 24-pixel widget beside the
// list (a child of the list's parent) that scrolls its owner list with line and page requests
// and a thumb dragged in whole rows. Only columns 7..23 are painted.
//
// Thread-safety: a widget; UI thread only.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

class CSkinListCtrl;

class CSkinVerticleScrollbar : public QWidget
{
    Q_OBJECT

public:
    static constexpr int BarWidth = 24;
    static constexpr int ThumbMin = 38;    // top of the track
    static constexpr int ThumbHeight = 26; // bitmap 211
    static constexpr int ArrowHeight = 12; // bitmaps 214..217
    static constexpr int PaintLeft = 7;    // columns left of this stay unpainted
    static constexpr int BitmapLeft = 8;   // x of arrows, track and thumb
    static constexpr int BitmapWidth = 13;
    static constexpr int HeaderGap = 26;     // the list header's height, left plain
    static constexpr int StartDelayMs = 250; // timer 2: from the press to the first repeat tick
    static constexpr int RepeatMs = 50;      // timer 1: one line per tick while an arrow is held

    explicit CSkinVerticleScrollbar(QWidget* parent = nullptr);

    void SetOwnerList(CSkinListCtrl* list) { m_list = list; }
    CSkinListCtrl* OwnerList() const { return m_list; }

    // Replaces one of the bar's bitmaps (211..217) loaded at construction; other ids are ignored.
    void SetSkinBitmap(int id, const QImage& image);

    // Recomputes the thumb from the owner list's position and limit and redraws the bar.
    void UpdateThumbPosition();
    // Draws the whole bar at once onto target (through a memory surface).
    void DrawBar(QPainter* target);

    int ThumbPosition() const { return m_thumbPosition; }
    double Ratio() const { return m_ratio; }
    // True when the owner list can scroll (its limit is not 0).
    bool IsBarEnabled() const;
    bool UpArrowPressed() const { return m_upArrowPressed; }
    bool DownArrowPressed() const { return m_downArrowPressed; }
    bool ThumbGrabbed() const { return m_thumbGrabbed; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool OnUpArrow(const QPoint& pos) const;
    bool OnDownArrow(const QPoint& pos) const;
    bool OnThumb(const QPoint& pos) const;
    void ClampThumb();
    void OnStartDelay();
    void OnRepeat();
    void SendLine(int code);

    CSkinListCtrl* m_list = nullptr;
    bool m_upArrowPressed = false;
    bool m_downArrowPressed = false;
    bool m_thumbGrabbed = false;
    int m_thumbPosition = ThumbMin;
    double m_ratio = 0.0;

    QTimer m_repeatTimer{this};     // timer 1
    QTimer m_startDelayTimer{this}; // timer 2
    QImage m_thumb, m_track, m_trackDisabled, m_up, m_upDisabled, m_down, m_downDisabled;
};
