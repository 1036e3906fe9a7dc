#include "SkinFont.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>
#include <cstdlib>

QFont CellHeightFont(const QString& family, int cellHeight)
{
    QFont font(family);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setPixelSize(cellHeight);
    const int measured = QFontMetrics(font).height();
    if (measured <= 0 || measured == cellHeight) {
        return font;
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
    font.setPixelSize(best);
    return font;
}
