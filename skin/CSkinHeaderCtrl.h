// The column header of CSkinListCtrl: 26 pixels high, drawn from the skin bitmaps with white
// text; a column width outside 30 to 400 pixels is refused (the column keeps its width).
//
// Thread-safety: a widget; UI thread only.
#pragma once

#include <QHeaderView>
#include <QImage>

class CSkinHeaderCtrl : public QHeaderView
{
    Q_OBJECT

public:
    static constexpr int HeaderHeight = 26;
    static constexpr int MinColumnWidth = 30;
    static constexpr int MaxColumnWidth = 400;
    static constexpr int TextInset = 4;
    static constexpr int FontPixelHeight = 16;

    explicit CSkinHeaderCtrl(QWidget* parent = nullptr);

    // Sets a column's width; a width below MinColumnWidth or above MaxColumnWidth is refused and
    // the column keeps its width. False when refused or when there is no such column.
    bool SetSectionWidth(int logicalIndex, int width);
    static bool IsAllowedWidth(int width) { return width >= MinColumnWidth && width <= MaxColumnWidth; }

    // Replaces the divider (201) and background (203) bitmaps loaded at construction.
    void SetSkinBitmaps(const QImage& divider, const QImage& background);

    QSize sizeHint() const override;
    // The face and size the header texts are drawn with.
    static QFont HeaderFont();

protected:
    void paintEvent(QPaintEvent* event) override;
    // Draws one section alone (used for the image that follows a dragged column).
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The column whose right edge is at viewport x (within the style's grip margin), or -1.
    int DividerAt(int x) const;
    // Follows the pointer during a divider drag: the width the pointer asks for, if allowed.
    void DragDividerTo(int x);

    void DrawBackground(QPainter* painter, const QRect& rect) const;
    void DrawItemText(QPainter* painter, QRect rect, int logicalIndex) const;

    QImage m_divider;    // bitmap 201
    QImage m_background; // bitmap 203
    // The divider drag in progress: the column, and where the pointer would put its left edge.
    int m_resizing = -1;
    int m_resizeOrigin = 0;
};
