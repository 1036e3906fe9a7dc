// What the skinned windows draw outside and inside their shape, how a press on their surface
// becomes a move, and that the main window is never modal to anyone.

#include "CMsgBox.h"
#include "Cqv_discoveryDlg.h"
#include "FakeDiscovery.h"
#include "Resources.h"
#include "SkinWindow.h"
#include "protocol.h"
#include "showabout.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QtTest>
#include <memory>

namespace {

// The first fault found: a pixel outside the shape that is not fully transparent, or one
// inside it (where no control covers it) that is not the picture's.
QString CheckSurface(const QImage& shot, const QImage& picture, const QList<QPoint>& insidePoints)
{
    const QRegion shape = RoundedRegion(shot.width(), shot.height());
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (!shape.contains(QPoint(x, y)) && qAlpha(shot.pixel(x, y)) != 0) {
                return QStringLiteral("(%1,%2) outside the shape has alpha %3")
                    .arg(x)
                    .arg(y)
                    .arg(qAlpha(shot.pixel(x, y)));
            }
        }
    }
    for (const QPoint p : insidePoints) {
        if (shot.pixel(p) != picture.pixel(p)) {
            return QStringLiteral("(%1,%2) shows %3, the picture %4")
                .arg(p.x())
                .arg(p.y())
                .arg(QString::number(shot.pixel(p), 16), QString::number(picture.pixel(p), 16));
        }
    }
    return {};
}

QImage Shot(QWidget& window)
{
    return window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestSkinSurface : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qvd::timing().pollIntervalMs.store(10);
        // A device is found, so no search ends in the no-device box of its own.
        fake::SetScript({fake::MakerDevice("Alpha", "10.0.0.1")});
    }

    void transparentOutsideTheShapeAndThePictureInside()
    {
        Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
        QString fault = CheckSurface(Shot(window), qvres::SkinBitmap(229),
                                     {{8, 0}, {0, 8}, {489, 1}, {497, 574}, {60, 40}, {250, 320}, {8, 582}});
        QVERIFY2(fault.isEmpty(), qPrintable(fault));

        for (int kind : {KindSuccess, KindError, KindNoDevice}) {
            CMsgBox box(&window);
            box.kind = kind;
            box.show();
            QVERIFY(QTest::qWaitForWindowExposed(&box));
            fault = CheckSurface(Shot(box), qvres::SkinBitmap(box.BackgroundId()),
                                 {{8, 0}, {0, 8}, {576, 217}, {584, 209}, {20, 20}, {300, 170}});
            QVERIFY2(fault.isEmpty(), qPrintable(fault));
        }
        showabout about(&window);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        fault = CheckSurface(Shot(about), qvres::SkinBitmap(about.BackgroundId()), {{8, 0}, {0, 8}, {20, 200}});
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }

    // A press and a release on the surface, with the hand trembling a pixel or two, is a
    // click: the window stays. Moved further with the button down, it follows the pointer
    // (here by itself: the offscreen platform has no window manager to move it).
    void surfaceMovesOnlyOnceThePointerMoved()
    {
        CMsgBox box;
        box.move(100, 100);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QPoint start = box.pos();
        const QPoint grip(300, 60);
        QTest::mousePress(&box, Qt::LeftButton, Qt::NoModifier, grip);
        QMouseEvent tremble(QEvent::MouseMove, QPointF(grip + QPoint(1, 1)),
                            QPointF(box.mapToGlobal(grip + QPoint(1, 1))), Qt::NoButton, Qt::LeftButton,
                            Qt::NoModifier);
        QApplication::sendEvent(&box, &tremble);
        QCOMPARE(box.pos(), start);
        QTest::mouseRelease(&box, Qt::LeftButton, Qt::NoModifier, grip + QPoint(1, 1));
        QCOMPARE(box.pos(), start);

        QTest::mousePress(&box, Qt::LeftButton, Qt::NoModifier, grip);
        const QPoint far = box.mapToGlobal(grip) + QPoint(-40, 25);
        QMouseEvent drag(QEvent::MouseMove, QPointF(box.mapFromGlobal(far)), QPointF(far), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&box, &drag);
        QTRY_COMPARE(box.pos(), start + QPoint(-40, 25));
        QTest::mouseRelease(&box, Qt::LeftButton, Qt::NoModifier, box.mapFromGlobal(far));
    }

    // Run with exec(), as the program runs it, the main window is not modal: it has no owner.
    // Its boxes are, to it.
    void mainWindowNotModalItsBoxesAre()
    {
        Cqv_discoveryDlg window(nullptr, fake::WorkerEntry);
        bool windowModal = true;
        bool boxModal = false;
        bool boxOwned = false;
        QTimer::singleShot(0, &window, [&] {
            windowModal =
                window.windowHandle()->modality() != Qt::NonModal || QGuiApplication::modalWindow() != nullptr;
            CMsgBox box(&window);
            box.kind = KindNoDevice;
            QTimer::singleShot(0, &box, [&] {
                boxModal = QGuiApplication::modalWindow() == box.windowHandle();
                boxOwned = box.windowHandle()->transientParent() == window.windowHandle();
                box.accept();
            });
            box.exec();
            window.reject();
        });
        window.exec();
        QVERIFY(!windowModal);
        QVERIFY(boxModal);
        QVERIFY(boxOwned);
    }
};

QTEST_MAIN(TestSkinSurface)
#include "TestSkinSurface.moc"
