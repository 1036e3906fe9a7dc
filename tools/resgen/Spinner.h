// The searching animation: seven frames of a ring of dots whose bright head moves round,
// orange on the dark skin colour.
#pragma once

#include "GifWriter.h"

namespace resgen {

inline constexpr int SpinnerSize = 50;
inline constexpr int SpinnerFrames = 7;

// The animation at a pixel ratio: ratio times SpinnerSize pixels square, the same drawing.
GifAnimation SpinnerAnimation(int ratio = 1);

} // namespace resgen
