#include "app/window_placement.h"

#include <algorithm>

namespace kalvo {

namespace {

// Where a window of `length` starting at `value` lies wholly in [low, low + room).
int FittedEdge(int value, int length, int low, int room) {
    return std::clamp(value, low, low + room - length);
}

} // namespace

QRect ClampedPlacement(const QRect& stored, const QRect& workArea) {
    const int width = std::min(stored.width(), workArea.width());
    const int height = std::min(stored.height(), workArea.height());
    return QRect(FittedEdge(stored.left(), width, workArea.left(), workArea.width()),
                 FittedEdge(stored.top(), height, workArea.top(), workArea.height()), width,
                 height);
}

} // namespace kalvo
