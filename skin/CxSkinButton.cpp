#include "CxSkinButton.h"

#include "Resources.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace {

// The caption keeps clear of the face's edges: 2 px at the sides, 2 px above the bottom.
constexpr int CaptionSideInset = 2;
constexpr int CaptionBottomInset = 2;
constexpr int CaptionTextFlags = Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;
// The focus frame lies this far inside the face.
constexpr int FocusCueInset = 3;
// A window property, shared by every button of the window: once the keyboard has been used
// there, the focused button shows where the focus is.
constexpr char KeyboardCuesProperty[] = "qvKeyboardCues";

} // namespace

CxSkinButton::CxSkinButton(QWidget* parent)
    : QPushButton(parent)
    , m_textColor(palette().color(QPalette::Active, QPalette::ButtonText))
{
    // Mouse moves without a button held are what mark the pointer as over the button.
    setMouseTracking(true);
}

CxSkinButton::~CxSkinButton() = default;

void CxSkinButton::SetSkin(int normal, int pressed, int over, int disabled)
{
    SetSkin(qvres::SkinBitmap(normal), qvres::SkinBitmap(pressed), qvres::SkinBitmap(over),
            qvres::SkinBitmap(disabled));
}

void CxSkinButton::SetSkin(const QImage& normal, const QImage& pressed, const QImage& over, const QImage& disabled)
{
    m_normal = normal;
    m_pressedFace = pressed;
    m_over = over;
    m_disabled = disabled;
    updateGeometry();
    update();
}

void CxSkinButton::SetTextColor(const QColor& color)
{
    m_textColor = color;
    update();
}

QSize CxSkinButton::sizeHint() const
{
    if (!m_normal.isNull()) {
        // A face made for a denser screen has more pixels, not a larger size.
        return m_normal.deviceIndependentSize().toSize();
    }
    return QPushButton::sizeHint();
}

void CxSkinButton::DrawFace(QPainter& painter, const QImage& face)
{
    // A face is copied 1:1 from its top-left corner. An empty face shows the button-face
    // colour; where a face is smaller than the button, the window's skin behind it shows, so
    // a button a pixel larger than its picture does not get a light seam.
    if (face.isNull()) {
        painter.fillRect(rect(), palette().color(QPalette::Active, QPalette::Button));
        return;
    }
    // The source is in the face's own pixels, which on a denser screen are finer than the
    // button's coordinates.
    painter.drawImage(QPointF(0, 0), face, QRectF(QPointF(0, 0), QSizeF(size()) * face.devicePixelRatio()));
}

void CxSkinButton::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QString caption = text();
    QRect textRect = rect().adjusted(CaptionSideInset, 0, -CaptionSideInset, -CaptionBottomInset);

    if (!isEnabled()) {
        DrawFace(painter, m_disabled);
        // Embossed: the caption in the surface's plain text colour, then once more in grey,
        // one pixel up and to the left.
        painter.setPen(palette().color(QPalette::Active, QPalette::WindowText));
        painter.drawText(textRect, CaptionTextFlags, caption);
        textRect.translate(-1, -1);
        painter.setPen(palette().color(QPalette::Disabled, QPalette::WindowText));
        painter.drawText(textRect, CaptionTextFlags, caption);
        return;
    }
    if (isDown()) {
        DrawFace(painter, m_pressedFace);
        textRect.translate(1, 1);
    } else if (m_normal.isNull()) {
        DrawFace(painter, m_normal);
    } else {
        DrawFace(painter, m_hover && !m_over.isNull() ? m_over : m_normal);
    }
    painter.setPen(m_textColor);
    painter.drawText(textRect, CaptionTextFlags, caption);
    if (hasFocus() && KeyboardCuesShown()) {
        QPen dotted(m_textColor, 1, Qt::CustomDashLine);
        dotted.setDashPattern({1, 1});
        painter.setPen(dotted);
        painter.setBrush(Qt::NoBrush);
        painter.setRenderHint(QPainter::Antialiasing, false);
        // The rectangle's own pen covers its right and bottom edge: one pixel less each way.
        painter.drawRect(rect().adjusted(FocusCueInset, FocusCueInset, -FocusCueInset - 1, -FocusCueInset - 1));
    }
}

bool CxSkinButton::KeyboardCuesShown() const
{
    return window()->property(KeyboardCuesProperty).toBool();
}

void CxSkinButton::ShowKeyboardCues()
{
    if (!KeyboardCuesShown()) {
        window()->setProperty(KeyboardCuesProperty, true);
        update();
    }
}

void CxSkinButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        // A left press ends the hover look until the pointer moves again; the pressed face
        // shows next. Other buttons leave the face as it is.
        m_hover = false;
        m_pressLost = false;
    }
    QPushButton::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
    }
}

void CxSkinButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = false;
        if (m_pressLost) {
            // The end of a press that the loss of the focus already ended: no click.
            m_pressLost = false;
            setDown(false);
            event->accept();
            return;
        }
    }
    QPushButton::mouseReleaseEvent(event);
}

void CxSkinButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click is a press like the first, so it clicks again.
    mousePressEvent(event);
}

void CxSkinButton::mouseMoveEvent(QMouseEvent* event)
{
    if (m_pressLost && (event->buttons() & Qt::LeftButton)) {
        // The button underneath would take the pointer coming back for a press.
        event->accept();
        return;
    }
    if (m_pressed) {
        // QPushButton follows the pointer off and back on: off shows the normal face, back on
        // the pressed one, and a release off the button does not click.
        QPushButton::mouseMoveEvent(event);
        return;
    }
    if (!m_hover && rect().contains(event->position().toPoint())) {
        m_hover = true;
        update();
    }
    QPushButton::mouseMoveEvent(event);
}

void CxSkinButton::leaveEvent(QEvent* event)
{
    m_hover = false;
    update();
    QPushButton::leaveEvent(event);
}

void CxSkinButton::focusInEvent(QFocusEvent* event)
{
    // A dialog that opens reports its first focus as a Tab too; only a focus change the keyboard
    // made marks the window (the toolkit flags those), and a mnemonic or shortcut does.
    const Qt::FocusReason reason = event->reason();
    const bool byTabKey = (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) &&
                          window()->testAttribute(Qt::WA_KeyboardFocusChange);
    if (byTabKey || reason == Qt::ShortcutFocusReason) {
        ShowKeyboardCues();
    }
    QPushButton::focusInEvent(event);
}

void CxSkinButton::focusOutEvent(QFocusEvent* event)
{
    if (m_pressed || isDown()) {
        // The press ends here: no pressed face and no click, whatever the pointer does next.
        m_pressLost = m_pressed;
        m_pressed = false;
        setDown(false);
    }
    QPushButton::focusOutEvent(event);
    update();
}

void CxSkinButton::keyPressEvent(QKeyEvent* event)
{
    ShowKeyboardCues();
    QPushButton::keyPressEvent(event);
}

bool CxSkinButton::hitButton(const QPoint& pos) const
{
    // The whole face is the button, up to its edges.
    return rect().contains(pos);
}
