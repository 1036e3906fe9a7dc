// A push button drawn from up to four face bitmaps (normal, pressed, under the mouse,
// disabled) with its caption centred on top.
//
// Thread-safety: a widget; every member is called on the UI thread only.
#pragma once

#include <QColor>
#include <QImage>
#include <QPushButton>

class CxSkinButton : public QPushButton
{
    Q_OBJECT

public:
    explicit CxSkinButton(QWidget* parent = nullptr);
    ~CxSkinButton() override;

    CxSkinButton(const CxSkinButton&) = delete;
    CxSkinButton& operator=(const CxSkinButton&) = delete;

    // Loads the four faces from the skin bitmaps with these ids; an id that names no bitmap
    // leaves that face empty, and an empty face is drawn as a plain button-face fill.
    void SetSkin(int normal, int pressed, int over, int disabled);
    // The same with faces the caller already holds (a null image is an empty face).
    void SetSkin(const QImage& normal, const QImage& pressed, const QImage& over, const QImage& disabled);

    // Caption colour; the palette's button-text colour until the owner sets one. The font is
    // the widget font (setFont) and the caption the button text (setText, "&" marks the
    // mnemonic, "&&" is a literal ampersand). Buttons without a caption get their accessible
    // name from setAccessibleName.
    void SetTextColor(const QColor& color);
    QColor TextColor() const { return m_textColor; }

    // Whether the pointer is over the button (the over face is shown when one exists).
    bool IsHover() const { return m_hover; }
    // Whether the left button went down on the button and has not been released (nor the
    // press ended by the loss of the focus).
    bool IsPressed() const { return m_pressed; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    void DrawFace(QPainter& painter, const QImage& face);
    // Whether the window's keyboard cues are on: the keyboard has moved the focus or pressed a
    // key in this window. The mouse never turns them on.
    bool KeyboardCuesShown() const;
    void ShowKeyboardCues();

    bool m_hover = false;
    bool m_pressed = false;
    // The focus went elsewhere while the left button was down: that press is over, and the
    // moves and the release that still come from it neither press nor click the button.
    bool m_pressLost = false;
    QImage m_normal;
    QImage m_pressedFace;
    QImage m_disabled;
    QImage m_over;
    QColor m_textColor;
};
