#include "SkinFont.h"

#include <QFontMetrics>
#include <QHash>
#include <QPair>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

QFont PlainFont(const QString& family, int pixelSize)
{
    QFont font(family);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setPixelSize(pixelSize);
    return font;
}

// The pixel size that gives a cell height, found by measuring. The windows ask for the same
// few heights again and again (three 16-pixel fonts in the main window alone), and every size
// measured loads a font engine, so each answer is kept for the run. UI thread only, like the
// measuring itself; the installed fonts do not change under a running program.
QHash<QPair<QString, int>, int>& PixelSizes()
{
    static QHash<QPair<QString, int>, int> sizes;
    return sizes;
}

int MeasuredPixelSize(const QString& family, int cellHeight)
{
    QFont font = PlainFont(family, cellHeight);
    const int measured = QFontMetrics(font).height();
    if (measured <= 0 || measured == cellHeight) {
        return cellHeight;
    }
    // Cell heights do not grow evenly with the pixel size (hinting rounds ascent and descent
    // apart), so the sizes around the proportional estimate are measured: the closest cell
    // wins, the smaller one on a tie.
    const int estimate = static_cast<int>(std::lround(static_cast<double>(cellHeight) * cellHeight / measured));
    int best = std::max(1, estimate);
    int bestError = -1;
    for (int size = std::max(1, estimate - 3); size <= estimate + 3; ++size) {
        font.setPixelSize(size);
        const int height = QFontMetrics(font).height();
        const int error = 2 * std::abs(height - cellHeight) + (height > cellHeight ? 1 : 0);
        if (bestError < 0 || error < bestError) {
            best = size;
            bestError = error;
        }
    }
    return best;
}

} // namespace

QFont CellHeightFont(const QString& family, int cellHeight)
{
    const QPair<QString, int> key(family, cellHeight);
    auto found = PixelSizes().constFind(key);
    if (found == PixelSizes().constEnd()) {
        found = PixelSizes().insert(key, MeasuredPixelSize(family, cellHeight));
    }
    return PlainFont(family, found.value());
}
