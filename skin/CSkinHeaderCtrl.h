// The column header of CSkinListCtrl: 26 pixels high, drawn from the skin bitmaps with white
// text, column widths held between 30 and 400 pixels.
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

    // Replaces the divider (201) and background (203) bitmaps loaded at construction.
    void SetSkinBitmaps(const QImage& divider, const QImage& background);

    QSize sizeHint() const override;
    // The face and size the header texts are drawn with.
    static QFont HeaderFont();

protected:
    void paintEvent(QPaintEvent* event) override;
    // Draws one section alone (used for the image that follows a dragged column).
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void DrawBackground(QPainter* painter, const QRect& rect) const;
    void DrawItemText(QPainter* painter, QRect rect, int logicalIndex) const;

    QImage m_divider;    // bitmap 201
    QImage m_background; // bitmap 203
};
