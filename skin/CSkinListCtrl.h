// A report-style list painted dark: a 26-pixel bitmap header, orange selected row without the
// system highlight, and a bitmap scroll bar standing beside the list instead of its own bars.
// Items, selection, keyboard and mouse handling are the tree view's own.
//
// Thread-safety: a widget; every call on the UI thread only.
#pragma once

#include <QColor>
#include <QPointer>
#include <QString>
#include <QTreeWidget>

class CSkinHeaderCtrl;
class CSkinVerticleScrollbar;

class CSkinListCtrl : public QTreeWidget
{
    Q_OBJECT

public:
    // Vertical scroll requests the bar sends to the list.
    enum ScrollCode : int
    {
        LineUp = 0,
        LineDown = 1,
        PageUp = 2,
        PageDown = 3
    };

    explicit CSkinListCtrl(QWidget* parent = nullptr);
    ~CSkinListCtrl() override;

    CSkinListCtrl(const CSkinListCtrl&) = delete;
    CSkinListCtrl& operator=(const CSkinListCtrl&) = delete;

    // Called once by the owner after the list has its parent and geometry, before filling it:
    // creates the bar as a sibling of the list (a child of the list's parent) and places it.
    void InitSkin();
    // Puts the bar at the list's right edge (24 wide, list height - 1 high) and updates its thumb.
    void PositionScrollBars();

    // Report-view interface for the owner. Rows and columns count from 0.
    // Inserts a left-aligned column; returns its index, or -1 when column is out of range.
    int InsertColumn(int column, const QString& heading, int width);
    // Sets a column's width; false (the width unchanged) for a width outside 30..400 pixels or a
    // column that does not exist.
    bool SetColumnWidth(int column, int width);
    // Inserts a row at row (clamped to 0..count) with text in column 0; returns its index.
    int InsertItem(int row, const QString& text);
    // Appends a row with text in column 0; returns its index.
    int AppendRow(const QString& text);
    // Sets one cell; false when the row or column does not exist.
    bool SetItemText(int row, int column, const QString& text);
    // The text of one cell; empty when it does not exist.
    QString GetItemText(int row, int column) const;
    // A number the owner keeps with a row; it moves with the row. False when the row does not
    // exist; -1 for a row that does not exist or was given none.
    bool SetItemData(int row, int value);
    int GetItemData(int row) const;
    int GetItemCount() const;
    void DeleteAllItems();
    // The selected row, or -1 when no row is selected.
    int GetSelectedRow() const;
    // Selects row (and makes it current); -1 or a missing row clears the selection.
    void SetSelectedRow(int row);
    // Normal text colour of the rows (the owner gives 193, 193, 193).
    void SetTextColor(const QColor& color);
    QColor GetTextColor() const;
    // Lets the user reorder the columns by dragging their headers.
    void SetHeaderDragDrop(bool enabled);

    QColor SelectedTextColor() const { return m_selectedTextColor; }
    QColor SelectedBackColor() const { return m_selectedBackColor; }
    CSkinHeaderCtrl* GetHeaderCtrl() const { return m_header; }
    // Null until InitSkin.
    CSkinVerticleScrollbar* GetVerticalBar() const;

    // What the bar reads from and asks of its list. Positions count whole rows.
    int GetScrollPos() const;
    // The largest position the list can scroll to; 0 when everything fits.
    int GetScrollLimit() const;
    void SendVScroll(int code);
    // Height of row 0's bounding rectangle; 0 when the list is empty.
    int GetItemRowHeight() const;
    // Scrolls by dy pixels, rounded toward zero to whole rows.
    void Scroll(int dy);

signals:
    // Every left mouse click in the list, on a row or on empty space (row is the row under the
    // pointer or -1). Keyboard selection changes never emit it.
    void listClicked(int row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& options, const QModelIndex& index) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void UpdateBarThumb();

    CSkinHeaderCtrl* m_header = nullptr;
    const QColor m_selectedTextColor{255, 132, 0};
    const QColor m_selectedBackColor{59, 59, 59};
    // The bar belongs to the list's parent, which may delete it before the list.
    QPointer<CSkinVerticleScrollbar> m_verticalBar;
    bool m_leftPressInList = false;
};
