#pragma once

#include <QRect>

namespace kalvo {

// The stored window rectangle fitted to the screen's work area: at least 25 pixels of the
// window stay inside it, and the size never exceeds it. Left and top are fitted before the
// size, so the far edges may still overhang.
QRect ClampedPlacement(const QRect& stored, const QRect& workArea);

} // namespace kalvo
