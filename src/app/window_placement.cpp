#include "app/window_placement.h"

#include <algorithm>

namespace kalvo {

namespace {

constexpr int kVisibleMargin = 25;

int FittedEdge(int value, int low, int high) {
    const int edge = std::max(value, low);
    return std::min(edge, high - kVisibleMargin);
}

} // namespace

QRect ClampedPlacement(const QRect& stored, const QRect& workArea) {
    // QRect's right()/bottom() are one pixel short of the edge.
    const int left = FittedEdge(stored.left(), workArea.left(), workArea.left() + workArea.width());
    const int top = FittedEdge(stored.top(), workArea.top(), workArea.top() + workArea.height());
    const int width = std::min(stored.width(), workArea.width());
    const int height = std::min(stored.height(), workArea.height());
    return QRect(left, top, width, height);
}

} // namespace kalvo
