// The skinned button: which face shows after which pointer steps, the click rules, and the caption.
#include "CxSkinButton.h"
#include "Resources.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QColor NormalFace(10, 20, 30), PressedFace(200, 40, 40), OverFace(40, 200, 40), DisabledFace(40, 40, 200);
const QColor Caption(193, 193, 193), Behind(12, 34, 56);
constexpr QSize FaceSize(108, 32);

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

    QImage Grab() const { return m_button->grab().toImage(); }

    QWidget* m_window = nullptr;
    CxSkinButton* m_button = nullptr;

private slots:
    void init()
    {
        m_window = new QWidget;
        m_window->resize(300, 120);
        QPalette palette = m_window->palette();
        palette.setColor(QPalette::Window, Behind);
        m_window->setPalette(palette);
        m_window->setAutoFillBackground(true);
        m_button = new CxSkinButton(m_window);
        QCOMPARE(m_button->TextColor(), m_button->palette().color(QPalette::Active, QPalette::ButtonText));
        m_button->setGeometry(QRect(QPoint(20, 20), FaceSize));
        m_button->SetSkin(Solid(NormalFace), Solid(PressedFace), Solid(OverFace), Solid(DisabledFace));
        m_button->SetTextColor(Caption);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(16);
        font.setStyleStrategy(QFont::NoAntialias); // exact colours are compared
        m_button->setFont(font);
        (new QLineEdit(m_window))->setGeometry(150, 80, 100, 24);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        QTest::mouseMove(m_window, QPoint(280, 110)); // the pointer starts away from the button
    }

    void cleanup() { delete m_window; }

    void facesAndClicks_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QColor>("face"); // invalid: the palette's button-face fill
        QTest::addColumn<int>("clicks");
        QTest::newRow("normal") << "" << NormalFace << 0;
        QTest::newRow("hover") << "in" << OverFace << 0;
        QTest::newRow("leave restores normal") << "in leave" << NormalFace << 0;
        QTest::newRow("a click ends the hover look") << "in press release" << NormalFace << 1;
        QTest::newRow("until the pointer moves") << "in press release in2" << OverFace << 1;
        QTest::newRow("pressed") << "press" << PressedFace << 0;
        QTest::newRow("slid off shows normal") << "press off" << NormalFace << 0;
        QTest::newRow("slid back to the last pixel") << "press off edge" << PressedFace << 0;
        QTest::newRow("released off: no click") << "press off release" << NormalFace << 0;
        QTest::newRow("released back on: click") << "press off edge release" << NormalFace << 1;
        QTest::newRow("focus lost while pressed: no click") << "press focus release" << NormalFace << 0;
        QTest::newRow("focus lost, back over it: not pressed") << "press focus off in2" << NormalFace << 0;
        QTest::newRow("focus lost, back over it, released: no click")
            << "press focus off in2 release" << NormalFace << 0;
        QTest::newRow("focus lost, a small move on it, released: no click")
            << "press focus in2 release" << NormalFace << 0;
        QTest::newRow("after a lost press the next press clicks")
            << "press focus release press release" << NormalFace << 1;
        QTest::newRow("a right press keeps the hover face") << "in rpress" << OverFace << 0;
        QTest::newRow("double click is two clicks") << "double" << NormalFace << 2;
        QTest::newRow("disabled") << "disable" << DisabledFace << 0;
        QTest::newRow("no normal face: filled") << "unskin" << QColor() << 0;
        QTest::newRow("no normal face wins over hover") << "unskin in" << QColor() << 0;
    }

    void facesAndClicks()
    {
        QFETCH(QString, steps);
        QFETCH(QColor, face);
        QFETCH(int, clicks);
        QSignalSpy clicked(m_button, &QAbstractButton::clicked);
        const QMap<QString, QPoint> moves = {
            {"in", {10, 10}}, {"in2", {13, 10}}, {"off", {108, 10}}, {"edge", {107, 31}}};
        QPoint at(10, 10);
        for (const QString& step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (moves.contains(step)) {
                QTest::mouseMove(m_button, at = moves[step]);
            } else if (step == "leave") {
                QTest::mouseMove(m_window, QPoint(280, 5));
            } else if (step == "press") {
                QTest::mousePress(m_button, Qt::LeftButton, {}, at);
            } else if (step == "release") {
                QTest::mouseRelease(m_button, Qt::LeftButton, {}, at);
            } else if (step == "rpress") {
                QTest::mousePress(m_button, Qt::RightButton, {}, at);

            } else if (step == "focus") {
                m_window->findChild<QLineEdit*>()->setFocus(Qt::OtherFocusReason);
                QTRY_VERIFY(!m_button->IsPressed() && !m_button->isDown());
            } else if (step == "double") { // through the window, so that the platform makes one
                QTest::mouseDClick(m_window->windowHandle(), Qt::LeftButton, {}, m_button->geometry().center());
            } else if (step == "disable") {
                m_button->setEnabled(false);
            } else if (step == "unskin") {
                m_button->SetSkin(QImage(), Solid(PressedFace), Solid(OverFace), Solid(DisabledFace));
            }
        }
        face = face.isValid() ? face : m_button->palette().color(QPalette::Active, QPalette::Button);
        QTRY_COMPARE_WITH_TIMEOUT(Grab().pixelColor(1, 1), face, 2000); // the corners carry no caption
        QCOMPARE(Grab().pixelColor(FaceSize.width() - 1, FaceSize.height() - 1), face);
        QCOMPARE(clicked.count(), clicks);
    }

    // The dotted focus frame: drawn inside the face in the caption colour on a button that got
    // the focus from the keyboard, never on one the mouse focused.
    void focusCueOnlyAfterKeyboardUse_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("cue");
        QTest::newRow("clicked") << "click" << false;
        QTest::newRow("focused by code") << "code" << false;
        QTest::newRow("tabbed to") << "tab" << true;
        QTest::newRow("tabbed away") << "tab away" << false;
        QTest::newRow("tabbed to, then clicked: cues stay") << "tab click" << true;
    }

    void focusCueOnlyAfterKeyboardUse()
    {
        QFETCH(QString, how);
        QFETCH(bool, cue);
        auto* edit = m_window->findChild<QLineEdit*>();
        edit->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(edit->hasFocus());
        for (const QString& step : how.split(QLatin1Char(' '))) {
            if (step == "click") {
                QTest::mouseClick(m_button, Qt::LeftButton, {}, QPoint(10, 10));
            } else if (step == "code") {
                m_button->setFocus(Qt::OtherFocusReason);
            } else if (step == "tab") {
                QTest::keyClick(edit, Qt::Key_Tab);
            } else if (step == "away") {
                QTest::keyClick(m_button, Qt::Key_Tab);
            }
        }
        QTRY_COMPARE(m_button->hasFocus(), how != "tab away");
        QTest::mouseMove(m_window, QPoint(280, 110));
        QCoreApplication::processEvents();
        const QImage face = Grab();
        int captionPixels = 0;
        for (int y = 0; y < face.height(); ++y) {
            for (int x = 0; x < face.width(); ++x) {
                captionPixels += face.pixelColor(x, y) == Caption ? 1 : 0;
            }
        }
        if (!cue) {
            QCOMPARE(captionPixels, 0); // no caption text is set: any caption pixel is the frame
            return;
        }
        // A dotted frame a few pixels inside the face: every other pixel of its top row.
        const QRect box = BoxOf(face, Caption);
        QVERIFY2(box.left() >= 2 && box.left() <= 4 && box.top() >= 2 && box.top() <= 4,
                 qPrintable(QStringLiteral("%1,%2").arg(box.left()).arg(box.top())));
        QVERIFY(box.right() >= FaceSize.width() - 5 && box.bottom() >= FaceSize.height() - 5);
        int onTop = 0;
        for (int x = box.left(); x <= box.right(); ++x) {
            onTop += face.pixelColor(x, box.top()) == Caption ? 1 : 0;
        }
        QVERIFY2(onTop > box.width() / 3 && onTop < box.width() * 2 / 3, qPrintable(QString::number(onTop)));
    }

    void captionCentredShiftedWhenPressedEmbossedWhenDisabled()
    {
        m_button->setText(QStringLiteral("Map Drive"));
        const QRect normal = BoxOf(Grab(), Caption);
        QVERIFY(!normal.isEmpty() && qAbs(normal.center().x() - FaceSize.width() / 2) <= 2);
        QTest::mousePress(m_button, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(BoxOf(Grab(), Caption), normal.translated(1, 1));
        QTest::mouseRelease(m_button, Qt::LeftButton, {}, QPoint(10, 10));
        // Disabled: a copy in the plain text colour where the caption sits, and a grey one of
        // the same size one pixel up and left of it; none in the caption colour.
        m_button->setEnabled(false);
        const QImage image = Grab();
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
        const QImage plain = Grab();
        const int width = BoxOf(plain, Caption).width();
        m_button->setText(QStringLiteral("&Map")); // no "&" drawn, but the "M" underlined
        QVERIFY(qAbs(BoxOf(Grab(), Caption).width() - width) <= 1 && Grab() != plain);
        m_button->setText(QStringLiteral("&&Map"));
        const int ampersand = m_button->fontMetrics().horizontalAdvance(QLatin1Char('&'));
        QVERIFY(qAbs(BoxOf(Grab(), Caption).width() - width - ampersand) <= 2);
    }

    void skinFromResources()
    {
        m_button->SetSkin(234, 235, 235, 9999); // 9999 names no bitmap: that face is filled
        QCOMPARE(m_button->sizeHint(), qvres::SkinBitmap(234).size());
        QCOMPARE(Grab().pixelColor(1, 1), qvres::SkinBitmap(234).pixelColor(1, 1));
        QTest::mousePress(m_button, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(Grab().pixelColor(1, 1), qvres::SkinBitmap(235).pixelColor(1, 1));
        QTest::mouseRelease(m_button, Qt::LeftButton, {}, QPoint(10, 10));
        m_button->resize(110, 33); // as the boxes' OK button: the skin behind, not a seam, beside the face
        QCOMPARE(m_window->grab().toImage().pixelColor(m_button->pos() + QPoint(109, 32)), Behind);
        m_button->setEnabled(false);
        QCOMPARE(Grab().pixelColor(1, 1), m_button->palette().color(QPalette::Active, QPalette::Button));
    }
};

QTEST_MAIN(TestSkinButton)
#include "TestSkinButton.moc"
