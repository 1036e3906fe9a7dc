// The skinned button: which face shows in which state, the caption, and the click rules.
#include "CxSkinButton.h"
#include "Resources.h"

#include <QAccessible>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QColor NormalFace(10, 20, 30);
const QColor PressedFace(200, 40, 40);
const QColor OverFace(40, 200, 40);
const QColor DisabledFace(40, 40, 200);
const QColor Caption(193, 193, 193);
constexpr QSize FaceSize(108, 32);
constexpr QPoint Inside(10, 10);

QImage Solid(const QColor& color, QSize size = FaceSize)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
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

} // namespace

class TestSkinButton : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void faces_data();
    void faces();
    void smallerFaceShowsWindowAroundIt();
    void hoverEndsOnLeaveAndOnPress();
    void slideOffAndBack();
    void releaseOutsideOrFocusLossDoesNotClick();
    void doubleClickGivesTwoClicks();
    void captionPlacement();
    void mnemonicUnderlinesAndDoubleAmpersandIsLiteral();
    void altLetterClicks();
    void accessibleName();
    void skinFromResources();

private:
    QColor Face() const { return m_button->grab().toImage().pixelColor(1, 1); }
    QRect CaptionBox() const { return BoxOf(m_button->grab().toImage(), Caption); }

    QWidget* m_window = nullptr;
    CxSkinButton* m_button = nullptr;
    QLineEdit* m_other = nullptr;
};

void TestSkinButton::init()
{
    m_window = new QWidget;
    m_window->resize(300, 120);
    m_button = new CxSkinButton(m_window);
    QCOMPARE(m_button->TextColor(), m_button->palette().color(QPalette::Active, QPalette::ButtonText));
    m_button->setGeometry(QRect(QPoint(20, 20), FaceSize));
    m_button->SetSkin(Solid(NormalFace), Solid(PressedFace), Solid(OverFace), Solid(DisabledFace));
    m_button->SetTextColor(Caption);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(16);
    font.setStyleStrategy(QFont::NoAntialias); // exact colours are compared
    m_button->setFont(font);
    m_other = new QLineEdit(m_window);
    m_other->setGeometry(150, 80, 100, 24);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QTest::mouseMove(m_window, QPoint(280, 110)); // the pointer starts away from the button
}

void TestSkinButton::cleanup()
{
    if (m_button->IsPressed()) {
        QTest::mouseRelease(m_button, Qt::LeftButton, {}, Inside);
    }
    delete m_window;
}

void TestSkinButton::faces_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("withNormal");
    QTest::addColumn<QColor>("face"); // invalid: the palette's button-face fill
    QTest::newRow("normal") << "normal" << true << NormalFace;
    QTest::newRow("hover") << "hover" << true << OverFace;
    QTest::newRow("pressed") << "pressed" << true << PressedFace;
    QTest::newRow("disabled") << "disabled" << true << DisabledFace;
    QTest::newRow("empty normal face is filled") << "normal" << false << QColor();
    QTest::newRow("missing normal face wins over hover") << "hover" << false << QColor();
}

void TestSkinButton::faces()
{
    QFETCH(QString, state);
    QFETCH(bool, withNormal);
    QFETCH(QColor, face);
    if (!withNormal) {
        m_button->SetSkin(QImage(), Solid(PressedFace), Solid(OverFace), Solid(DisabledFace));
        face = m_button->palette().color(QPalette::Active, QPalette::Button);
    }
    if (state == "hover") {
        QTest::mouseMove(m_button, Inside);
        QTRY_VERIFY(m_button->IsHover());
    } else if (state == "pressed") {
        QTest::mousePress(m_button, Qt::LeftButton, {}, Inside);
        QVERIFY(m_button->isDown() && m_button->IsPressed());
    } else if (state == "disabled") {
        m_button->setEnabled(false);
    }
    // Corners carry no caption.
    const QImage image = m_button->grab().toImage();
    QCOMPARE(image.pixelColor(1, 1), face);
    QCOMPARE(image.pixelColor(FaceSize.width() - 1, FaceSize.height() - 1), face);
}

void TestSkinButton::smallerFaceShowsWindowAroundIt()
{
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

void TestSkinButton::hoverEndsOnLeaveAndOnPress()
{
    QTest::mouseMove(m_button, Inside);
    QTRY_COMPARE(Face(), OverFace);
    QTest::mouseMove(m_window, QPoint(280, 5));
    QTRY_VERIFY(!m_button->IsHover());
    QCOMPARE(Face(), NormalFace);
    // A click ends the hover look until the pointer moves again.
    QTest::mouseMove(m_button, Inside);
    QTRY_VERIFY(m_button->IsHover());
    QTest::mouseClick(m_button, Qt::LeftButton, {}, Inside);
    QVERIFY(!m_button->IsHover());
    QCOMPARE(Face(), NormalFace);
    QTest::mouseMove(m_button, Inside + QPoint(3, 0));
    QTRY_COMPARE(Face(), OverFace);
}

void TestSkinButton::slideOffAndBack()
{
    QSignalSpy clicks(m_button, &QAbstractButton::clicked);
    QTest::mousePress(m_button, Qt::LeftButton, {}, Inside);
    QCOMPARE(Face(), PressedFace);
    QTest::mouseMove(m_button, QPoint(FaceSize.width() + 30, 10));
    QTRY_VERIFY(!m_button->isDown());
    QCOMPARE(Face(), NormalFace);
    QTest::mouseMove(m_button, Inside);
    QTRY_VERIFY(m_button->isDown());
    QCOMPARE(Face(), PressedFace);
    QTest::mouseRelease(m_button, Qt::LeftButton, {}, Inside);
    QCOMPARE(clicks.count(), 1);
    QVERIFY(!m_button->IsPressed());
}

void TestSkinButton::releaseOutsideOrFocusLossDoesNotClick()
{
    QSignalSpy clicks(m_button, &QAbstractButton::clicked);
    const QPoint outside(FaceSize.width(), 10);
    QTest::mousePress(m_button, Qt::LeftButton, {}, QPoint(FaceSize.width() - 1, 10));
    QTest::mouseMove(m_button, outside);
    QTest::mouseRelease(m_button, Qt::LeftButton, {}, outside);
    QCOMPARE(clicks.count(), 0);
    QVERIFY(!m_button->isDown());
    QCOMPARE(Face(), NormalFace);
    // Losing the focus while pressed ends the press.
    QTest::mousePress(m_button, Qt::LeftButton, {}, Inside);
    m_other->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(!m_button->IsPressed());
    QVERIFY(!m_button->isDown());
    QTest::mouseRelease(m_button, Qt::LeftButton, {}, Inside);
    QCOMPARE(clicks.count(), 0);
    // The last pixel column and row still belong to the button.
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

void TestSkinButton::captionPlacement()
{
    m_button->setText(QStringLiteral("Map Drive"));
    const QRect normal = CaptionBox();
    QVERIFY(!normal.isEmpty());
    // Centred horizontally within the face (the text area loses 2 px at each side).
    QVERIFY(qAbs(normal.center().x() - FaceSize.width() / 2) <= 2);
    QTest::mousePress(m_button, Qt::LeftButton, {}, Inside);
    QCOMPARE(CaptionBox(), normal.translated(1, 1));
    QTest::mouseRelease(m_button, Qt::LeftButton, {}, Inside);
    // Disabled, embossed and not in the caption colour: a copy in the text colour where the
    // enabled caption sits, and a grey one of the same size one pixel up and left of it.
    m_button->setEnabled(false);
    const QImage image = m_button->grab().toImage();
    const QColor under = m_button->palette().color(QPalette::Active, QPalette::WindowText);
    const QColor grey = m_button->palette().color(QPalette::Disabled, QPalette::WindowText);
    QVERIFY(under != grey && under != DisabledFace && grey != DisabledFace);
    QVERIFY(BoxOf(image, Caption).isEmpty());
    QCOMPARE(BoxOf(image, under), normal);
    QCOMPARE(BoxOf(image, grey), normal.translated(-1, -1));
}

void TestSkinButton::mnemonicUnderlinesAndDoubleAmpersandIsLiteral()
{
    m_button->setText(QStringLiteral("Map"));
    const QImage plainImage = m_button->grab().toImage();
    const QRect plain = BoxOf(plainImage, Caption);
    m_button->setText(QStringLiteral("&Map"));
    const QImage marked = m_button->grab().toImage();
    // No "&" is drawn: the only difference to "Map" is an underline in the caption colour,
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
    QVERIFY(!added.isEmpty() && added.height() <= 2);
    QVERIFY(added.top() > plain.center().y());
    QVERIFY(qAbs(added.left() - plain.left()) <= 2);
    QVERIFY(added.width() < plain.width() / 2);
    // "&&": one ampersand drawn in front of "Map", nothing underlined.
    m_button->setText(QStringLiteral("&&Map"));
    const QRect literal = CaptionBox();
    QVERIFY(qAbs(literal.width() - plain.width() - m_button->fontMetrics().horizontalAdvance(QLatin1Char('&'))) <= 2);
    QCOMPARE(literal.bottom(), plain.bottom());
}

void TestSkinButton::altLetterClicks()
{
    QSignalSpy clicks(m_button, &QAbstractButton::clicked);
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
    QCOMPARE(QAccessible::queryAccessibleInterface(close)->text(QAccessible::Name), QStringLiteral("Close"));
}

void TestSkinButton::skinFromResources()
{
    const QImage normal = qvres::SkinBitmap(234);
    const QImage pressed = qvres::SkinBitmap(235);
    // 9999 names no bitmap: the disabled face stays empty and is filled.
    m_button->SetSkin(234, 235, 235, 9999);
    QCOMPARE(m_button->sizeHint(), normal.size());
    QCOMPARE(Face(), normal.pixelColor(1, 1));
    QTest::mousePress(m_button, Qt::LeftButton, {}, Inside);
    QCOMPARE(Face(), pressed.pixelColor(1, 1));
    QTest::mouseRelease(m_button, Qt::LeftButton, {}, Inside);
    m_button->setEnabled(false);
    QCOMPARE(Face(), m_button->palette().color(QPalette::Active, QPalette::Button));
}

QTEST_MAIN(TestSkinButton)
#include "TestSkinButton.moc"
