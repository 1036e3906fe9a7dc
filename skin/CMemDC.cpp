#include "CMemDC.h"

CMemDC::CMemDC(const QRect& rect, QPainter* target)
    : m_bitmap(rect.size().expandedTo(QSize(1, 1)), QImage::Format_RGB32)
    , m_target(target)
    , m_rect(rect)
{
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
    const QRect source = m_rect.intersected(m_bitmap.rect());
    if (!source.isEmpty()) {
        m_target->drawImage(source.topLeft(), m_bitmap, source);
    }
}
