// A memory surface that collects a whole paint and copies it to its target in one step.
//
// The surface has the rectangle's size and is addressed in the target's own coordinates with no
// offset: a point (x, y) drawn into it lands on (x, y) of the target. For a rectangle at (0, 0)
// this is a plain double buffer; for one that starts elsewhere only the part of the rectangle
// that also lies within (0, 0)..(width, height) carries drawn pixels, the rest is left alone.
//
// Thread-safety: one instance per paint, used by one thread.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>

class CMemDC
{
public:
    // target must outlive this object and be active.
    CMemDC(const QRect& rect, QPainter* target);
    // Copies the rectangle from the surface to the target.
    ~CMemDC();

    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    QPainter* Painter() { return &m_painter; }
    QPainter* operator->() { return &m_painter; }
    const QImage& Image() const { return m_bitmap; }
    QRect Rect() const { return m_rect; }

private:
    QImage m_bitmap;
    QPainter m_painter;
    QPainter* m_target;
    QRect m_rect;
};
