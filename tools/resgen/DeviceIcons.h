// The application icon (102) and the nine device icons (246-254), drawn as vectors at
// each size so that the small sizes stay crisp.
#pragma once

#include <QImage>
#include <QList>

namespace resgen {

inline const QList<int> IconSizes{256, 128, 48, 32, 24, 16};
inline const QList<int> IconIds{102, 246, 247, 248, 249, 250, 251, 252, 253, 254};

// A square ARGB picture of the icon at one size; null for an unknown id. With a ratio of 2
// it is the same design (the same detail and framing as that size) drawn on twice as many
// pixels, for screens of twice the density; the picture then has that device pixel ratio.
QImage IconImage(int id, int size, int ratio = 1);

} // namespace resgen
