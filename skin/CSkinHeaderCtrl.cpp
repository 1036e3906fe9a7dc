#include "CSkinHeaderCtrl.h"

#include "CMemDC.h"
#include "Resources.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

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
    setMinimumSectionSize(MinColumnWidth);
    setMaximumSectionSize(MaxColumnWidth);
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
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(FontPixelHeight);
    font.setWeight(QFont::Normal);
    font.setStyleHint(QFont::SansSerif);
    return font;
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

void CSkinHeaderCtrl::mouseMoveEvent(QMouseEvent* event)
{
    // Keeps the dividers and texts painted while a column edge is being dragged.
    if (event->buttons() == Qt::LeftButton && event->modifiers() == Qt::NoModifier) {
        viewport()->repaint();
    }
    QHeaderView::mouseMoveEvent(event);
}
