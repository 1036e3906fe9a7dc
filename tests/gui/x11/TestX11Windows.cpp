// The windows on a real X server with a window manager, as a user sees them: the shape after a
// minimise and restore, the boxes' place and shape, and a second start that brings back a
// minimised window. Run by x11-session.sh (Xvfb and openbox), never on the offscreen platform.

#include "CMsgBox.h"
#include "CSkinListCtrl.h"
#include "Cqv_discoveryDlg.h"
#include "FakeDiscovery.h"
#include "Resources.h"
#include "SingleInstance.h"
#include "SkinWindow.h"
#include "protocol.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

namespace {

const QColor Backdrop(255, 0, 255);

// What the screen shows over rect (global coordinates).
QImage Screen(const QRect& rect)
{
    return QGuiApplication::primaryScreen()->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height()).toImage();
}

bool Near(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 &&
           std::abs(a.blue() - b.blue()) <= 2;
}

// Every pixel of the window's rectangle on screen: the backdrop outside the cut-corner shape,
// the picture inside it (sampled where no control covers it).
QString CheckShapedAndSkinned(const QWidget& window, const QImage& picture, const QList<QPoint>& insidePoints)
{
    const QImage shot = Screen(window.geometry());
    const QRegion shape = RoundedRegion(window.width(), window.height());
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 9; ++x) {
            for (const QPoint p : {QPoint(x, y), QPoint(window.width() - 1 - x, y), QPoint(x, window.height() - 1 - y),
                                   QPoint(window.width() - 1 - x, window.height() - 1 - y)}) {
                const bool inside = shape.contains(p);
                const QColor seen = shot.pixelColor(p);
                if (!inside && !Near(seen, Backdrop)) {
                    return QStringLiteral("(%1,%2) outside the shape shows %3").arg(p.x()).arg(p.y()).arg(seen.name());
                }
                if (inside && Near(seen, Backdrop)) {
                    return QStringLiteral("(%1,%2) inside the shape shows the backdrop").arg(p.x()).arg(p.y());
                }
            }
        }
    }
    for (const QPoint p : insidePoints) {
        if (!Near(shot.pixelColor(p), picture.pixelColor(p))) {
            return QStringLiteral("(%1,%2) shows %3, the picture %4")
                .arg(p.x())
                .arg(p.y())
                .arg(shot.pixelColor(p).name(), picture.pixelColor(p).name());
        }
    }
    return {};
}

} // namespace

class TestX11Windows : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> m_backdrop;

    std::unique_ptr<Cqv_discoveryDlg> OpenMainWindow()
    {
        fake::SetScript({fake::MakerDevice("Alpha", "10.0.0.1")});
        auto window = std::make_unique<Cqv_discoveryDlg>(nullptr, fake::WorkerEntry);
        window->move(200, 80);
        window->show();
        if (!QTest::qWaitForWindowActive(window.get()) ||
            !QTest::qWaitFor([&] { return !window->IsSearching(); }, 5000)) {
            return nullptr;
        }
        QTest::qWait(200); // the window manager's placement and the first paints settle
        return window;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QGuiApplication::platformName() == QLatin1String("xcb"));
        qvd::timing().pollIntervalMs.store(10);
        // A plain backdrop behind the windows: what shows outside their shape.
        m_backdrop = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        QPalette palette;
        palette.setColor(QPalette::Window, Backdrop);
        m_backdrop->setPalette(palette);
        m_backdrop->setAutoFillBackground(true);
        m_backdrop->setGeometry(QGuiApplication::primaryScreen()->geometry());
        m_backdrop->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_backdrop.get()));
    }

    void cleanupTestCase() { m_backdrop.reset(); }

    void minimiseAndRestoreKeepShapeAndSkin()
    {
        const std::unique_ptr<Cqv_discoveryDlg> window = OpenMainWindow();
        QVERIFY(window != nullptr);
        const QImage picture = qvres::SkinBitmap(229);
        const QList<QPoint> inside = {{8, 0}, {60, 40}, {250, 5}, {8, 582}, {489, 300}, {250, 320}};
        QString fault = CheckShapedAndSkinned(*window, picture, inside);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));

        QTest::mouseClick(window->ControlById(qvd::IdMinimiseButton), Qt::LeftButton);
        QTRY_VERIFY(window->isMinimized());
        // Only the taskbar entry is left: the screen shows the backdrop where the window was.
        QTRY_VERIFY(Near(Screen(window->geometry()).pixelColor(250, 320), Backdrop));

        window->showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_VERIFY_WITH_TIMEOUT(CheckShapedAndSkinned(*window, picture, inside).isEmpty(), 3000);
        fault = CheckShapedAndSkinned(*window, picture, inside);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }

    // The no-device box opens centred over the main window, wherever the window stands, shaped
    // (the main window's pixels show at its cut corners).
    void boxCentredOverTheWindowAndShaped_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::newRow("left") << QPoint(60, 60);
        QTest::newRow("right") << QPoint(460, 150);
    }

    void boxCentredOverTheWindowAndShaped()
    {
        QFETCH(QPoint, at);
        const std::unique_ptr<Cqv_discoveryDlg> window = OpenMainWindow();
        QVERIFY(window != nullptr);
        window->move(at);
        QTRY_COMPARE(window->geometry().topLeft(), at);
        QString fault = QStringLiteral("the box never showed");
        QRect boxRect;
        QTimer::singleShot(0, window.get(), [&] {
            CMsgBox box(window.get());
            box.kind = KindNoDevice;
            QTimer::singleShot(0, &box, [&] {
                if (!QTest::qWaitForWindowExposed(&box)) {
                    box.reject();
                    return;
                }
                QTest::qWait(200);
                boxRect = box.geometry();
                // Behind the box's cut corners: what is under them (the main window's picture or
                // the backdrop beside it, the box being wider), not a square of the box.
                const QImage shot = Screen(box.geometry());
                const QImage mainPicture = qvres::SkinBitmap(229);
                fault.clear();
                for (const QPoint p : {QPoint(0, 0), QPoint(box.width() - 1, 0), QPoint(0, box.height() - 1),
                                       QPoint(box.width() - 1, box.height() - 1)}) {
                    const QPoint global = box.geometry().topLeft() + p;
                    const QColor behind = window->geometry().contains(global)
                                              ? mainPicture.pixelColor(global - window->geometry().topLeft())
                                              : Backdrop;
                    if (!Near(shot.pixelColor(p), behind)) {
                        fault = QStringLiteral("the box's corner (%1,%2) shows %3, behind it is %4")
                                    .arg(p.x())
                                    .arg(p.y())
                                    .arg(shot.pixelColor(p).name(), behind.name());
                    }
                }
                if (!Near(shot.pixelColor(8, 0), qvres::SkinBitmap(box.BackgroundId()).pixelColor(8, 0))) {
                    fault = QStringLiteral("the box is not painted");
                }
                box.accept();
            });
            box.exec();
        });
        QTRY_VERIFY_WITH_TIMEOUT(!boxRect.isNull() || fault != QStringLiteral("the box never showed"), 5000);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QCOMPARE(boxRect.center(), window->geometry().center());
    }

    void secondStartRestoresAMinimisedWindow()
    {
        QTemporaryDir folder;
        SingleInstance first(folder.path());
        QCOMPARE(first.Acquire(), SingleInstance::Result::First);
        const std::unique_ptr<Cqv_discoveryDlg> window = OpenMainWindow();
        QVERIFY(window != nullptr);
        first.SetWindow(window.get());
        window->showMinimized();
        QTRY_VERIFY(window->isMinimized());
        QTRY_VERIFY(Near(Screen(window->geometry()).pixelColor(250, 320), Backdrop));

        SingleInstance second(folder.path());
        QCOMPARE(second.Acquire(), SingleInstance::Result::Running);
        QTRY_VERIFY(!window->isMinimized());
        QTRY_VERIFY(window->isActiveWindow());
        QTRY_VERIFY_WITH_TIMEOUT(
            CheckShapedAndSkinned(*window, qvres::SkinBitmap(229), {{8, 0}, {60, 40}, {250, 320}}).isEmpty(), 3000);
    }
};

QTEST_MAIN(TestX11Windows)
#include "TestX11Windows.moc"
