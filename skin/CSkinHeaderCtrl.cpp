#include "CSkinHeaderCtrl.h"

#include "CMemDC.h"
#include "Resources.h"
#include "SkinFont.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>

namespace {
constexpr int DividerBitmap = 201;
constexpr int BackgroundBitmap = 203;
constexpr int DividerHalfWidth = 3;
const QColor HeaderBackColor(59, 59, 59);
const QColor HeaderTextColor(255, 255, 255);
} // namespace

CSkinHeaderCtrl::CSkinHeaderCtrl(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent)
    , m_divider(qvres::SkinBitmap(DividerBitmap))
    , m_background(qvres::SkinBitmap(BackgroundBitmap))
{
    // Widths are checked and refused here, never clamped: the view's own limits stay out of it.
    setMinimumSectionSize(0);
    setFixedHeight(HeaderHeight);
    setSectionsClickable(false);
    setHighlightSections(false);
    setStretchLastSection(false);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Everything is painted over the whole header each time; nothing needs erasing first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
}

QFont CSkinHeaderCtrl::HeaderFont()
{
    QFont font = CellHeightFont(QStringLiteral("Arial"), FontPixelHeight);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

bool CSkinHeaderCtrl::SetSectionWidth(int logicalIndex, int width)
{
    if (logicalIndex < 0 || logicalIndex >= count() || !IsAllowedWidth(width)) {
        return false;
    }
    resizeSection(logicalIndex, width);
    return true;
}

void CSkinHeaderCtrl::SetSkinBitmaps(const QImage& divider, const QImage& background)
{
    m_divider = divider;
    m_background = background;
    viewport()->update();
}

QSize CSkinHeaderCtrl::sizeHint() const
{
    return {QHeaderView::sizeHint().width(), HeaderHeight};
}

void CSkinHeaderCtrl::DrawBackground(QPainter* painter, const QRect& rect) const
{
    painter->fillRect(rect, HeaderBackColor);
    if (!m_background.isNull()) {
        // Only the first column of the bitmap is stretched across.
        painter->drawImage(QRect(rect.left(), 0, rect.width(), HeaderHeight), m_background,
                           QRect(0, 0, 1, m_background.height()));
    }
}

void CSkinHeaderCtrl::DrawItemText(QPainter* painter, QRect rect, int logicalIndex) const
{
    // Item texts are read through a 256-character buffer.
    constexpr int MaxItemText = 255;
    const QString text =
        model() != nullptr ? model()->headerData(logicalIndex, orientation()).toString().left(MaxItemText) : QString();
    painter->save();
    painter->setFont(HeaderFont());
    painter->setPen(HeaderTextColor);
    painter->setBackgroundMode(Qt::TransparentMode);
    rect.adjust(TextInset, TextInset, -TextInset, -TextInset);
    if (rect.width() > 0 && rect.height() > 0) {
        // Single line, no mnemonic processing: an ampersand stays an ampersand.
        const QString shown = painter->fontMetrics().elidedText(text, Qt::ElideRight, rect.width());
        painter->setClipRect(rect, Qt::IntersectClip);
        painter->drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
    }
    painter->restore();
}

void CSkinHeaderCtrl::paintEvent(QPaintEvent* /*event*/)
{
    QPainter target(viewport());
    const QRect client = viewport()->rect();
    CMemDC mem(client, &target);
    DrawBackground(mem.Painter(), client);
    const int total = count();
    for (int i = 0; i < total; ++i) {
        if (isSectionHidden(i)) {
            continue;
        }
        const int order = visualIndex(i);
        const QRect item(sectionViewportPosition(i), 0, sectionSize(i), client.height());
        if (!m_divider.isNull()) {
            if (order != 0) {
                mem->drawImage(QPoint(item.left() - DividerHalfWidth, item.top()), m_divider);
            }
            if (order != total - 1) {
                // item.right() is inclusive; the divider centres on the exclusive right edge.
                mem->drawImage(QPoint(item.left() + item.width() - DividerHalfWidth, 0), m_divider);
            }
        }
        DrawItemText(mem.Painter(), item, i);
    }
}

void CSkinHeaderCtrl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    DrawBackground(painter, rect);
    DrawItemText(painter, rect, logicalIndex);
}

int CSkinHeaderCtrl::DividerAt(int x) const
{
    const int logical = logicalIndexAt(x);
    if (logical < 0) {
        return -1;
    }
    const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
    const int left = sectionViewportPosition(logical);
    int section = -1;
    if (x < left + grip) {
        // The left edge of a column is the right edge of the one before it.
        for (int visual = visualIndex(logical) - 1; visual >= 0 && section < 0; --visual) {
            if (!isSectionHidden(logicalIndex(visual))) {
                section = logicalIndex(visual);
            }
        }
    } else if (x > left + sectionSize(logical) - grip) {
        section = logical;
    }
    if (section < 0 || sectionResizeMode(section) != Interactive) {
        return -1;
    }
    return section;
}

void CSkinHeaderCtrl::DragDividerTo(int x)
{
    // The width comes from the pointer, not from the last move: after a refused width, the
    // edge follows the pointer again as soon as it asks for an allowed one.
    const int width = x - m_resizeOrigin;
    if (IsAllowedWidth(width) && width != sectionSize(m_resizing)) {
        resizeSection(m_resizing, width);
    }
}

void CSkinHeaderCtrl::mousePressEvent(QMouseEvent* event)
{
    const int x = qRound(event->position().x());
    if (event->button() == Qt::LeftButton && event->buttons() == Qt::LeftButton && DividerAt(x) >= 0) {
        m_resizing = DividerAt(x);
        // Where the pointer grabbed the edge stays at the edge while it moves.
        m_resizeOrigin = x - sectionSize(m_resizing);
        event->accept();
        return;
    }
    QHeaderView::mousePressEvent(event);
}

void CSkinHeaderCtrl::mouseMoveEvent(QMouseEvent* event)
{
    // Keeps the dividers and texts painted while a column edge is being dragged.
    if (event->buttons() == Qt::LeftButton && event->modifiers() == Qt::NoModifier) {
        viewport()->repaint();
    }
    if (m_resizing >= 0) {
        if (event->buttons() & Qt::LeftButton) {
            DragDividerTo(qRound(event->position().x()));
        }
        event->accept();
        return;
    }
    QHeaderView::mouseMoveEvent(event);
}

void CSkinHeaderCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_resizing >= 0 && event->button() == Qt::LeftButton) {
        DragDividerTo(qRound(event->position().x()));
        m_resizing = -1;
        event->accept();
        return;
    }
    QHeaderView::mouseReleaseEvent(event);
}
