#pragma once

#include <optional>

namespace kalvo {

// The limits an engineer sets on a quantity, drawn as lines on its axis; either may be unset.
struct TrendLimit {
    std::optional<double> Lower;
    std::optional<double> Upper;

    bool Empty() const { return !Lower && !Upper; }
};

} // namespace kalvo
