#include "SkinPictures.h"

#include "Painting.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPolygonF>

namespace resgen {
namespace {

constexpr QSize MainSize{498, 583};
constexpr QSize BoxSize{585, 218};
constexpr QSize FaceSize{108, 32};
constexpr QSize WideFaceSize{219, 32};
constexpr QSize TitleButtonSize{22, 22};
constexpr QPoint TitleButtonAt{411, 9};

// Where the About box writes the version number; the picture's label ends left of it on
// the same base line.
constexpr int VersionTextLeft = 103;
// The box's version text (cell height 20, top at y = 143) has its lowest ink row at 158; a
// label drawn on this base line has its own there too.
constexpr int VersionBaseLine = 159;

// A thin orange line that fades out to the right.
void paintAccentLine(QPainter& p, int left, int right, int y)
{
    QLinearGradient line(left, y, right, y);
    line.setColorAt(0.0, colour::Orange);
    line.setColorAt(0.6, QColor(255, 146, 26, 90));
    line.setColorAt(1.0, QColor(255, 146, 26, 0));
    p.fillRect(QRect(left, y, right - left, 2), line);
}

// Frame, logo, accent line and the dark panel that the two boxes share.
QImage boxBase()
{
    QImage image = OpaqueImage(BoxSize, colour::Frame);
    PaintFrame(image);
    QPainter p(&image);
    PaintLogo(p, QRectF(24, 14, 56, 56));
    paintAccentLine(p, 99, 571, 72);
    PaintPanel(p, QRectF(14, 80, 557, 126));
    return image;
}

void paintHeadingMark(QPainter& p, int top)
{
    p.fillRect(QRect(19, top, 4, 18), colour::Orange);
}

enum class Symbol
{
    Info,
    Dash,
    Cross
};

// The title-bar buttons lie on the frame, so their faces start from the very pixels of the
// main background under them.
QImage titleButton(const QImage& background, Symbol symbol, bool active)
{
    const int ratio = qRound(background.devicePixelRatio());
    QImage face = background.copy(QRect(TitleButtonAt * ratio, TitleButtonSize * ratio));
    face.setDevicePixelRatio(ratio);
    QPainter p(&face);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = active ? colour::Orange : colour::Caption;
    switch (symbol) {
    case Symbol::Info: {
        p.setPen(QPen(ink, 1.4));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(2.5, 2.5, 17, 17));
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawEllipse(QPointF(11, 7.2), 1.5, 1.5);
        p.drawRoundedRect(QRectF(9.9, 9.5, 2.2, 7.2), 0.8, 0.8);
        break;
    }
    case Symbol::Dash:
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawRoundedRect(QRectF(5, 13, 12, 2.4), 1, 1);
        break;
    case Symbol::Cross: {
        if (active) {
            p.setPen(Qt::NoPen);
            QLinearGradient red(0, 1, 0, 21);
            red.setColorAt(0.0, QColor(232, 72, 56));
            red.setColorAt(1.0, QColor(196, 36, 24));
            p.setBrush(red);
            p.drawRoundedRect(QRectF(1, 1, 20, 20), 4, 4);
        }
        p.setPen(QPen(active ? Qt::white : colour::Caption, 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(7, 7), QPointF(15, 15));
        p.drawLine(QPointF(15, 7), QPointF(7, 15));
        break;
    }
    }
    return face;
}

QImage headerPiece(int width, int kind)
{
    QImage image = OpaqueImage(QSize(width, 26), colour::Panel);
    QPainter p(&image);
    PaintHeaderStrip(p, LogicalRect(image));
    if (kind == 1) { // column divider
        p.fillRect(QRect(3, 5, 1, 16), QColor(40, 40, 40));
        p.fillRect(QRect(4, 5, 1, 16), QColor(112, 112, 112));
    } else if (kind == 0) { // left end
        p.fillRect(QRect(0, 0, 1, 25), QColor(48, 48, 48));
    } else if (kind == 2) { // right end
        p.fillRect(QRect(width - 1, 0, 1, 25), QColor(48, 48, 48));
    }
    return image;
}

QImage thumb(QSize size, bool horizontal)
{
    QImage image = OpaqueImage(size, colour::ScrollBack);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body = horizontal ? QRectF(0.5, 1.5, size.width() - 1, size.height() - 3)
                                   : QRectF(1.5, 0.5, size.width() - 3, size.height() - 1);
    QLinearGradient fill(body.topLeft(), horizontal ? body.bottomLeft() : body.topRight());
    fill.setColorAt(0.0, QColor(255, 170, 70));
    fill.setColorAt(1.0, colour::DeepOrange);
    p.setPen(QPen(QColor(190, 92, 0), 1));
    p.setBrush(fill);
    p.drawRoundedRect(body, 3, 3);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(196, 96, 0));
    const QPointF c = body.center();
    for (int i = -1; i <= 1; ++i) {
        if (horizontal)
            p.drawLine(QPointF(c.x() + 3 * i, c.y() - 3), QPointF(c.x() + 3 * i, c.y() + 2));
        else
            p.drawLine(QPointF(c.x() - 3, c.y() + 3 * i), QPointF(c.x() + 2, c.y() + 3 * i));
    }
    return image;
}

QImage track(QSize size, bool enabled, bool horizontal)
{
    QImage image = OpaqueImage(size, colour::ScrollBack);
    QPainter p(&image);
    const QColor groove = enabled ? QColor(66, 66, 66) : QColor(48, 48, 48);
    if (horizontal)
        p.fillRect(QRect(0, size.height() / 2 - 1, size.width(), 3), groove);
    else
        p.fillRect(QRect(size.width() / 2 - 1, 0, 3, size.height()), groove);
    return image;
}

// An arrow head pointing along angle (0 = up, 90 = right, 180 = down, 270 = left).
void paintArrow(QPainter& p, QPointF centre, qreal size, int angle, const QColor& ink)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(centre);
    p.rotate(angle);
    const QPolygonF head{QPointF(0, -size * 0.45), QPointF(size * 0.55, size * 0.3), QPointF(-size * 0.55, size * 0.3)};
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPolygon(head);
    p.restore();
}

QImage arrow(QSize size, int angle, bool enabled)
{
    QImage image = OpaqueImage(size, colour::ScrollBack);
    QPainter p(&image);
    paintArrow(p, QPointF(size.width() / 2.0, size.height() / 2.0), qMin(size.width(), size.height()) * 0.62, angle,
               enabled ? colour::Caption : QColor(84, 84, 84));
    return image;
}

QImage dropArrow(QSize size)
{
    QImage image = OpaqueImage(size, colour::Panel);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 30, 30), 1));
    p.setBrush(QColor(72, 72, 72));
    p.drawRoundedRect(QRectF(LogicalRect(image)).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    paintArrow(p, QPointF(size.width() / 2.0, size.height() / 2.0 + 1), qMin(size.width(), size.height()) * 0.42, 180,
               colour::Caption);
    return image;
}

// A sheet of scroll-bar arrows: nine columns (up, down, left, right, each enabled and
// disabled, and one pressed up arrow) by three rows of 17-pixel cells.
QImage arrowGrid()
{
    QImage image = OpaqueImage(QSize(153, 51), colour::ScrollBack);
    QPainter p(&image);
    const int angles[] = {0, 180, 270, 90};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 9; ++col) {
            const bool enabled = row != 2;
            const QColor ink = row == 1 ? colour::Orange : (enabled ? colour::Caption : QColor(84, 84, 84));
            paintArrow(p, QPointF(col * 17 + 8.5, row * 17 + 8.5), 9, angles[col % 4], ink);
        }
    }
    return image;
}

} // namespace

QImage MainBackground()
{
    QImage image = OpaqueImage(MainSize, colour::Frame);
    PaintFrame(image);
    QPainter p(&image);
    PaintLogo(p, QRectF(16, 12, 46, 46));
    PaintWordmark(p, QPointF(73, 40), 27);
    p.setFont(UiFont(11));
    p.setPen(colour::LabelGrey);
    p.drawText(QPointF(74, 57), QStringLiteral("Halvren Storage Corporation"));
    paintAccentLine(p, 16, 482, 67);

    PaintPanel(p, QRectF(14, 76, 470, 236));
    PaintPanel(p, QRectF(14, 318, 470, 254));
    paintHeadingMark(p, 89);
    paintHeadingMark(p, 334);
    PaintListWell(p, QRect(33, 119, 418, 133));
    PaintListWell(p, QRect(33, 362, 418, 133));
    // A hairline between the share list and the drive-letter row.
    p.fillRect(QRect(28, 503, 444, 1), QColor(50, 50, 50));
    p.fillRect(QRect(28, 504, 444, 1), QColor(68, 68, 68));
    return image;
}

QImage MessagePicture(bool withProductName)
{
    QImage image = boxBase();
    if (withProductName) {
        QPainter p(&image);
        PaintWordmark(p, QPointF(99, 56), 32);
    }
    return image;
}

QImage AboutPicture(const qvres::StringTable& strings, int languageId)
{
    QImage image = boxBase();
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    const bool rightToLeft = languageId == 1 || languageId == 1037;
    p.setLayoutDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);

    p.setPen(colour::Orange);
    DrawFittedText(p, QRectF(99, 26, 466, 38), strings.value(111), UiFont(28, false, languageId),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, 16);

    const QStringList lines = strings.value(112).split(QLatin1Char('\n'));
    const QString copyright = lines.value(0);
    const QString label = lines.size() > 1 ? lines.last() : QString();
    p.setPen(colour::Caption);
    DrawFittedText(p, QRectF(34, 96, 517, 24), copyright, UiFont(15, false, languageId),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, 10);

    // The label sits right-aligned just before the version number, on its base line.
    QFont font = UiFont(18, false, languageId);
    font.setStretch(QFont::Unstretched);
    constexpr int LabelRight = VersionTextLeft - 5;
    constexpr int LabelRoom = LabelRight - 18;
    // Long labels are first drawn a little narrower, then smaller.
    while (font.stretch() > 84 && QFontMetricsF(font).horizontalAdvance(label) > LabelRoom)
        font.setStretch(font.stretch() - 2);
    while (font.pixelSize() > 10 && QFontMetricsF(font).horizontalAdvance(label) > LabelRoom)
        font.setPixelSize(font.pixelSize() - 1);
    p.setFont(font);
    p.setPen(Qt::white);
    const qreal width = QFontMetricsF(font).horizontalAdvance(label);
    // The Chinese and Korean faces set their glyphs one pixel lower on the same base line.
    const bool lowGlyphs = languageId == 1028 || languageId == 2052 || languageId == 1042;
    p.drawText(QPointF(LabelRight - width, VersionBaseLine - (lowGlyphs ? 1 : 0)), label);
    return image;
}

QMap<int, QImage> NeutralBitmaps(const qvres::StringTable& usEnglish)
{
    QMap<int, QImage> out;
    out[200] = headerPiece(7, 0);
    out[201] = headerPiece(7, 1);
    out[202] = headerPiece(7, 2);
    out[203] = headerPiece(2, 3);

    out[204] = thumb(QSize(26, 14), true);
    out[205] = track(QSize(2, 14), true, true);
    out[206] = track(QSize(1, 14), false, true);
    out[207] = arrow(QSize(16, 14), 270, true);
    out[208] = arrow(QSize(16, 14), 270, false);
    out[209] = arrow(QSize(16, 14), 90, true);
    out[210] = arrow(QSize(16, 14), 90, false);

    out[211] = thumb(QSize(13, 26), false);
    out[212] = track(QSize(13, 2), true, false);
    out[213] = track(QSize(13, 2), false, false);
    out[214] = arrow(QSize(13, 12), 0, true);
    out[215] = arrow(QSize(13, 12), 0, false);
    out[216] = arrow(QSize(13, 12), 180, true);
    out[217] = arrow(QSize(13, 12), 180, false);

    out[218] = dropArrow(QSize(18, 18));
    out[219] = dropArrow(QSize(22, 22));
    out[220] = dropArrow(QSize(15, 22));
    out[221] = OpaqueImage(QSize(2, 22), QColor(72, 72, 72));
    out[222] = arrowGrid();

    const QImage main = MainBackground();
    out[223] = titleButton(main, Symbol::Info, false);
    out[224] = titleButton(main, Symbol::Info, true);
    out[225] = titleButton(main, Symbol::Dash, false);
    out[226] = titleButton(main, Symbol::Dash, true);
    out[227] = titleButton(main, Symbol::Cross, false);
    out[228] = titleButton(main, Symbol::Cross, true);
    out[229] = main;
    out[230] = AboutPicture(usEnglish, 1033);
    out[231] = MessagePicture(false);
    out[232] = MessagePicture(false);
    out[233] = MessagePicture(true);
    for (int id = 234; id <= 243; ++id)
        out[id] = ButtonFace(FaceSize, id % 2 == 1);
    out[244] = ButtonFace(WideFaceSize, false);
    out[245] = ButtonFace(WideFaceSize, true);
    return out;
}

} // namespace resgen
