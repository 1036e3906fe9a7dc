// The skinned button: which face shows in which state, the caption, and the click rules.
#include "CxSkinButton.h"
#include "Resources.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

namespace {

const QColor NormalFace(10, 20, 30);
const QColor PressedFace(200, 40, 40);
const QColor OverFace(40, 200, 40);
const QColor DisabledFace(40, 40, 200);
const QColor Caption(193, 193, 193);
constexpr QSize FaceSize(108, 32);

QImage Solid(const QColor& color, QSize size = FaceSize)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QColor PixelAt(QWidget* widget, QPoint point)
{
    return widget->grab().toImage().pixelColor(point);
}

// The bounding box of the pixels of one exact colour.
QRect BoxOf(const QImage& image, const QColor& color)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) == color) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

QFont CaptionFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(16);
    // Exact colours are compared, so no blended edge pixels.
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

} // namespace

class TestSkinButton : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void faces_data();
    void faces();
    void emptyFaceIsFilled();
    void missingNormalFaceWinsOverHover();
    void leavingRestoresNormalFace();
    void pressEndsHoverUntilNextMove();
    void slideOffAndBack();
    void releaseOutsideDoesNotClick();
    void doubleClickGivesTwoClicks();
    void losingFocusWhilePressedDoesNotClick();
    void pressedCaptionMovesDownRight();
    void disabledCaptionIsEmbossed();
    void captionColour();
    void mnemonicIsDrawnUnderlined();
    void doubleAmpersandIsLiteral();
    void altLetterClicks();
    void keyboardClicks();
    void accessibleName();
    void skinFromResources();

private:
    QWidget* m_window = nullptr;
    CxSkinButton* m_button = nullptr;
    QLineEdit* m_other = nullptr;
};

void TestSkinButton::init()
{
    m_window = new QWidget;
    m_window->resize(300, 120);
    m_button = new CxSkinButton(m_window);
    m_button->setGeometry(20, 20, FaceSize.width(), FaceSize.height());
    m_button->SetSkin(Solid(NormalFace), Solid(PressedFace), Solid(OverFace), Solid(DisabledFace));
    m_button->SetTextColor(Caption);
    m_button->setFont(CaptionFont());
    m_other = new QLineEdit(m_window);
    m_other->setGeometry(150, 80, 100, 24);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    // Start with the pointer away from the button.
    QTest::mouseMove(m_window, QPoint(280, 110));
}

void TestSkinButton::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void TestSkinButton::faces_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QColor>("face");
    QTest::newRow("normal") << "normal" << NormalFace;
    QTest::newRow("hover") << "hover" << OverFace;
    QTest::newRow("pressed") << "pressed" << PressedFace;
    QTest::newRow("disabled") << "disabled" << DisabledFace;
}

void TestSkinButton::faces()
{
    QFETCH(QString, state);
    QFETCH(QColor, face);
    const QPoint inside(FaceSize.width() / 2, FaceSize.height() / 2);
    if (state == "hover") {
        QTest::mouseMove(m_button, inside);
        QTRY_VERIFY(m_button->IsHover());
    } else if (state == "pressed") {
        QTest::mousePress(m_button, Qt::LeftButton, {}, inside);
        QVERIFY(m_button->isDown());
    } else if (state == "disabled") {
        m_button->setEnabled(false);
    }
    // Corners carry no caption.
    QCOMPARE(PixelAt(m_button, QPoint(1, 1)), face);
    QCOMPARE(PixelAt(m_button, QPoint(FaceSize.width() - 1, FaceSize.height() - 1)), face);
    if (state == "pressed") {
        QTest::mouseRelease(m_button, Qt::LeftButton, {}, inside);
    }
}

void TestSkinButton::emptyFaceIsFilled()
{
    m_button->SetSkin(QImage(), QImage(), QImage(), QImage());
    QCOMPARE(PixelAt(m_button, QPoint(3, 3)), m_button->palette().color(QPalette::Active, QPalette::Button));
    // A face smaller than the button is copied 1:1 and the window behind shows around it.
    const QColor behind(12, 34, 56);
    QPalette palette = m_window->palette();
    palette.setColor(QPalette::Window, behind);
    m_window->setPalette(palette);
    m_window->setAutoFillBackground(true);
    m_button->SetSkin(Solid(NormalFace, QSize(10, 10)), QImage(), QImage(), QImage());
    const QImage window = m_window->grab().toImage();
    QCOMPARE(window.pixelColor(m_button->pos() + QPoint(9, 9)), NormalFace);
    QCOMPARE(window.pixelColor(m_button->pos() + QPoint(12, 12)), behind);
}

void TestSkinButton::missingNormalFaceWinsOverHover()
{
    m_button->SetSkin(QImage(), Solid(PressedFace), Solid(OverFace), Solid(DisabledFace));
    QTest::mouseMove(m_button, QPoint(5, 5));
    QTRY_VERIFY(m_button->IsHover());
    QCOMPARE(PixelAt(m_button, QPoint(1, 1)), m_button->palette().color(QPalette::Active, QPalette::Button));
}

void TestSkinButton::leavingRestoresNormalFace()
{
    QTest::mouseMove(m_button, QPoint(5, 5));
    QTRY_COMPARE(PixelAt(m_button, QPoint(1, 1)), OverFace);
    QTest::mouseMove(m_window, QPoint(280, 5));
    QTRY_VERIFY(!m_button->IsHover());
    QCOMPARE(PixelAt(m_button, QPoint(1, 1)), NormalFace);
}

void TestSkinButton::pressEndsHoverUntilNextMove()
{
    const QPoint inside(5, 5);
    QTest::mouseMove(m_button, inside);
    QTRY_VERIFY(m_button->IsHover());
    QTest::mouseClick(m_button, Qt::LeftButton, {}, inside);
    QVERIFY(!m_button->IsHover());
    QCOMPARE(PixelAt(m_button, QPoint(1, 1)), NormalFace);
    QTest::mouseMove(m_button, inside + QPoint(3, 0));
    QTRY_COMPARE(PixelAt(m_button, QPoint(1, 1)), OverFace);
}

void TestSkinButton::slideOffAndBack()
{
    QSignalSpy clicks(m_button, &QAbstractButton::clicked);
    const QPoint inside(10, 10);
    const QPoint outside(FaceSize.width() + 30, 10);
    QTest::mousePress(m_button, Qt::LeftButton, {}, inside);
    QVERIFY(m_button->IsPressed());
    QCOMPARE(PixelAt(m_button, QPoint(1, 1)), PressedFace);
    QTest::mouseMove(m_button, outside);
    QTRY_VERIFY(!m_button->isDown());
    QCOMPARE(PixelAt(m_button, QPoint(1, 1)), NormalFace);
    QTest::mouseMove(m_button, inside);
    QTRY_VERIFY(m_button->isDown());
    QCOMPARE(PixelAt(m_button, QPoint(1, 1)), PressedFace);
    QTest::mouseRelease(m_button, Qt::LeftButton, {}, inside);
    QCOMPARE(clicks.count(), 1);
    QVERIFY(!m_button->IsPressed());
}

void TestSkinButton::releaseOutsideDoesNotClick()
{
    QSignalSpy clicks(m_button, &QAbstractButton::clicked);
    const QPoint outside(FaceSize.width() + 1, 10);
    QTest::mousePress(m_button, Qt::LeftButton, {}, QPoint(FaceSize.width() - 1, 10));
    QTest::mouseMove(m_button, outside);
    QTest::mouseRelease(m_button, Qt::LeftButton, {}, outside);
    QCOMPARE(clicks.count(), 0);
    QVERIFY(!m_button->isDown());
    QCOMPARE(PixelAt(m_button, QPoint(1, 1)), NormalFace);
    // The last pixel column still belongs to the button.
    QTest::mouseClick(m_button, Qt::LeftButton, {}, QPoint(FaceSize.width() - 1, FaceSize.height() - 1));
    QCOMPARE(clicks.count(), 1);
}

void TestSkinButton::doubleClickGivesTwoClicks()
{
    QSignalSpy clicks(m_button, &QAbstractButton::clicked);
    // Through the window, so that the platform turns the second press into a double click.
    QTest::mouseDClick(m_window->windowHandle(), Qt::LeftButton, {}, m_button->geometry().center());
    QCOMPARE(clicks.count(), 2);
    QVERIFY(!m_button->isDown());
}

void TestSkinButton::losingFocusWhilePressedDoesNotClick()
{
    QSignalSpy clicks(m_button, &QAbstractButton::clicked);
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QTest::mousePress(m_button, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(m_button->IsPressed());
    m_other->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(!m_button->IsPressed());
    QVERIFY(!m_button->isDown());
    QTest::mouseRelease(m_button, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(clicks.count(), 0);
}

void TestSkinButton::pressedCaptionMovesDownRight()
{
    m_button->setText(QStringLiteral("Refresh"));
    const QRect normal = BoxOf(m_button->grab().toImage(), Caption);
    QVERIFY(!normal.isEmpty());
    QTest::mousePress(m_button, Qt::LeftButton, {}, QPoint(3, 3));
    const QRect pressed = BoxOf(m_button->grab().toImage(), Caption);
    QTest::mouseRelease(m_button, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(pressed, normal.translated(1, 1));
    // Centred horizontally within the face (the text area loses 2 px at each side).
    QVERIFY(qAbs(normal.center().x() - FaceSize.width() / 2) <= 2);
}

void TestSkinButton::disabledCaptionIsEmbossed()
{
    m_button->setText(QStringLiteral("Map Drive"));
    const QRect enabledBox = BoxOf(m_button->grab().toImage(), Caption);
    m_button->setEnabled(false);
    const QImage image = m_button->grab().toImage();
    const QColor under = m_button->palette().color(QPalette::Active, QPalette::WindowText);
    const QColor grey = m_button->palette().color(QPalette::Disabled, QPalette::WindowText);
    QVERIFY(under != grey);
    QVERIFY(under != DisabledFace && grey != DisabledFace);
    // The caption colour of the enabled button is not used.
    QVERIFY(BoxOf(image, Caption).isEmpty());
    const QRect greyBox = BoxOf(image, grey);
    const QRect underBox = BoxOf(image, under);
    QVERIFY(!greyBox.isEmpty());
    QVERIFY(!underBox.isEmpty());
    // The grey copy lies one pixel up and left of the first one, which sits where the
    // enabled caption sits.
    QCOMPARE(underBox, enabledBox);
    QCOMPARE(greyBox.topLeft(), underBox.topLeft() - QPoint(1, 1));
    QCOMPARE(greyBox.size(), underBox.size());
}

void TestSkinButton::captionColour()
{
    QCOMPARE(CxSkinButton().TextColor(), CxSkinButton().palette().color(QPalette::Active, QPalette::ButtonText));
    m_button->setText(QStringLiteral("OK"));
    const QColor orange(255, 132, 0);
    m_button->SetTextColor(orange);
    QVERIFY(!BoxOf(m_button->grab().toImage(), orange).isEmpty());
    QVERIFY(BoxOf(m_button->grab().toImage(), Caption).isEmpty());
}

void TestSkinButton::mnemonicIsDrawnUnderlined()
{
    m_button->setText(QStringLiteral("Map"));
    const QImage plainImage = m_button->grab().toImage();
    const QRect plain = BoxOf(plainImage, Caption);
    m_button->setText(QStringLiteral("&Map"));
    const QImage marked = m_button->grab().toImage();
    // No "&" is drawn: the only difference to "Map" is an underline, in the caption colour,
    // one or two pixel rows high, under the "M" only.
    QRect added;
    for (int y = 0; y < marked.height(); ++y) {
        for (int x = 0; x < marked.width(); ++x) {
            if (marked.pixelColor(x, y) != plainImage.pixelColor(x, y)) {
                QCOMPARE(marked.pixelColor(x, y), Caption);
                added |= QRect(x, y, 1, 1);
            }
        }
    }
    QVERIFY(!added.isEmpty());
    QVERIFY(added.height() <= 2);
    QVERIFY(added.top() > plain.center().y());
    QVERIFY(qAbs(added.left() - plain.left()) <= 2);
    QVERIFY(added.width() < plain.width() / 2);
}

void TestSkinButton::doubleAmpersandIsLiteral()
{
    m_button->setText(QStringLiteral("Map"));
    const QRect plain = BoxOf(m_button->grab().toImage(), Caption);
    m_button->setText(QStringLiteral("&&Map"));
    const QRect literal = BoxOf(m_button->grab().toImage(), Caption);
    const QFontMetrics metrics(CaptionFont());
    // One ampersand is drawn in front of "Map".
    QVERIFY(qAbs(literal.width() - plain.width() - metrics.horizontalAdvance(QLatin1Char('&'))) <= 2);
    QCOMPARE(literal.bottom(), plain.bottom());
}

void TestSkinButton::altLetterClicks()
{
    QSignalSpy clicks(m_button, &QAbstractButton::clicked);
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_other->setFocus();
    m_button->setText(QStringLiteral("&Map"));
    QTest::keyClick(m_window, Qt::Key_M, Qt::AltModifier);
    QTRY_COMPARE(clicks.count(), 1);
    // "&&" is a literal ampersand, not a mnemonic.
    m_button->setText(QStringLiteral("&&Map"));
    QTest::keyClick(m_window, Qt::Key_M, Qt::AltModifier);
    QTest::qWait(300);
    QCOMPARE(clicks.count(), 1);
}

void TestSkinButton::keyboardClicks()
{
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* first = new CxSkinButton(&dialog);
    auto* second = new CxSkinButton(&dialog);
    for (CxSkinButton* button : {first, second}) {
        button->SetSkin(Solid(NormalFace), Solid(PressedFace), Solid(OverFace), Solid(DisabledFace));
        button->setFixedSize(FaceSize);
        layout->addWidget(button);
    }
    QSignalSpy firstClicks(first, &QAbstractButton::clicked);
    QSignalSpy secondClicks(second, &QAbstractButton::clicked);
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    second->setFocus();
    QTest::keyClick(second, Qt::Key_Space);
    QCOMPARE(secondClicks.count(), 1);
    // Enter clicks the focused button of a dialog; Tab moves the focus to the other one.
    QTest::keyClick(second, Qt::Key_Return);
    QCOMPARE(secondClicks.count(), 2);
    QTest::keyClick(&dialog, Qt::Key_Tab);
    QTRY_VERIFY(first->hasFocus());
    QTest::keyClick(first, Qt::Key_Space);
    QCOMPARE(firstClicks.count(), 1);
    QCOMPARE(secondClicks.count(), 2);
}

void TestSkinButton::accessibleName()
{
    m_button->setText(QStringLiteral("&Map Drive"));
    QAccessibleInterface* captioned = QAccessible::queryAccessibleInterface(m_button);
    QVERIFY(captioned != nullptr);
    QCOMPARE(captioned->text(QAccessible::Name), QStringLiteral("Map Drive"));
    QCOMPARE(captioned->role(), QAccessible::PushButton);

    auto* close = new CxSkinButton(m_window);
    close->SetSkin(Solid(NormalFace, QSize(22, 22)), QImage(), QImage(), QImage());
    close->setAccessibleName(QStringLiteral("Close"));
    QAccessibleInterface* iconOnly = QAccessible::queryAccessibleInterface(close);
    QVERIFY(iconOnly != nullptr);
    QCOMPARE(iconOnly->text(QAccessible::Name), QStringLiteral("Close"));
}

void TestSkinButton::skinFromResources()
{
    const QImage normal = qvres::SkinBitmap(234);
    const QImage pressed = qvres::SkinBitmap(235);
    if (normal.isNull() || pressed.isNull()) {
        QSKIP("skin bitmaps 234/235 are not compiled in");
    }
    // 9999 names no bitmap: the disabled face stays empty and is filled.
    m_button->SetSkin(234, 235, 235, 9999);
    QCOMPARE(m_button->sizeHint(), normal.size());
    QCOMPARE(PixelAt(m_button, QPoint(1, 1)), normal.pixelColor(1, 1));
    QTest::mousePress(m_button, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(PixelAt(m_button, QPoint(1, 1)), pressed.pixelColor(1, 1));
    QTest::mouseRelease(m_button, Qt::LeftButton, {}, QPoint(3, 3));
    m_button->setEnabled(false);
    QCOMPARE(PixelAt(m_button, QPoint(1, 1)), m_button->palette().color(QPalette::Active, QPalette::Button));
}

QTEST_MAIN(TestSkinButton)
#include "TestSkinButton.moc"
