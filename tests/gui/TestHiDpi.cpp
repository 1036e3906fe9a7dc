// The skin on a screen of twice the pixel density (the whole program at QT_SCALE_FACTOR=2):
// every picture comes in a version made for that density, exactly twice each size; the
// windows and controls draw it pixel for pixel (not the ratio-1 picture scaled up); the
// window is twice as large in device pixels and its picture's outline follows the shape the
// window gets there.

#include "CPictureEx.h"
#include "CSkinListCtrl.h"
#include "CSkinVerticleScrollbar.h"
#include "Cqv_discoveryDlg.h"
#include "CxSkinButton.h"
#include "FakeDiscovery.h"
#include "ModalWatcher.h"
#include "Resources.h"
#include "SkinWindow.h"
#include "showabout.h"

#include <QBuffer>
#include <QImageReader>
#include <QtTest>
#include <memory>

namespace {

const QList<int> IconSizes{256, 128, 48, 32, 24, 16};
const QList<int> IconIds{102, 246, 247, 248, 249, 250, 251, 252, 253, 254};
constexpr int MainWidth = 498;
constexpr int MainHeight = 583;

// The neutral catalogue and the About picture of every language block.
QList<int> PictureIds()
{
    QList<int> ids;
    for (int id = 200; id <= 245; ++id) {
        ids.append(id);
    }
    for (int k = 0; k < 20; ++k) {
        ids.append(260 + 14 * k + 1);
    }
    return ids;
}

QImage Rgb(const QImage& image)
{
    QImage out = image.convertToFormat(QImage::Format_RGB32);
    out.setDevicePixelRatio(1);
    return out;
}

// The ratio-1 picture blown up to twice its size: what a screen of twice the density would
// show without pictures of its own.
QImage ScaledUp(const QImage& picture, Qt::TransformationMode mode)
{
    return Rgb(picture).scaled(picture.size() * 2, Qt::IgnoreAspectRatio, mode);
}

// Mean difference per channel between two pictures of one size.
double MeanDifference(const QImage& a, const QImage& b)
{
    const QImage x = Rgb(a);
    const QImage y = Rgb(b);
    if (x.size() != y.size()) {
        return 1e9;
    }
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * x.width() * x.height());
}

// Each 2 x 2 block of device pixels averaged into one: a ratio-2 picture seen at ratio 1.
QImage Halved(const QImage& picture)
{
    const QImage in = Rgb(picture);
    QImage out(in.size() / 2, QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            int r = 0, g = 0, b = 0;
            for (int d = 0; d < 4; ++d) {
                const QRgb p = in.pixel(2 * x + d % 2, 2 * y + d / 2);
                r += qRed(p);
                g += qGreen(p);
                b += qBlue(p);
            }
            out.setPixel(x, y, qRgb((r + 2) / 4, (g + 2) / 4, (b + 2) / 4));
        }
    }
    return out;
}

// Share of 2 x 2 device-pixel blocks whose pixels are not all alike: detail finer than a
// ratio-1 pixel, which no picture scaled up by pixel repetition has.
double FineDetail(const QImage& picture, const QRect& logical)
{
    const QImage in = Rgb(picture);
    int blocks = 0;
    int mixed = 0;
    for (int y = logical.top(); y <= logical.bottom(); ++y) {
        for (int x = logical.left(); x <= logical.right(); ++x) {
            const QRgb p = in.pixel(2 * x, 2 * y);
            ++blocks;
            if (in.pixel(2 * x + 1, 2 * y) != p || in.pixel(2 * x, 2 * y + 1) != p ||
                in.pixel(2 * x + 1, 2 * y + 1) != p) {
                ++mixed;
            }
        }
    }
    return blocks == 0 ? 0 : double(mixed) / blocks;
}

QImage Device(const QImage& image, const QRect& logical)
{
    return Rgb(image).copy(QRect(logical.topLeft() * 2, logical.size() * 2));
}

} // namespace

class TestHiDpi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void pictureRatioForTheScreen_data();
    void pictureRatioForTheScreen();
    void everyPictureTwiceItsSize();
    void picturesDrawnAtTheDensityNotScaledUp_data();
    void picturesDrawnAtTheDensityNotScaledUp();
    void mainWindowDrawsThePicturePixelForPixel();
    void outlineFollowsTheShapeAtTwiceTheDensity();
    void boxesAtTwiceTheDensity();
    void animationAtTwiceTheDensity();
    void iconsAtTwiceTheDensity();

private:
    std::unique_ptr<ModalWatcher> m_watcher;
    std::unique_ptr<Cqv_discoveryDlg> m_window;
};

void TestHiDpi::initTestCase()
{
    QCOMPARE(qApp->devicePixelRatio(), 2.0);
}

void TestHiDpi::cleanup()
{
    fake::Release();
    if (m_window) {
        QTRY_VERIFY(!m_window->IsSearching());
    }
    m_window.reset();
    m_watcher.reset();
}

void TestHiDpi::pictureRatioForTheScreen_data()
{
    QTest::addColumn<qreal>("deviceRatio");
    QTest::addColumn<int>("pictureRatio");
    QTest::newRow("1") << 1.0 << 1;
    QTest::newRow("below 1") << 0.5 << 1;
    QTest::newRow("1.25: drawn smaller stays sharp") << 1.25 << 2;
    QTest::newRow("2") << 2.0 << 2;
    QTest::newRow("3") << 3.0 << 2;
}

void TestHiDpi::pictureRatioForTheScreen()
{
    QFETCH(qreal, deviceRatio);
    QFETCH(int, pictureRatio);
    QCOMPARE(qvres::PictureRatio(deviceRatio), pictureRatio);
    QCOMPARE(qvres::SkinBitmap(229, deviceRatio).devicePixelRatio(), qreal(pictureRatio));
}

// The generator's outputs at ratio 2 against those at ratio 1: twice each size, everywhere.
void TestHiDpi::everyPictureTwiceItsSize()
{
    for (int id : PictureIds()) {
        const QImage one = qvres::SkinBitmap(id, 1.0);
        const QImage two = qvres::SkinBitmap(id, 2.0);
        QVERIFY2(!one.isNull() && !two.isNull(), qPrintable(QString::number(id)));
        QCOMPARE(two.size(), one.size() * 2);
        QCOMPARE(two.devicePixelRatio(), 2.0);
        QCOMPARE(two.deviceIndependentSize(), QSizeF(one.size()));
        QCOMPARE(two.format(), QImage::Format_RGB32);
        // The application's own ratio picks the same picture.
        QCOMPARE(qvres::SkinBitmap(id), two);
    }
    // The blocks' other positions still show the neutral pictures, at ratio 2 too.
    QCOMPARE(qvres::SkinBitmap(260, 2.0), qvres::SkinBitmap(229, 2.0));
    QCOMPARE(qvres::SkinBitmap(539, 2.0), qvres::SkinBitmap(243, 2.0));
    QVERIFY(qvres::SkinBitmap(246, 2.0).isNull());

    for (int id : IconIds) {
        for (int size : IconSizes) {
            const QImage two(qvres::IconFile(id, size, 2));
            QCOMPARE(two.size(), QSize(2 * size, 2 * size));
            QCOMPARE(QImage(qvres::IconFile(id, size)).size(), QSize(size, size));
        }
    }
    QVERIFY(qvres::IconFile(102, 16, 3).isEmpty() && qvres::RawResource("GIF", 540, 3).isEmpty());

    // The animation: the same frames, delays and loop on twice the pixels.
    const auto frames = [](const QByteArray& bytes) {
        QByteArray copy = bytes;
        QBuffer buffer(&copy);
        QImageReader reader(&buffer, "gif");
        QList<QImage> out;
        while (reader.canRead()) {
            out.append(reader.read());
        }
        return std::make_pair(out, reader.loopCount());
    };
    const auto [one, loopOne] = frames(qvres::RawResource("GIF", 540));
    const auto [two, loopTwo] = frames(qvres::RawResource("GIF", 540, 2));
    QCOMPARE(two.size(), one.size());
    QVERIFY(one.size() == 7);
    QCOMPARE(loopTwo, loopOne);
    for (qsizetype i = 0; i < one.size(); ++i) {
        QCOMPARE(two[i].size(), one[i].size() * 2);
        QVERIFY(MeanDifference(Halved(two[i]), one[i]) < 4);
    }
}

void TestHiDpi::picturesDrawnAtTheDensityNotScaledUp_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QRect>("detail"); // a part with letters or curves, in ratio-1 pixels
    QTest::newRow("main: logo and product name") << 229 << QRect(16, 12, 220, 48);
    QTest::newRow("About, US English: title") << 230 << QRect(99, 26, 300, 38);
    QTest::newRow("About, Chinese: title") << 261 << QRect(99, 26, 300, 38);
    QTest::newRow("About, Arabic: copyright") << 275 << QRect(34, 96, 517, 24);
    QTest::newRow("message box: product name") << 233 << QRect(99, 26, 200, 38);
    QTest::newRow("close button") << 227 << QRect(0, 0, 22, 22);
    QTest::newRow("About button") << 223 << QRect(0, 0, 22, 22);
    QTest::newRow("button face") << 234 << QRect(0, 0, 108, 32);
    QTest::newRow("scroll thumb") << 211 << QRect(0, 0, 13, 26);
    QTest::newRow("up arrow") << 214 << QRect(0, 0, 13, 12);
}

// The same picture (seen at ratio 1 it is the ratio-1 one), with detail of its own at the
// finer pixels: drawn at that density, not the ratio-1 picture blown up.
void TestHiDpi::picturesDrawnAtTheDensityNotScaledUp()
{
    QFETCH(int, id);
    QFETCH(QRect, detail);
    const QImage one = qvres::SkinBitmap(id, 1.0);
    const QImage two = qvres::SkinBitmap(id, 2.0);
    const double same = MeanDifference(Halved(two), one);
    QVERIFY2(same < 6, qPrintable(QStringLiteral("halved, it differs from ratio 1 by %1").arg(same)));
    const double fine = FineDetail(two, detail);
    QVERIFY2(fine > 0.04, qPrintable(QStringLiteral("fine detail in %1 of the blocks").arg(fine)));
    QCOMPARE(FineDetail(ScaledUp(one, Qt::FastTransformation), detail), 0.0);
    QVERIFY(Device(two, detail) != Device(ScaledUp(one, Qt::SmoothTransformation), detail));
}

void TestHiDpi::mainWindowDrawsThePicturePixelForPixel()
{
    fake::SetScript({}, 0, true);
    m_watcher = std::make_unique<ModalWatcher>();
    m_window = std::make_unique<Cqv_discoveryDlg>(nullptr, fake::WorkerEntry);
    Cqv_discoveryDlg& window = *m_window;
    QCOMPARE(window.size(), QSize(MainWidth, MainHeight));
    const QImage shot = window.grab().toImage();
    QCOMPARE(shot.size(), QSize(2 * MainWidth, 2 * MainHeight));
    QCOMPARE(shot.devicePixelRatio(), 2.0);

    const QImage two = qvres::SkinBitmap(229, 2.0);
    QCOMPARE(window.BackgroundBitmap(), two);
    const QImage nearest = ScaledUp(qvres::SkinBitmap(229, 1.0), Qt::FastTransformation);
    const QImage smooth = ScaledUp(qvres::SkinBitmap(229, 1.0), Qt::SmoothTransformation);
    // Where nothing lies over the skin: the logo and product name, the rim of the frame, a
    // stretch of panel, the accent line.
    for (const QRect& area : {QRect(8, 0, 250, 66), QRect(0, 100, 14, 300), QRect(14, 76, 470, 10)}) {
        QCOMPARE(Device(shot, area), Device(two, area));
        QVERIFY(Device(shot, area) != Device(nearest, area) || area.width() < 20);
        QVERIFY(Device(shot, area) != Device(smooth, area));
    }

    // A title button and a text button show their faces made for the density, sized in logical
    // units.
    auto* close = window.findChild<CxSkinButton*>(QStringLiteral("closeButton"));
    auto* refresh = window.findChild<CxSkinButton*>(QStringLiteral("refreshButton"));
    QVERIFY(close != nullptr && refresh != nullptr);
    QCOMPARE(close->sizeHint(), QSize(22, 22));
    QCOMPARE(refresh->sizeHint(), QSize(108, 32));
    QCOMPARE(Device(shot, close->geometry()), Device(qvres::SkinBitmap(227, 2.0), QRect(0, 0, 22, 22)));
    // The caption lies over the middle of the face; its top rows are face only.
    const QRect faceTop(0, 0, 108, 6);
    QCOMPARE(Device(shot, faceTop.translated(refresh->pos())), Device(qvres::SkinBitmap(234, 2.0), faceTop));

    // The list's scroll bar: its up arrow, pixel for pixel.
    auto* list = window.findChild<CSkinListCtrl*>(QStringLiteral("deviceListView"));
    QVERIFY(list != nullptr && list->GetVerticalBar() != nullptr);
    CSkinVerticleScrollbar* bar = list->GetVerticalBar();
    const QRect arrow(
        bar->mapTo(&window, QPoint(CSkinVerticleScrollbar::BitmapLeft, CSkinVerticleScrollbar::HeaderGap)),
        QSize(CSkinVerticleScrollbar::BitmapWidth, CSkinVerticleScrollbar::ArrowHeight));
    const QImage up = qvres::SkinBitmap(215, 2.0); // no rows yet: the bar is disabled
    QCOMPARE(Device(shot, arrow), Device(up, QRect(0, 0, 13, 12)));
}

// The window's shape is made of whole logical pixels; on a screen of twice the density each
// is a 2 x 2 square, and the ratio-2 picture's rim runs exactly along that outline.
void TestHiDpi::outlineFollowsTheShapeAtTwiceTheDensity()
{
    const QRegion shape = RoundedRegion(MainWidth, MainHeight);
    const QImage two = Rgb(qvres::SkinBitmap(229, 2.0));
    const QColor rim(72, 72, 72);
    const auto inside = [&](int x, int y) { return shape.contains(QPoint(x, y)); };
    int rimPixels = 0;
    for (int corner = 0; corner < 4; ++corner) {
        const int left = corner % 2 == 0 ? 0 : MainWidth - 12;
        const int top = corner < 2 ? 0 : MainHeight - 12;
        for (int y = 2 * top; y < 2 * (top + 12); ++y) {
            for (int x = 2 * left; x < 2 * (left + 12); ++x) {
                const int lx = x / 2;
                const int ly = y / 2;
                if (!inside(lx, ly)) {
                    continue;
                }
                const bool border =
                    !inside(lx - 1, ly) || !inside(lx + 1, ly) || !inside(lx, ly - 1) || !inside(lx, ly + 1);
                const bool isRim = two.pixelColor(x, y) == rim;
                QVERIFY2(border == isRim, qPrintable(QStringLiteral("device pixel %1,%2").arg(x).arg(y)));
                rimPixels += isRim ? 1 : 0;
            }
        }
    }
    QVERIFY(rimPixels > 4 * 4 * 12);

    // The window takes that logical shape; the platform doubles it for the screen.
    fake::SetScript({}, 0, true);
    m_watcher = std::make_unique<ModalWatcher>();
    m_window = std::make_unique<Cqv_discoveryDlg>(nullptr, fake::WorkerEntry);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(m_window->mask(), shape);
}

void TestHiDpi::boxesAtTwiceTheDensity()
{
    showabout box(nullptr, "1.00.01");
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QImage shot = box.grab().toImage();
    box.reject();
    QCOMPARE(shot.size(), QSize(2 * 585, 2 * 218));
    const QImage two = qvres::SkinBitmap(box.BackgroundId(), 2.0);
    QCOMPARE(box.BackgroundBitmap(), two);
    // The logo and title of the picture, untouched by the box's texts.
    const QRect title(8, 0, 560, 75);
    QCOMPARE(Device(shot, title), Device(two, title));
    QVERIFY(Device(shot, title) !=
            Device(ScaledUp(qvres::SkinBitmap(box.BackgroundId(), 1.0), Qt::SmoothTransformation), title));
}

void TestHiDpi::animationAtTwiceTheDensity()
{
    CPictureEx picture;
    QVERIFY(picture.LoadFromResource(540, "GIF"));
    QCOMPARE(picture.PixelRatio(), 2);
    QCOMPARE(picture.PictureSize(), QSize(100, 100));
    QCOMPARE(picture.size(), QSize(50, 50));
    QCOMPARE(picture.sizeHint(), QSize(50, 50));
    QCOMPARE(picture.FrameCount(), 7);

    // Painting copies the surface pixel for pixel.
    const QColor skin(59, 59, 59);
    picture.FillSurface(QRect(0, 0, 100, 100), skin);
    picture.FillSurface(QRect(51, 0, 1, 100), Qt::white); // a line only a device pixel wide
    const QImage shot = Rgb(picture.grab().toImage());
    QCOMPARE(shot.size(), QSize(100, 100));
    QCOMPARE(shot, Rgb(picture.SurfaceImage()));
    QCOMPARE(shot.pixelColor(51, 10), QColor(Qt::white));
    QCOMPARE(shot.pixelColor(50, 10), skin);

    // The ratio-1 animation given as bytes is shown at its logical size, blown up.
    QVERIFY(picture.LoadFromMemory(qvres::RawResource("GIF", 540)));
    QCOMPARE(picture.PixelRatio(), 1);
    QCOMPARE(picture.PictureSize(), QSize(50, 50));
    QCOMPARE(picture.size(), QSize(50, 50));
    QCOMPARE(picture.grab().toImage().size(), QSize(100, 100));
    picture.Unload();
    QCOMPARE(picture.PixelRatio(), 1);
}

// An icon asked for at a logical size gets that size's design at twice its pixels.
void TestHiDpi::iconsAtTwiceTheDensity()
{
    for (int id : IconIds) {
        const QIcon icon = qvres::Icon(id);
        for (int size : IconSizes) {
            const QPixmap pixmap = icon.pixmap(QSize(size, size));
            QCOMPARE(pixmap.devicePixelRatio(), 2.0);
            QCOMPARE(pixmap.size(), QSize(2 * size, 2 * size));
            // Through a pixmap as the icon's own picture went: premultiplying rounds a few
            // translucent pixels by one step, and how depends on the processor's vector unit.
            QVERIFY2(Rgb(pixmap.toImage()) == Rgb(QPixmap(qvres::IconFile(id, size, 2)).toImage()),
                     qPrintable(QStringLiteral("icon %1 at %2").arg(id).arg(size)));
        }
    }
}

int main(int argc, char** argv)
{
    // The whole program as a user of a screen of twice the density starts it.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestHiDpi test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "TestHiDpi.moc"
