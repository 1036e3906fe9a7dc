#include "Painting.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainterPath>
#include <array>

namespace resgen {
namespace {

// Pixels lost at each corner, from the outer column inwards; the same as the window region.
constexpr std::array<int, 8> CornerCut{8, 6, 4, 3, 2, 2, 1, 1};

bool insideRegion(int x, int y, int w, int h)
{
    if (x < 0 || y < 0 || x >= w || y >= h)
        return false;
    const int column = qMin(x, w - 1 - x);
    if (column >= static_cast<int>(CornerCut.size()))
        return true;
    const int cut = CornerCut[static_cast<size_t>(column)];
    return y >= cut && y < h - cut;
}

int g_pixelRatio = 1;

} // namespace

void SetPixelRatio(int ratio)
{
    g_pixelRatio = qMax(1, ratio);
}

int PixelRatio()
{
    return g_pixelRatio;
}

QRect LogicalRect(const QImage& image)
{
    return QRect(QPoint(0, 0), image.deviceIndependentSize().toSize());
}

QFont UiFont(qreal pixelSize, bool bold, int languageId)
{
    QFont font;
    QStringList families{QStringLiteral("Liberation Sans")};
    switch (languageId) {
    case 1028:
        families << QStringLiteral("Noto Sans CJK TC");
        break;
    case 2052:
        families << QStringLiteral("Noto Sans CJK SC");
        break;
    case 1042:
        families << QStringLiteral("Noto Sans CJK KR");
        break;
    default:
        families << QStringLiteral("Noto Sans CJK JP");
        break;
    }
    families << QStringLiteral("Noto Sans Arabic") << QStringLiteral("Noto Sans Hebrew") << QStringLiteral("Noto Sans");
    font.setFamilies(families);
    font.setPixelSize(qMax(1, qRound(pixelSize)));
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QImage OpaqueImage(QSize size, const QColor& fill)
{
    QImage image(size * g_pixelRatio, QImage::Format_RGB32);
    image.setDevicePixelRatio(g_pixelRatio);
    image.fill(fill);
    return image;
}

void PaintFrame(QImage& image)
{
    const QRect area = LogicalRect(image);
    const int w = area.width();
    const int h = area.height();
    {
        QPainter p(&image);
        QLinearGradient shade(0, 0, 0, h);
        shade.setColorAt(0.0, colour::Frame.lighter(118));
        shade.setColorAt(0.12, colour::Frame);
        shade.setColorAt(1.0, colour::Frame.darker(115));
        p.fillRect(area, shade);
    }
    // The rim follows the stepped outline pixel by pixel, so it lines up with the region. The
    // region is made of whole design pixels, so at a higher ratio a rim pixel is a square of
    // device pixels: the window's shape on such a screen is the same steps, twice as fine.
    const int ratio = qRound(image.devicePixelRatio());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (!insideRegion(x, y, w, h))
                continue;
            const bool border = !insideRegion(x - 1, y, w, h) || !insideRegion(x + 1, y, w, h) ||
                                !insideRegion(x, y - 1, w, h) || !insideRegion(x, y + 1, w, h);
            if (!border)
                continue;
            for (int dy = 0; dy < ratio; ++dy) {
                for (int dx = 0; dx < ratio; ++dx)
                    image.setPixelColor(x * ratio + dx, y * ratio + dy, colour::Edge);
            }
        }
    }
}

void PaintLogo(QPainter& painter, const QRectF& box, bool detail)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = qMin(box.width(), box.height());
    const QRectF square(box.center().x() - s / 2, box.center().y() - s / 2, s, s);

    QLinearGradient body(square.topLeft(), square.bottomLeft());
    body.setColorAt(0.0, QColor(255, 172, 64));
    body.setColorAt(1.0, QColor(240, 112, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(body);
    painter.drawRoundedRect(square, s * 0.22, s * 0.22);
    if (detail) {
        // A soft highlight on the upper half gives the tile some depth.
        QLinearGradient gloss(square.topLeft(), QPointF(square.left(), square.center().y()));
        gloss.setColorAt(0.0, QColor(255, 255, 255, 70));
        gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
        painter.setBrush(gloss);
        painter.drawRoundedRect(square.adjusted(s * 0.04, s * 0.04, -s * 0.04, -s * 0.5), s * 0.18, s * 0.18);
    }

    // Three storage trays, each with an indicator light.
    const qreal trayW = s * 0.62;
    const qreal trayH = s * 0.15;
    const qreal gap = s * 0.07;
    const qreal left = square.center().x() - trayW / 2;
    qreal top = square.center().y() - (3 * trayH + 2 * gap) / 2;
    for (int i = 0; i < 3; ++i) {
        const QRectF tray(left, top, trayW, trayH);
        painter.setBrush(QColor(255, 255, 255));
        painter.drawRoundedRect(tray, trayH * 0.35, trayH * 0.35);
        const qreal led = trayH * 0.42;
        painter.setBrush(i == 0 ? QColor(255, 132, 0) : QColor(90, 90, 90));
        painter.drawEllipse(QPointF(tray.right() - trayH * 0.6, tray.center().y()), led / 2, led / 2);
        top += trayH + gap;
    }
    painter.restore();
}

void PaintWordmark(QPainter& painter, QPointF baseLineStart, qreal pixelSize)
{
    painter.save();
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QFont font = UiFont(pixelSize, true);
    painter.setFont(font);
    const QString first = QStringLiteral("QV");
    painter.setPen(colour::Orange);
    painter.drawText(baseLineStart, first);
    const QFontMetricsF metrics(font);
    painter.setPen(Qt::white);
    painter.drawText(baseLineStart + QPointF(metrics.horizontalAdvance(first + QLatin1Char(' ')), 0),
                     QStringLiteral("Link"));
    painter.restore();
}

void PaintPanel(QPainter& painter, const QRectF& box)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient rim(box.topLeft(), box.bottomLeft());
    rim.setColorAt(0.0, colour::PanelLight);
    rim.setColorAt(0.08, colour::Panel.lighter(104));
    rim.setColorAt(1.0, QColor(44, 44, 44));
    painter.setPen(Qt::NoPen);
    painter.setBrush(rim);
    painter.drawRoundedRect(box, 7, 7);
    painter.setBrush(colour::Panel);
    painter.drawRoundedRect(box.adjusted(1, 1, -1, -1), 6, 6);
    painter.restore();
}

void PaintHeaderStrip(QPainter& painter, const QRect& box)
{
    QLinearGradient shade(box.topLeft(), box.bottomLeft());
    shade.setColorAt(0.0, QColor(88, 88, 88));
    shade.setColorAt(1.0, QColor(62, 62, 62));
    painter.fillRect(box, shade);
    painter.fillRect(QRect(box.left(), box.top(), box.width(), 1), QColor(104, 104, 104));
    painter.fillRect(QRect(box.left(), box.bottom(), box.width(), 1), colour::DeepOrange);
}

void PaintListWell(QPainter& painter, const QRect& list)
{
    constexpr int BarWidth = 24;
    constexpr int BarPainted = 7; // the bar leaves its first columns to the list
    constexpr int HeaderHeight = 26;
    const QRect area(list.left(), list.top(), list.width() + BarWidth, list.height());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    // A dark line around the whole area and a light one outside it make a shallow well.
    painter.setPen(colour::Well);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area.adjusted(-1, -1, 0, 0));
    painter.setPen(QColor(76, 76, 76));
    painter.drawLine(area.left() - 1, area.bottom() + 2, area.right() + 1, area.bottom() + 2);
    painter.drawLine(area.right() + 2, area.top() - 1, area.right() + 2, area.bottom() + 2);
    painter.fillRect(area, colour::Panel);
    PaintHeaderStrip(painter, QRect(list.left(), list.top(), list.width() + BarWidth, HeaderHeight));
    painter.fillRect(QRect(list.right() + 1 + BarPainted, list.top() + HeaderHeight, BarWidth - BarPainted,
                           list.height() - HeaderHeight - 1),
                     colour::ScrollBack);
    painter.restore();
}

QImage ButtonFace(QSize size, bool orange, const QColor& surround)
{
    QImage image = OpaqueImage(size, surround);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = QRectF(LogicalRect(image)).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient fill(outer.topLeft(), outer.bottomLeft());
    if (orange) {
        // Deep enough that the grey caption stays readable on it.
        fill.setColorAt(0.0, QColor(246, 138, 24));
        fill.setColorAt(0.5, QColor(218, 106, 0));
        fill.setColorAt(1.0, QColor(184, 84, 0));
        p.setPen(QPen(QColor(120, 56, 0), 1));
    } else {
        fill.setColorAt(0.0, QColor(86, 86, 86));
        fill.setColorAt(0.5, QColor(64, 64, 64));
        fill.setColorAt(1.0, QColor(46, 46, 46));
        p.setPen(QPen(QColor(26, 26, 26), 1));
    }
    p.setBrush(fill);
    p.drawRoundedRect(outer, 5, 5);
    // A one-pixel highlight just inside the top edge.
    p.setPen(QPen(orange ? QColor(255, 180, 96) : QColor(108, 108, 108), 1));
    p.drawLine(QPointF(outer.left() + 4, outer.top() + 1), QPointF(outer.right() - 4, outer.top() + 1));
    return image;
}

int DrawFittedText(QPainter& painter, const QRectF& box, const QString& text, QFont font, int flags, int minPixelSize)
{
    int size = font.pixelSize();
    while (size > minPixelSize) {
        font.setPixelSize(size);
        if (QFontMetricsF(font).horizontalAdvance(text) <= box.width())
            break;
        --size;
    }
    font.setPixelSize(size);
    painter.setFont(font);
    painter.drawText(box, flags, text);
    return size;
}

} // namespace resgen
