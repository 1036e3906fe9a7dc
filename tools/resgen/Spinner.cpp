#include "Spinner.h"

#include <QImage>
#include <QPainter>
#include <QtMath>

namespace resgen {
namespace {

const QColor Background{59, 59, 59};
const QColor Ink{255, 146, 26};

// Strength of each dot by its distance behind the head.
constexpr double Trail[SpinnerFrames] = {1.0, 0.72, 0.5, 0.34, 0.22, 0.16, 0.16};

} // namespace

// Every pixel is a mix of the background and the ink, so the palette is that one ramp and
// a pixel's index is simply its ink coverage: no colour quantising needed.
GifAnimation SpinnerAnimation(int ratio)
{
    ratio = qMax(1, ratio);
    const int pixels = SpinnerSize * ratio;
    GifAnimation gif;
    gif.width = pixels;
    gif.height = pixels;
    for (int i = 0; i < 256; ++i) {
        const double t = i / 255.0;
        gif.palette[static_cast<size_t>(i)] = qRgb(qRound(Background.red() + (Ink.red() - Background.red()) * t),
                                                   qRound(Background.green() + (Ink.green() - Background.green()) * t),
                                                   qRound(Background.blue() + (Ink.blue() - Background.blue()) * t));
    }
    const QPointF centre(SpinnerSize / 2.0, SpinnerSize / 2.0);
    constexpr double Radius = 16.0;
    constexpr double DotRadius = 4.3;
    for (int frame = 0; frame < SpinnerFrames; ++frame) {
        QImage coverage(pixels, pixels, QImage::Format_ARGB32);
        coverage.fill(Qt::transparent);
        QPainter p(&coverage);
        p.setRenderHint(QPainter::Antialiasing);
        if (ratio > 1)
            p.scale(ratio, ratio);
        p.setPen(Qt::NoPen);
        for (int dot = 0; dot < SpinnerFrames; ++dot) {
            const int behind = (frame - dot + SpinnerFrames) % SpinnerFrames;
            const double angle = 2.0 * M_PI * dot / SpinnerFrames - M_PI / 2.0;
            const QPointF at = centre + QPointF(Radius * qCos(angle), Radius * qSin(angle));
            const double size = DotRadius * (behind == 0 ? 1.0 : 0.86);
            p.setBrush(QColor(255, 255, 255, qRound(255 * Trail[behind])));
            p.drawEllipse(at, size, size);
        }
        p.end();
        GifFrame out;
        out.indices.resize(pixels * pixels);
        for (int y = 0; y < pixels; ++y) {
            for (int x = 0; x < pixels; ++x)
                out.indices[y * pixels + x] = static_cast<char>(qAlpha(coverage.pixel(x, y)));
        }
        out.delayCentiseconds = 0;
        out.disposal = 1;
        gif.frames.append(out);
    }
    return gif;
}

} // namespace resgen
