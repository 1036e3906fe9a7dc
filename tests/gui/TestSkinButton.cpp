// The skinned button: which face shows in which state, the caption, and the click rules.
#include "CxSkinButton.h"
#include "Resources.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QColor NormalFace(10, 20, 30), PressedFace(200, 40, 40), OverFace(40, 200, 40), DisabledFace(40, 40, 200);
const QColor Caption(193, 193, 193);
constexpr QSize FaceSize(108, 32);
constexpr QPoint Inside(10, 10), Outside(108, 10);

QImage Solid(const QColor& color)
{
    QImage image(FaceSize, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// The bounding box of the pixels of one exact colour.
QRect BoxOf(const QImage& image, const QColor& color)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            box |= image.pixelColor(x, y) == color ? QRect(x, y, 1, 1) : QRect();
        }
    }
    return box;
}

} // namespace

class TestSkinButton : public QObject
{
    Q_OBJECT

    QColor Face() const { return m_button->grab().toImage().pixelColor(1, 1); }
    QRect CaptionBox() const { return BoxOf(m_button->grab().toImage(), Caption); }

    QWidget* m_window = nullptr;
    CxSkinButton* m_button = nullptr;
    QLineEdit* m_other = nullptr;

private slots:
    void init()
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

    void cleanup()
    {
        if (m_button->IsPressed()) {
            QTest::mouseRelease(m_button, Qt::LeftButton, {}, Inside);
        }
        delete m_window;
    }

    void faces_data()
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

    void faces()
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
        } else if (state == "disabled") {
            m_button->setEnabled(false);
        }
        const QImage image = m_button->grab().toImage(); // the corners carry no caption
        QCOMPARE(image.pixelColor(1, 1), face);
        QCOMPARE(image.pixelColor(FaceSize.width() - 1, FaceSize.height() - 1), face);
    }

    void hoverEndsOnLeaveAndOnPress()
    {
        QTest::mouseMove(m_button, Inside);
        QTRY_COMPARE(Face(), OverFace);
        QTest::mouseMove(m_window, QPoint(280, 5));
        QTRY_COMPARE(Face(), NormalFace);
        QTest::mouseMove(m_button, Inside);
        QTRY_VERIFY(m_button->IsHover());
        QTest::mouseClick(m_button, Qt::LeftButton, {}, Inside);
        QCOMPARE(Face(), NormalFace); // until the pointer moves again
        QTest::mouseMove(m_button, Inside + QPoint(3, 0));
        QTRY_COMPARE(Face(), OverFace);
    }

    void clickNeedsPressAndReleaseOnTheButton()
    {
        QSignalSpy clicks(m_button, &QAbstractButton::clicked);
        QTest::mousePress(m_button, Qt::LeftButton, {}, Inside);
        QTest::mouseMove(m_button, Outside);
        QTRY_COMPARE(Face(), NormalFace);
        QTest::mouseMove(m_button, QPoint(FaceSize.width() - 1, FaceSize.height() - 1)); // still on it
        QTRY_COMPARE(Face(), PressedFace);
        QTest::mouseRelease(m_button, Qt::LeftButton, {}, Inside);
        QCOMPARE(clicks.count(), 1);
        QTest::mousePress(m_button, Qt::LeftButton, {}, Inside);
        QTest::mouseMove(m_button, Outside);
        QTest::mouseRelease(m_button, Qt::LeftButton, {}, Outside);
        QCOMPARE(clicks.count(), 1);
        // Losing the focus while pressed ends the press.
        QTest::mousePress(m_button, Qt::LeftButton, {}, Inside);
        m_other->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(!m_button->IsPressed() && !m_button->isDown());
        QTest::mouseRelease(m_button, Qt::LeftButton, {}, Inside);
        QCOMPARE(clicks.count(), 1);
        // A double click (through the window, so the platform makes one) is two clicks.
        QTest::mouseDClick(m_window->windowHandle(), Qt::LeftButton, {}, m_button->geometry().center());
        QCOMPARE(clicks.count(), 3);
    }

    void captionCentredShiftedWhenPressedEmbossedWhenDisabled()
    {
        m_button->setText(QStringLiteral("Map Drive"));
        const QRect normal = CaptionBox();
        QVERIFY(!normal.isEmpty() && qAbs(normal.center().x() - FaceSize.width() / 2) <= 2);
        QTest::mousePress(m_button, Qt::LeftButton, {}, Inside);
        QCOMPARE(CaptionBox(), normal.translated(1, 1));
        QTest::mouseRelease(m_button, Qt::LeftButton, {}, Inside);
        // Disabled: a copy in the plain text colour where the caption sits, and a grey one of
        // the same size one pixel up and left of it; none in the caption colour.
        m_button->setEnabled(false);
        const QImage image = m_button->grab().toImage();
        const QColor under = m_button->palette().color(QPalette::Active, QPalette::WindowText);
        const QColor grey = m_button->palette().color(QPalette::Disabled, QPalette::WindowText);
        QVERIFY(under != grey && under != DisabledFace && grey != DisabledFace);
        QVERIFY(BoxOf(image, Caption).isEmpty());
        QCOMPARE(BoxOf(image, under), normal);
        QCOMPARE(BoxOf(image, grey), normal.translated(-1, -1));
    }

    void ampersandMarksMnemonicAndDoubleAmpersandIsLiteral()
    {
        m_button->setText(QStringLiteral("Map"));
        const QImage plain = m_button->grab().toImage();
        const int width = BoxOf(plain, Caption).width();
        m_button->setText(QStringLiteral("&Map")); // no "&" drawn, but the "M" underlined
        QVERIFY(qAbs(CaptionBox().width() - width) <= 1 && m_button->grab().toImage() != plain);
        m_button->setText(QStringLiteral("&&Map"));
        const int ampersand = m_button->fontMetrics().horizontalAdvance(QLatin1Char('&'));
        QVERIFY(qAbs(CaptionBox().width() - width - ampersand) <= 2);
    }

    void skinFromResources()
    {
        m_button->SetSkin(234, 235, 235, 9999); // 9999 names no bitmap: that face is filled
        QCOMPARE(m_button->sizeHint(), qvres::SkinBitmap(234).size());
        QCOMPARE(Face(), qvres::SkinBitmap(234).pixelColor(1, 1));
        QTest::mousePress(m_button, Qt::LeftButton, {}, Inside);
        QCOMPARE(Face(), qvres::SkinBitmap(235).pixelColor(1, 1));
        QTest::mouseRelease(m_button, Qt::LeftButton, {}, Inside);
        m_button->setEnabled(false);
        QCOMPARE(Face(), m_button->palette().color(QPalette::Active, QPalette::Button));
    }
};

QTEST_MAIN(TestSkinButton)
#include "TestSkinButton.moc"
