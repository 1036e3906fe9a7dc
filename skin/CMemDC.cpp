#include "CMemDC.h"

#include <QPaintDevice>

namespace {
qreal TargetRatio(const QPainter* target)
{
    return target != nullptr && target->device() != nullptr ? target->device()->devicePixelRatioF() : 1.0;
}
} // namespace

CMemDC::CMemDC(const QRect& rect, QPainter* target)
    : m_target(target)
    , m_rect(rect)
{
    // Same pixel density as the target, so that a scaled screen gets a sharp copy.
    const qreal ratio = TargetRatio(target);
    m_bitmap = QImage((QSizeF(rect.size().expandedTo(QSize(1, 1))) * ratio).toSize(), QImage::Format_RGB32);
    m_bitmap.setDevicePixelRatio(ratio);
    // A fresh compatible bitmap is black; keep that so undrawn pixels are never garbage.
    m_bitmap.fill(Qt::black);
    m_painter.begin(&m_bitmap);
}

CMemDC::~CMemDC()
{
    m_painter.end();
    if (m_target == nullptr || m_rect.isEmpty()) {
        return;
    }
    // Source and destination share the same coordinates; whatever of the source rectangle falls
    // outside the surface is not copied.
    const QRect source = m_rect.intersected(QRect(QPoint(0, 0), m_rect.size()));
    if (source.isEmpty()) {
        return;
    }
    const qreal ratio = m_bitmap.devicePixelRatio();
    const QRectF pixels(QPointF(source.topLeft()) * ratio, QSizeF(source.size()) * ratio);
    m_target->drawImage(QRectF(source), m_bitmap, pixels);
}
