// What the three skinned windows share: the bitmap background, the cut-corner shape, dragging
// by the window's own surface, the dialog keys, and the program's font.
//
// Thread-safety: widgets and painting; UI thread only. RoundedRegion is a pure function.
#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRegion>

class CxSkinButton;
class QPainter;
class QLabel;
class QMenu;

// Captions of the text buttons and the text of both lists.
inline const QColor CaptionTextColor{193, 193, 193};
// The dark skin behind the animation.
inline const QColor SkinBackgroundColor{59, 59, 59};

// The cut-corner shape of a W x H window: 17 vertical strips. Strips that come out empty for
// small sizes (0 x 0 included) add nothing, so a degenerate size gives an empty region.
QRegion RoundedRegion(int width, int height);
// Sets that shape as the window's mask. An empty region (a size too small to have a shape)
// leaves the window unmasked, which for a window of no size shows nothing anyway.
void ApplyRoundedRegion(QWidget& window, int width, int height);

// Paints the window's background: the default erase first, then the bitmap of backgroundId,
// loaded into backgroundBitmap on the first call that finds it empty, stretched over the whole
// client area. A bitmap that cannot be loaded leaves the default erase; the next call retries.
void PaintSkinBackground(QWidget& window, QPainter& painter, QImage& backgroundBitmap, int backgroundId);

// "Arial", normal weight, whose cell height (ascent plus descent) is cellHeight pixels.
QFont ArialFont(int cellHeight);

// A static text: left-aligned, wrapped, text colour as given, drawn straight on the window's
// picture (no background of its own), transparent to the mouse so the surface stays draggable.
QLabel* MakeStaticText(QWidget* parent, const char* objectName, const QRect& rect, const QColor& color);

// The OK button of the message box and the About box: faces 242/243, font (kept in okFont,
// which the box owns), caption colour and caption string 129.
void SkinOkButton(CxSkinButton& okButton, QFont& okFont);

class SkinDialog : public QDialog
{
    Q_OBJECT

public:
    SkinDialog(QWidget* parent, Qt::WindowFlags flags);

    // The bitmap id this window paints as its background.
    virtual int BackgroundId() const = 0;
    const QImage& BackgroundBitmap() const { return backgroundBitmap; }

    // The window menu: a right click on the window's surface (its caption) and Alt+Space open
    // it. Move and Close; a window that can be minimised also carries Restore, Size, Minimise and
    // Maximise, enabled as its style allows.
    QMenu* SystemMenu() const { return m_systemMenu; }
    // Opens the window menu with its top-left corner at globalPos.
    void ShowSystemMenu(const QPoint& globalPos);

protected:
    // Builds the window's controls from what the creator set after construction (a box's
    // kind and texts, a version); runs once, at the first show or at InitialiseOnce().
    virtual void OnInitDialog() {}
    void InitialiseOnce();
    // Builds the window menu; the main window's carries the entries of a window with a taskbar
    // button (disabled where its style rules them out).
    void CreateSystemMenu(bool taskbarWindow);
    // For a box: its shape from the start (so that no frame ever shows square corners), and a
    // place centred over its owner's window, taken when it is shown.
    void PrepareBox(int width, int height);
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Enter and Return end the window like OK, whatever has the focus; Escape like Cancel.
    void keyPressEvent(QKeyEvent* event) override;

    QImage backgroundBitmap;

private:
    QMenu* m_systemMenu = nullptr;
    bool m_initialised = false;
    bool m_centreOverOwner = false;
    bool m_movesItself = false; // by move(), not by the window system's move
    bool m_pressed = false;     // the left button went down on the surface
    bool m_dragging = false;    // the window follows the pointer by itself
    QPoint m_pressPosition;
    QPoint m_dragOffset;
};
