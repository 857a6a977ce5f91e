#pragma once

#include <QRect>

namespace kalvo {

// The stored window rectangle fitted into the screen's work area: the size never exceeds it,
// and the window is moved the least that puts it wholly inside.
QRect ClampedPlacement(const QRect& stored, const QRect& workArea);

} // namespace kalvo
