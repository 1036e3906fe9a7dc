#include "DeviceIcons.h"

#include "Painting.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

// Which device each icon shows (models by number code):
//   246 KTA101/102  single-bay desktop storage
//   247 KTA103-105  two-bay desktop storage
//   248 KTA106/107  four-bay storage
//   249 KTA108/109  rack-mount storage
//   250 KTB201      media player box
//   251 KTB202      media renderer (display)
//   252 KTB203      audio streamer
//   253 KTA110/KTC31  personal network drive, one disk
//   254 KTA111/KTC32  personal network drive, two disks

namespace resgen {
namespace {

// Icons are drawn on a 256-unit canvas; `detail` drops the fine parts at small sizes.
struct Canvas
{
    QPainter& p;
    bool detail;
};

const QColor BodyTop{78, 78, 82};
const QColor BodyBottom{36, 36, 40};
const QColor SilverTop{236, 236, 238};
const QColor SilverBottom{186, 188, 192};

void shadow(Canvas& c, qreal cx, qreal y, qreal rx)
{
    if (!c.detail)
        return;
    QRadialGradient g(QPointF(cx, y), rx);
    g.setColorAt(0.0, QColor(0, 0, 0, 90));
    g.setColorAt(1.0, QColor(0, 0, 0, 0));
    c.p.save();
    c.p.translate(cx, y);
    c.p.scale(1.0, 0.16);
    c.p.translate(-cx, -y);
    c.p.setPen(Qt::NoPen);
    c.p.setBrush(g);
    c.p.drawEllipse(QPointF(cx, y), rx, rx);
    c.p.restore();
}

void body(Canvas& c, const QRectF& r, qreal radius, const QColor& top = BodyTop, const QColor& bottom = BodyBottom)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0.0, top);
    g.setColorAt(1.0, bottom);
    c.p.setPen(QPen(QColor(20, 20, 22), c.detail ? 3 : 8));
    c.p.setBrush(g);
    c.p.drawRoundedRect(r, radius, radius);
}

void silver(Canvas& c, const QRectF& r, qreal radius)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0.0, SilverTop);
    g.setColorAt(1.0, SilverBottom);
    c.p.setPen(c.detail ? QPen(QColor(120, 120, 124), 2) : QPen(Qt::NoPen));
    c.p.setBrush(g);
    c.p.drawRoundedRect(r, radius, radius);
}

void led(Canvas& c, QPointF at, qreal radius, const QColor& colour = colour::DeepOrange)
{
    c.p.setPen(Qt::NoPen);
    if (c.detail) {
        QRadialGradient glow(at, radius * 2.4);
        glow.setColorAt(0.0, QColor(colour.red(), colour.green(), colour.blue(), 120));
        glow.setColorAt(1.0, QColor(colour.red(), colour.green(), colour.blue(), 0));
        c.p.setBrush(glow);
        c.p.drawEllipse(at, radius * 2.4, radius * 2.4);
    }
    c.p.setBrush(colour);
    c.p.drawEllipse(at, radius, radius);
}

// One drive tray: a silver face with a dark handle slot and a light.
void tray(Canvas& c, const QRectF& r, bool vertical)
{
    silver(c, r, qMin(r.width(), r.height()) * 0.12);
    c.p.setPen(Qt::NoPen);
    c.p.setBrush(QColor(70, 70, 74));
    if (vertical) {
        c.p.drawRoundedRect(
            QRectF(r.center().x() - r.width() * 0.18, r.top() + r.height() * 0.12, r.width() * 0.36, r.height() * 0.05),
            3, 3);
        led(c, QPointF(r.center().x(), r.bottom() - r.height() * 0.09), qMax(4.0, r.width() * 0.06));
    } else {
        c.p.drawRoundedRect(
            QRectF(r.left() + r.width() * 0.1, r.center().y() - r.height() * 0.12, r.width() * 0.5, r.height() * 0.24),
            3, 3);
        led(c, QPointF(r.right() - r.width() * 0.1, r.center().y()), qMax(4.0, r.height() * 0.12));
    }
}

void orangeStripe(Canvas& c, const QRectF& r)
{
    c.p.setPen(Qt::NoPen);
    c.p.setBrush(colour::Orange);
    c.p.drawRect(r);
}

void playTriangle(Canvas& c, QPointF centre, qreal size, const QColor& colour)
{
    const QPolygonF tri{centre + QPointF(-size * 0.4, -size * 0.5), centre + QPointF(size * 0.55, 0),
                        centre + QPointF(-size * 0.4, size * 0.5)};
    c.p.setPen(Qt::NoPen);
    c.p.setBrush(colour);
    c.p.drawPolygon(tri);
}

void networkArcs(Canvas& c, QPointF centre, qreal radius)
{
    c.p.setBrush(Qt::NoBrush);
    const int arcs = c.detail ? 3 : 2;
    for (int i = 0; i < arcs; ++i) {
        const qreal r = radius * (0.45 + 0.3 * i);
        c.p.setPen(QPen(colour::Orange, c.detail ? radius * 0.13 : radius * 0.2, Qt::SolidLine, Qt::RoundCap));
        c.p.drawArc(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), 45 * 16, 90 * 16);
    }
    c.p.setPen(Qt::NoPen);
    c.p.setBrush(colour::Orange);
    c.p.drawEllipse(centre, radius * 0.11, radius * 0.11);
}

void singleBay(Canvas& c)
{
    shadow(c, 128, 232, 80);
    body(c, QRectF(70, 22, 116, 208), 18);
    tray(c, QRectF(84, 38, 88, 160), true);
    orangeStripe(c, QRectF(84, 208, 88, 6));
}

void twoBay(Canvas& c)
{
    shadow(c, 128, 232, 108);
    body(c, QRectF(38, 30, 180, 200), 18);
    tray(c, QRectF(52, 46, 72, 150), true);
    tray(c, QRectF(132, 46, 72, 150), true);
    orangeStripe(c, QRectF(52, 208, 152, 6));
}

void fourBay(Canvas& c)
{
    shadow(c, 128, 236, 110);
    body(c, QRectF(34, 18, 188, 216), 16);
    for (int i = 0; i < 4; ++i)
        tray(c, QRectF(50, 34 + i * 44, 156, 38), false);
    orangeStripe(c, QRectF(50, 214, 156, 6));
}

void rackMount(Canvas& c)
{
    shadow(c, 128, 184, 124);
    // Rack ears, then the chassis.
    c.p.setPen(Qt::NoPen);
    c.p.setBrush(QColor(150, 150, 154));
    c.p.drawRoundedRect(QRectF(6, 78, 26, 100), 6, 6);
    c.p.drawRoundedRect(QRectF(224, 78, 26, 100), 6, 6);
    if (c.detail) {
        c.p.setBrush(QColor(40, 40, 44));
        for (qreal x : {19.0, 237.0}) {
            c.p.drawEllipse(QPointF(x, 96), 5, 5);
            c.p.drawEllipse(QPointF(x, 160), 5, 5);
        }
    }
    body(c, QRectF(24, 70, 208, 116), 10);
    for (int i = 0; i < 4; ++i)
        tray(c, QRectF(38 + i * 46, 84, 40, 76), true);
    orangeStripe(c, QRectF(38, 168, 178, 5));
}

void mediaPlayer(Canvas& c)
{
    shadow(c, 128, 196, 112);
    // Top face in perspective, then the front.
    const QPolygonF top{QPointF(44, 100), QPointF(212, 100), QPointF(236, 132), QPointF(20, 132)};
    c.p.setPen(QPen(QColor(20, 20, 22), c.detail ? 3 : 8));
    c.p.setBrush(QColor(96, 96, 100));
    c.p.drawPolygon(top);
    body(c, QRectF(20, 130, 216, 58), 8);
    c.p.setPen(Qt::NoPen);
    c.p.setBrush(QColor(16, 16, 18));
    c.p.drawRoundedRect(QRectF(40, 148, 96, 20), 4, 4);
    if (c.detail)
        led(c, QPointF(152, 158), 5);
    c.p.setBrush(colour::Orange);
    c.p.drawEllipse(QPointF(196, 159), 20, 20);
    playTriangle(c, QPointF(197, 159), 20, Qt::white);
}

void renderer(Canvas& c)
{
    shadow(c, 128, 232, 70);
    // Stand, then the screen.
    c.p.setPen(Qt::NoPen);
    c.p.setBrush(QColor(60, 60, 64));
    c.p.drawRect(QRectF(116, 186, 24, 30));
    c.p.drawRoundedRect(QRectF(76, 212, 104, 14), 6, 6);
    body(c, QRectF(12, 36, 232, 156), 12, QColor(60, 60, 64), QColor(28, 28, 30));
    QLinearGradient screen(QPointF(0, 50), QPointF(0, 178));
    screen.setColorAt(0.0, QColor(72, 72, 78));
    screen.setColorAt(1.0, QColor(30, 30, 34));
    c.p.setPen(Qt::NoPen);
    c.p.setBrush(screen);
    c.p.drawRect(QRectF(26, 50, 204, 128));
    c.p.setBrush(colour::Orange);
    c.p.drawEllipse(QPointF(128, 114), 38, 38);
    playTriangle(c, QPointF(130, 114), 38, Qt::white);
}

void audioStreamer(Canvas& c)
{
    shadow(c, 128, 236, 76);
    body(c, QRectF(60, 16, 136, 218), 20);
    // Tweeter and woofer with orange rims.
    for (const auto& [centre, radius] : {std::pair{QPointF(128, 66), 24.0}, std::pair{QPointF(128, 160), 50.0}}) {
        c.p.setPen(QPen(colour::Orange, c.detail ? 5 : 12));
        QRadialGradient cone(centre, radius);
        cone.setColorAt(0.0, QColor(110, 110, 116));
        cone.setColorAt(0.7, QColor(30, 30, 32));
        cone.setColorAt(1.0, QColor(60, 60, 64));
        c.p.setBrush(cone);
        c.p.drawEllipse(centre, radius, radius);
    }
    if (c.detail) {
        c.p.setPen(Qt::NoPen);
        c.p.setBrush(QColor(20, 20, 22));
        c.p.drawEllipse(QPointF(128, 160), 12, 12);
    }
}

void personalDrive(Canvas& c, int disks)
{
    const qreal w = disks == 1 ? 120 : 156;
    const QRectF r(128 - w / 2, 92, w, 140);
    shadow(c, 128, 236, w * 0.62);
    silver(c, r, 22);
    c.p.setPen(Qt::NoPen);
    c.p.setBrush(QColor(150, 152, 156));
    for (int i = 0; i < disks; ++i) {
        const qreal slotW = (w - 40) / disks;
        const qreal x = r.left() + 20 + i * slotW;
        c.p.drawRoundedRect(QRectF(x + 6, r.top() + 22, slotW - 12, 8), 4, 4);
    }
    orangeStripe(c, QRectF(r.left() + 20, r.bottom() - 34, w - 40, 6));
    led(c, QPointF(128, r.bottom() - 16), 6);
    networkArcs(c, QPointF(128, 86), 80);
}

void paintDevice(Canvas& c, int id)
{
    switch (id) {
    case 102:
        PaintLogo(c.p, QRectF(12, 12, 232, 232), c.detail);
        break;
    case 246:
        singleBay(c);
        break;
    case 247:
        twoBay(c);
        break;
    case 248:
        fourBay(c);
        break;
    case 249:
        rackMount(c);
        break;
    case 250:
        mediaPlayer(c);
        break;
    case 251:
        renderer(c);
        break;
    case 252:
        audioStreamer(c);
        break;
    case 253:
        personalDrive(c, 1);
        break;
    case 254:
        personalDrive(c, 2);
        break;
    default:
        break;
    }
}

} // namespace

QImage IconImage(int id, int size, int ratio)
{
    if (!IconIds.contains(id))
        return {};
    const bool detail = size >= 32;
    // Small sizes zoom in on the drawing so that the device fills the square; the large
    // ones keep the margins of a desktop icon.
    QRectF source(0, 0, 256, 256);
    if (size <= 48) {
        QImage probe(256, 256, QImage::Format_ARGB32_Premultiplied);
        probe.fill(Qt::transparent);
        QPainter p(&probe);
        p.setRenderHint(QPainter::Antialiasing);
        Canvas canvas{p, detail};
        paintDevice(canvas, id);
        p.end();
        QRect used;
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                if (qAlpha(probe.pixel(x, y)) > 40)
                    used |= QRect(x, y, 1, 1);
            }
        }
        const int side = qMax(used.width(), used.height()) + 8;
        source = QRectF(used.center().x() - side / 2.0, used.center().y() - side / 2.0, side, side);
    }
    const int pixels = size * qMax(1, ratio);
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(pixels / source.width(), pixels / source.height());
    p.translate(-source.topLeft());
    Canvas canvas{p, detail};
    paintDevice(canvas, id);
    p.end();
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    out.setDevicePixelRatio(qMax(1, ratio));
    return out;
}

} // namespace resgen
