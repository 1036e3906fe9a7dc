#include "CSkinVerticleScrollbar.h"

#include "CMemDC.h"
#include "CSkinListCtrl.h"
#include "Resources.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace {
constexpr int ThumbBitmap = 211;
constexpr int TrackBitmap = 212;
constexpr int TrackDisabledBitmap = 213;
constexpr int UpBitmap = 214;
constexpr int UpDisabledBitmap = 215;
constexpr int DownBitmap = 216;
constexpr int DownDisabledBitmap = 217;
// Track top plus the down arrow and the space kept clear below the track.
constexpr int TrackInset = 50;
// Thumb travel used for the displayed position: the track less the thumb and both margins.
constexpr int ThumbTravelInset = 76;
// Offset of the pointer inside the grabbed thumb, and of the track start in drag arithmetic.
constexpr int GrabOffset = 13;
constexpr int DragTrackTop = 40;
const QColor BarBackColor(38, 38, 38);
} // namespace

CSkinVerticleScrollbar::CSkinVerticleScrollbar(QWidget* parent)
    : QWidget(parent)
    , m_thumb(qvres::SkinBitmap(ThumbBitmap))
    , m_track(qvres::SkinBitmap(TrackBitmap))
    , m_trackDisabled(qvres::SkinBitmap(TrackDisabledBitmap))
    , m_up(qvres::SkinBitmap(UpBitmap))
    , m_upDisabled(qvres::SkinBitmap(UpDisabledBitmap))
    , m_down(qvres::SkinBitmap(DownBitmap))
    , m_downDisabled(qvres::SkinBitmap(DownDisabledBitmap))
{
    m_repeatTimer.setObjectName(QStringLiteral("repeatTimer"));
    m_repeatTimer.setInterval(RepeatMs);
    m_repeatTimer.setTimerType(Qt::PreciseTimer);
    m_startDelayTimer.setObjectName(QStringLiteral("startDelayTimer"));
    m_startDelayTimer.setInterval(StartDelayMs);
    m_startDelayTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_repeatTimer, &QTimer::timeout, this, &CSkinVerticleScrollbar::OnRepeat);
    connect(&m_startDelayTimer, &QTimer::timeout, this, &CSkinVerticleScrollbar::OnStartDelay);
    // The bar is a plain control beside the list, not in the keyboard focus chain.
    setFocusPolicy(Qt::NoFocus);
}

void CSkinVerticleScrollbar::SetSkinBitmap(int id, const QImage& image)
{
    QImage* const targets[] = {&m_thumb, &m_track, &m_trackDisabled, &m_up, &m_upDisabled, &m_down, &m_downDisabled};
    if (id < ThumbBitmap || id > DownDisabledBitmap) {
        return;
    }
    *targets[id - ThumbBitmap] = image;
    update();
}

bool CSkinVerticleScrollbar::IsBarEnabled() const
{
    return m_list != nullptr && m_list->GetScrollLimit() != 0;
}

void CSkinVerticleScrollbar::ClampThumb()
{
    const int h = height();
    if (m_thumbPosition + ThumbHeight > h) {
        m_thumbPosition = h - ThumbMin;
    }
    if (m_thumbPosition < ThumbMin) {
        m_thumbPosition = ThumbMin;
    }
}

void CSkinVerticleScrollbar::UpdateThumbPosition()
{
    if (m_thumbGrabbed) {
        // While dragged the thumb stays under the pointer; it snaps to the list on release.
        update();
        return;
    }
    const int limit = m_list != nullptr ? m_list->GetScrollLimit() : 0;
    if (limit == 0) {
        // Nothing to scroll: the thumb rests at the top, undrawn and ungrabbable.
        m_thumbPosition = ThumbMin;
    } else {
        m_ratio = static_cast<double>(height() - ThumbTravelInset) / limit;
        m_thumbPosition = static_cast<int>(m_ratio * m_list->GetScrollPos()) + ThumbMin;
        ClampThumb();
    }
    update();
}

void CSkinVerticleScrollbar::DrawBar(QPainter* target)
{
    const int h = height();
    QRect client = rect();
    client.moveLeft(PaintLeft);
    CMemDC mem(client, target);
    mem->fillRect(client, BarBackColor);
    const bool enabled = IsBarEnabled();
    const QImage& track = enabled ? m_track : m_trackDisabled;
    if (!track.isNull() && h - TrackInset > 0) {
        mem->drawImage(QRect(BitmapLeft, ThumbMin, BitmapWidth, h - TrackInset), track, QRect(0, 0, track.width(), 1));
    }
    mem->drawImage(QPoint(BitmapLeft, HeaderGap), enabled ? m_up : m_upDisabled);
    mem->drawImage(QPoint(BitmapLeft, h - ArrowHeight), enabled ? m_down : m_downDisabled);
    if (enabled) {
        mem->drawImage(QPoint(BitmapLeft, m_thumbPosition), m_thumb);
    }
}

void CSkinVerticleScrollbar::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    DrawBar(&painter);
}

bool CSkinVerticleScrollbar::OnUpArrow(const QPoint& pos) const
{
    return pos.x() >= BitmapLeft && pos.x() < BitmapLeft + BitmapWidth && pos.y() >= HeaderGap &&
           pos.y() < HeaderGap + ArrowHeight;
}

bool CSkinVerticleScrollbar::OnDownArrow(const QPoint& pos) const
{
    const int h = height();
    return pos.x() >= BitmapLeft && pos.x() < BitmapLeft + BitmapWidth && pos.y() >= h - ArrowHeight && pos.y() < h;
}

bool CSkinVerticleScrollbar::OnThumb(const QPoint& pos) const
{
    return pos.x() >= BitmapLeft && pos.x() < BitmapLeft + BitmapWidth && pos.y() >= m_thumbPosition &&
           pos.y() < m_thumbPosition + ThumbHeight;
}

void CSkinVerticleScrollbar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_list != nullptr) {
        const QPoint pos = event->position().toPoint();
        if (OnThumb(pos) && IsBarEnabled()) {
            m_thumbGrabbed = true;
        }
        if (OnDownArrow(pos)) {
            m_downArrowPressed = true;
            m_startDelayTimer.start();
        }
        if (OnUpArrow(pos)) {
            m_upArrowPressed = true;
            m_startDelayTimer.start();
        }
    }
    // The bar is a control of its own: presses on it never reach the window behind it (which
    // would take them for a drag of the window).
    event->accept();
}

void CSkinVerticleScrollbar::OnStartDelay()
{
    if (m_upArrowPressed || m_downArrowPressed) {
        m_startDelayTimer.stop();
        m_repeatTimer.start();
    }
}

void CSkinVerticleScrollbar::SendLine(int code)
{
    m_list->SendVScroll(code);
    UpdateThumbPosition();
}

void CSkinVerticleScrollbar::OnRepeat()
{
    if (m_list == nullptr) {
        return;
    }
    if (m_downArrowPressed) {
        SendLine(CSkinListCtrl::LineDown);
    }
    if (m_upArrowPressed) {
        SendLine(CSkinListCtrl::LineUp);
    }
}

void CSkinVerticleScrollbar::mouseMoveEvent(QMouseEvent* event)
{
    if (m_thumbGrabbed && m_list != nullptr) {
        const int limit = m_list->GetScrollLimit();
        if (limit != 0) {
            const int y = qRound(event->position().y());
            m_thumbPosition = y - GrabOffset;
            m_ratio = static_cast<double>(height() - TrackInset) / limit;
            // A bar too short for a drag track (ratio 0 or below) has no place that stands for
            // a row: the thumb is clamped as the display places it and nothing scrolls.
            if (m_ratio > 0) {
                const int rowHeight = m_list->GetItemRowHeight();
                const double row = std::clamp((m_thumbPosition - DragTrackTop) / m_ratio, 0.0, double(limit));
                m_list->Scroll(rowHeight * (static_cast<int>(row) - m_list->GetScrollPos()));
            }
            ClampThumb();
            update();
        }
    }
    event->accept();
}

void CSkinVerticleScrollbar::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton || m_list == nullptr) {
        return;
    }
    const QPoint pos = event->position().toPoint();
    const bool wasGrabbed = m_thumbGrabbed;
    m_thumbGrabbed = false;
    UpdateThumbPosition();
    m_repeatTimer.stop();
    // The start delay only matters while an arrow is held; a pending tick would find nothing.
    m_startDelayTimer.stop();
    bool arrowActed = false;
    if (m_upArrowPressed && OnUpArrow(pos)) {
        SendLine(CSkinListCtrl::LineUp);
        arrowActed = true;
    }
    if (m_downArrowPressed && OnDownArrow(pos)) {
        SendLine(CSkinListCtrl::LineDown);
        arrowActed = true;
    }
    if (!arrowActed && !OnThumb(pos) && !wasGrabbed) {
        m_list->SendVScroll(m_thumbPosition < pos.y() ? CSkinListCtrl::PageDown : CSkinListCtrl::PageUp);
        UpdateThumbPosition();
    }
    m_upArrowPressed = false;
    m_downArrowPressed = false;
}
