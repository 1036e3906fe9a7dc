#include "CSkinListCtrl.h"

#include "CMemDC.h"
#include "CSkinHeaderCtrl.h"
#include "CSkinVerticleScrollbar.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace {
const QColor ListBackColor(59, 59, 59);
constexpr int BarControlId = 0xFFFF;
} // namespace

CSkinListCtrl::CSkinListCtrl(QWidget* parent)
    : QTreeWidget(parent)
    , m_header(new CSkinHeaderCtrl(this))
{
    setHeader(m_header);
    setColumnCount(0);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(0);
    setUniformRowHeights(true);
    // The selected row itself shows where the keyboard is; no focus frame is drawn over it.
    setAllColumnsShowFocus(false);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);

    QPalette pal = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, ListBackColor);
        pal.setColor(group, QPalette::Window, ListBackColor);
        pal.setColor(group, QPalette::AlternateBase, ListBackColor);
        // Rows never reach the style as selected (see drawRow); should any part of a style still
        // paint a highlight, it comes out in the list's own selection colours.
        pal.setColor(group, QPalette::Highlight, m_selectedBackColor);
        pal.setColor(group, QPalette::HighlightedText, m_selectedTextColor);
    }
    setPalette(pal);
    // The paint handler fills the whole viewport itself.
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

    // Keeps the bar in step with every scroll, whatever caused it.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &CSkinListCtrl::UpdateBarThumb);
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, &CSkinListCtrl::UpdateBarThumb);
    // Without a horizontal bar there is nothing to scroll sideways with, so the list never
    // scrolls sideways: not by a drag near its edge, nor keys, nor to show a current cell.
    connect(horizontalScrollBar(), &QScrollBar::rangeChanged, this, [this](int minimum, int maximum) {
        if (minimum != 0 || maximum != 0) {
            horizontalScrollBar()->setRange(0, 0);
        }
    });
}

CSkinListCtrl::~CSkinListCtrl()
{
    // The bar is its parent's child; take it down first so it never outlives its list.
    delete m_verticalBar.data();
}

CSkinVerticleScrollbar* CSkinListCtrl::GetVerticalBar() const
{
    return m_verticalBar.data();
}

void CSkinListCtrl::InitSkin()
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The bar stands beside the list in the same parent; without one there is nowhere to put it.
    if (m_verticalBar == nullptr && parentWidget() != nullptr) {
        auto* bar = new CSkinVerticleScrollbar(parentWidget());
        bar->setObjectName(objectName().isEmpty() ? QStringLiteral("verticalBar")
                                                  : objectName() + QStringLiteral("VerticalBar"));
        bar->setProperty("controlId", BarControlId);
        bar->setGeometry(QRect());
        bar->SetOwnerList(this);
        bar->show();
        m_verticalBar = bar;
    }
    PositionScrollBars();
}

void CSkinListCtrl::PositionScrollBars()
{
    if (m_verticalBar == nullptr) {
        return;
    }
    const QRect r = geometry();
    m_verticalBar->setGeometry(r.x() + r.width(), r.y(), CSkinVerticleScrollbar::BarWidth, r.height() - 1);
    m_verticalBar->UpdateThumbPosition();
}

void CSkinListCtrl::UpdateBarThumb()
{
    if (m_verticalBar != nullptr) {
        m_verticalBar->UpdateThumbPosition();
    }
}

int CSkinListCtrl::InsertColumn(int column, const QString& heading, int width)
{
    const int count = columnCount();
    if (column < 0 || column > count) {
        return -1;
    }
    QTreeWidgetItem* head = headerItem();
    QStringList labels;
    for (int i = 0; i < count; ++i) {
        labels << head->text(i);
    }
    labels.insert(column, heading);
    setColumnCount(count + 1);
    // Existing rows keep their cells: move them one column to the right.
    for (int row = 0; row < topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = topLevelItem(row);
        for (int c = count; c > column; --c) {
            item->setText(c, item->text(c - 1));
        }
        item->setText(column, QString());
    }
    setHeaderLabels(labels);
    headerItem()->setTextAlignment(column, Qt::AlignLeft | Qt::AlignVCenter);
    m_header->resizeSection(column, width);
    return column;
}

bool CSkinListCtrl::SetColumnWidth(int column, int width)
{
    return m_header->SetSectionWidth(column, width);
}

int CSkinListCtrl::InsertItem(int row, const QString& text)
{
    row = qBound(0, row, topLevelItemCount());
    auto* item = new QTreeWidgetItem();
    item->setText(0, text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
    insertTopLevelItem(row, item);
    return row;
}

int CSkinListCtrl::AppendRow(const QString& text)
{
    return InsertItem(topLevelItemCount(), text);
}

bool CSkinListCtrl::SetItemText(int row, int column, const QString& text)
{
    QTreeWidgetItem* item = topLevelItem(row);
    if (item == nullptr || column < 0 || column >= columnCount()) {
        return false;
    }
    item->setText(column, text);
    return true;
}

QString CSkinListCtrl::GetItemText(int row, int column) const
{
    const QTreeWidgetItem* item = topLevelItem(row);
    if (item == nullptr || column < 0 || column >= columnCount()) {
        return {};
    }
    return item->text(column);
}

bool CSkinListCtrl::SetItemData(int row, int value)
{
    QTreeWidgetItem* item = topLevelItem(row);
    if (item == nullptr) {
        return false;
    }
    item->setData(0, Qt::UserRole, value);
    return true;
}

int CSkinListCtrl::GetItemData(int row) const
{
    const QTreeWidgetItem* item = topLevelItem(row);
    bool ok = false;
    const int value = item != nullptr ? item->data(0, Qt::UserRole).toInt(&ok) : -1;
    return ok ? value : -1;
}

int CSkinListCtrl::GetItemCount() const
{
    return topLevelItemCount();
}

void CSkinListCtrl::DeleteAllItems()
{
    clear();
}

int CSkinListCtrl::GetSelectedRow() const
{
    const QList<QTreeWidgetItem*> items = selectedItems();
    return items.isEmpty() ? -1 : indexOfTopLevelItem(items.first());
}

void CSkinListCtrl::SetSelectedRow(int row)
{
    QTreeWidgetItem* item = row >= 0 ? topLevelItem(row) : nullptr;
    if (item == nullptr) {
        clearSelection();
        return;
    }
    setCurrentItem(item);
    item->setSelected(true);
}

void CSkinListCtrl::SetTextColor(const QColor& color)
{
    QPalette pal = palette();
    // The list shows the owner's colour also while disabled.
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Text, color);
        pal.setColor(group, QPalette::WindowText, color);
    }
    setPalette(pal);
    viewport()->update();
}

QColor CSkinListCtrl::GetTextColor() const
{
    return palette().color(QPalette::Active, QPalette::Text);
}

void CSkinListCtrl::SetHeaderDragDrop(bool enabled)
{
    m_header->setSectionsMovable(enabled);
    m_header->setFirstSectionMovable(enabled);
}

int CSkinListCtrl::GetScrollPos() const
{
    return verticalScrollBar()->value();
}

int CSkinListCtrl::GetScrollLimit() const
{
    return verticalScrollBar()->maximum();
}

void CSkinListCtrl::SendVScroll(int code)
{
    QScrollBar* bar = verticalScrollBar();
    switch (code) {
    case LineUp:
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case LineDown:
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    case PageUp:
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        break;
    case PageDown:
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        break;
    default:
        break;
    }
}

int CSkinListCtrl::GetItemRowHeight() const
{
    const QTreeWidgetItem* first = topLevelItem(0);
    return first != nullptr ? visualItemRect(first).height() : 0;
}

void CSkinListCtrl::Scroll(int dy)
{
    const int rowHeight = GetItemRowHeight();
    if (rowHeight <= 0) {
        return;
    }
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->value() + dy / rowHeight);
}

void CSkinListCtrl::drawRow(QPainter* painter, const QStyleOptionViewItem& options, const QModelIndex& index) const
{
    // Every row, the selected one included, goes to the delegate as an ordinary row: no style
    // ever sees a selected, hovered or focused state, so none can draw its highlight.
    QStyleOptionViewItem row(options);
    row.state &= ~(QStyle::State_Selected | QStyle::State_MouseOver | QStyle::State_HasFocus);
    row.showDecorationSelected = false;
    const bool selected = selectionModel() != nullptr && selectionModel()->isRowSelected(index.row(), index.parent());
    if (selected) {
        painter->fillRect(QRect(0, options.rect.y(), viewport()->width(), options.rect.height()), m_selectedBackColor);
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            row.palette.setColor(group, QPalette::Text, m_selectedTextColor);
        }
    }
    const QHeaderView* head = header();
    const int width = viewport()->width();
    for (int visual = 0; visual < head->count(); ++visual) {
        const int column = head->logicalIndex(visual);
        const int x = columnViewportPosition(column);
        const int w = columnWidth(column);
        if (head->isSectionHidden(column) || w <= 0 || x + w <= 0 || x >= width) {
            continue;
        }
        QStyleOptionViewItem cell(row);
        // A column cut by the list's edge is laid out in what shows of it, so that its text
        // ends in the same ellipsis as any cell too narrow for its text.
        cell.rect = QRect(x, options.rect.y(), std::min(w, width - x), options.rect.height());
        cell.textElideMode = Qt::ElideRight;
        const QModelIndex cellIndex = index.sibling(index.row(), column);
        itemDelegateForIndex(cellIndex)->paint(painter, cell, cellIndex);
    }
}

void CSkinListCtrl::paintEvent(QPaintEvent* event)
{
    // Rows added since the last layout are laid out before they are drawn, as the view's own
    // paint does; this also brings the scroll range up to date for the bar.
    executeDelayedItemsLayout();
    QPainter target(viewport());
    CMemDC mem(viewport()->rect(), &target);
    mem->fillRect(event->rect(), ListBackColor);
    UpdateBarThumb();
    drawTree(mem.Painter(), event->region());
}

void CSkinListCtrl::mousePressEvent(QMouseEvent* event)
{
    m_leftPressInList = event->button() == Qt::LeftButton;
    QTreeWidget::mousePressEvent(event);
    // A click on empty space leaves no row selected.
    if (event->button() == Qt::LeftButton && itemAt(event->position().toPoint()) == nullptr) {
        clearSelection();
    }
}

void CSkinListCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = m_leftPressInList && event->button() == Qt::LeftButton;
    m_leftPressInList = false;
    QTreeWidget::mouseReleaseEvent(event);
    if (click) {
        QTreeWidgetItem* item = itemAt(event->position().toPoint());
        emit listClicked(item != nullptr ? indexOfTopLevelItem(item) : -1);
    }
}

void CSkinListCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click is not a click of its own.
    m_leftPressInList = false;
    QTreeWidget::mouseDoubleClickEvent(event);
}

void CSkinListCtrl::wheelEvent(QWheelEvent* event)
{
    UpdateBarThumb();
    QTreeWidget::wheelEvent(event);
}

void CSkinListCtrl::keyPressEvent(QKeyEvent* event)
{
    UpdateBarThumb();
    QTreeWidget::keyPressEvent(event);
}

void CSkinListCtrl::keyReleaseEvent(QKeyEvent* event)
{
    UpdateBarThumb();
    QTreeWidget::keyReleaseEvent(event);
}

void CSkinListCtrl::resizeEvent(QResizeEvent* event)
{
    QTreeWidget::resizeEvent(event);
    PositionScrollBars();
}

void CSkinListCtrl::moveEvent(QMoveEvent* event)
{
    QTreeWidget::moveEvent(event);
    PositionScrollBars();
}
