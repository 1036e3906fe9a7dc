#include "SkinWindow.h"

#include "CxSkinButton.h"
#include "Language.h"
#include "NamedText.h"
#include "Resources.h"
#include "SkinFont.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QWindow>
#include <array>
#include <cmath>

namespace {

// How far the pointer moves with the button down before the window follows it.
constexpr int DragThreshold = 3;

struct Strip
{
    int left, top, right, bottom; // right and bottom exclusive
};

// The strips of the shape; every corner loses 8, 6, 4, 3, 2, 2, 1, 1 pixels from the outer
// column inward.
std::array<Strip, 17> RoundedStrips(int w, int h)
{
    return {{
        {0, 8, 1, h - 8},
        {1, 6, 2, h - 6},
        {2, 4, 3, h - 4},
        {3, 3, 4, h - 3},
        {4, 2, 5, h - 2},
        {5, 2, 6, h - 2},
        {6, 1, 7, h - 1},
        {7, 1, 8, h - 1},
        {8, 0, w - 8, h},
        {w - 8, 1, w - 7, h - 1},
        {w - 7, 1, w - 6, h - 1},
        {w - 6, 2, w - 5, h - 2},
        {w - 5, 2, w - 4, h - 2},
        {w - 4, 3, w - 3, h - 3},
        {w - 3, 4, w - 2, h - 4},
        {w - 2, 6, w - 1, h - 6},
        {w - 1, 8, w, h - 8},
    }};
}

} // namespace

QRegion RoundedRegion(int width, int height)
{
    QRegion region;
    for (const Strip& strip : RoundedStrips(width, height)) {
        // The shape is clipped to the client rectangle; inverted strips of tiny sizes are empty.
        const int left = std::max(strip.left, 0);
        const int right = std::min(strip.right, width);
        if (right <= left || strip.bottom <= strip.top) {
            continue;
        }
        region += QRect(left, strip.top, right - left, strip.bottom - strip.top);
    }
    return region;
}

void ApplyRoundedRegion(QWidget& window, int width, int height)
{
    const QRegion region = RoundedRegion(width, height);
    if (region.isEmpty()) {
        window.clearMask();
        return;
    }
    window.setMask(region);
}

void PaintSkinBackground(QWidget& window, QPainter& painter, QImage& backgroundBitmap, int backgroundId)
{
    const QRect client = window.rect();
    // Outside the shape the window stays transparent: where a mask shapes only the input
    // (Wayland, a compositing X server), the corners show what is behind the window.
    const QRegion shape = RoundedRegion(client.width(), client.height());
    if (!shape.isEmpty()) {
        painter.setClipRegion(shape);
    }
    painter.fillRect(client, window.palette().window());
    if (backgroundBitmap.isNull()) {
        backgroundBitmap = qvres::SkinBitmap(backgroundId);
        if (backgroundBitmap.isNull()) {
            return;
        }
    }
    painter.drawImage(client, backgroundBitmap, backgroundBitmap.rect());
}

QFont ArialFont(int cellHeight)
{
    return CellHeightFont(QStringLiteral("Arial"), cellHeight);
}

QLabel* MakeStaticText(QWidget* parent, const char* objectName, const QRect& rect, const QColor& color)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setGeometry(rect);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setAutoFillBackground(false);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

SkinDialog::SkinDialog(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
{
    setSizeGripEnabled(false);
    // An alpha channel, so that the pixels outside the shape can be left transparent. This
    // also gives the platform window its shape before it is first mapped on X11, where the
    // window system then reports the place the window manager gives it.
    setAttribute(Qt::WA_TranslucentBackground);
    m_movesItself = QGuiApplication::platformName() == QLatin1String("xcb");
}

void SkinDialog::CreateSystemMenu(bool taskbarWindow)
{
    m_systemMenu = new QMenu(this);
    m_systemMenu->setObjectName(QStringLiteral("systemMenu"));
    const auto add = [this](const char* name, const QString& text, auto&& slot) {
        QAction* action = m_systemMenu->addAction(text, this, slot);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    QAction* restore = nullptr;
    if (taskbarWindow) {
        restore = add("restoreAction", LoadAppText(qvres::text::MenuRestore), [this] { showNormal(); });
    }
    add("moveAction", LoadAppText(qvres::text::MenuMove), [this] {
        if (windowHandle() != nullptr) {
            windowHandle()->startSystemMove();
        }
    });
    if (taskbarWindow) {
        // A fixed-size window without minimise or maximise box: shown, but ruled out.
        add("sizeAction", LoadAppText(qvres::text::MenuSize), [] {})->setEnabled(false);
        add("minimiseAction", LoadAppText(qvres::text::MenuMinimise), [] {})->setEnabled(false);
        add("maximiseAction", LoadAppText(qvres::text::MenuMaximise), [] {})->setEnabled(false);
        m_systemMenu->addSeparator();
    }
    QAction* closeAction = add("closeAction", LoadAppText(qvres::text::MenuClose), [this] { reject(); });
    closeAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    if (restore != nullptr) {
        connect(m_systemMenu, &QMenu::aboutToShow, this, [this, restore] { restore->setEnabled(isMinimized()); });
    }

    auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this] { ShowSystemMenu(mapToGlobal(QPoint(0, 0))); });
}

void SkinDialog::ShowSystemMenu(const QPoint& globalPos)
{
    if (m_systemMenu != nullptr) {
        m_systemMenu->popup(globalPos);
    }
}

void SkinDialog::InitialiseOnce()
{
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
}

void SkinDialog::PrepareBox(int width, int height)
{
    setFixedSize(width, height);
    // Set before the platform window exists, the shape goes with it when it is first mapped.
    ApplyRoundedRegion(*this, width, height);
    m_centreOverOwner = true;
}

void SkinDialog::showEvent(QShowEvent* event)
{
    if (m_centreOverOwner && parentWidget() != nullptr) {
        // Centred over the owner's window and kept on the owner's screen, whatever place the
        // toolkit or the window manager would have picked.
        const QRect owner = parentWidget()->window()->geometry();
        QRect box(QPoint(0, 0), size());
        box.moveCenter(owner.center());
        if (const QScreen* screen = parentWidget()->window()->screen()) {
            const QRect area = screen->availableGeometry();
            box.moveLeft(std::max(area.left(), std::min(box.left(), area.right() + 1 - box.width())));
            box.moveTop(std::max(area.top(), std::min(box.top(), area.bottom() + 1 - box.height())));
        }
        move(box.topLeft());
    }
    InitialiseOnce();
    QDialog::showEvent(event);
}

void SkinDialog::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    PaintSkinBackground(*this, painter, backgroundBitmap, BackgroundId());
}

void SkinDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    ApplyRoundedRegion(*this, width(), height());
    update();
}

void SkinDialog::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(event);
        return;
    }
    // Every point of the window's own surface acts as its caption. Nothing moves until the
    // pointer has moved with the button down, so a click on the surface stays a click.
    m_pressed = true;
    m_dragging = false;
    m_pressPosition = event->globalPosition().toPoint();
    m_dragOffset = m_pressPosition - frameGeometry().topLeft();
}

void SkinDialog::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed || !(event->buttons() & Qt::LeftButton)) {
        QDialog::mouseMoveEvent(event);
        return;
    }
    const QPoint global = event->globalPosition().toPoint();
    if (!m_dragging) {
        if ((global - m_pressPosition).manhattanLength() < DragThreshold) {
            return;
        }
        // A Wayland program cannot place its own window: the compositor moves it, from where the
        // pointer is now. An X11 window follows the pointer by itself, exactly, window manager or
        // not (a manager's move would start from here and lose the way come so far).
        if (!m_movesItself && windowHandle() != nullptr && windowHandle()->startSystemMove()) {
            m_pressed = false;
            return;
        }
        m_dragging = true;
    }
    move(global - m_dragOffset);
}

void SkinDialog::mouseReleaseEvent(QMouseEvent* event)
{
    // A right click on the window's surface counts as one on its caption: the window menu.
    if (event->button() == Qt::RightButton && m_systemMenu != nullptr) {
        ShowSystemMenu(event->globalPosition().toPoint());
        return;
    }
    if (event->button() == Qt::LeftButton) {
        m_pressed = false;
        m_dragging = false;
    }
    QDialog::mouseReleaseEvent(event);
}

void SkinDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void SkinOkButton(CxSkinButton& okButton, QFont& okFont)
{
    okFont = ArialFont(18);
    okButton.SetSkin(242, 243, 243, 243);
    okButton.SetTextColor(CaptionTextColor);
    okButton.setFont(okFont);
    okButton.setText(LoadAppString(129));
    okButton.setAccessibleName(okButton.text());
}
