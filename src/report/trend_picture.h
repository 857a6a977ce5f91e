#pragma once

#include "trend/trend_series.h"

#include <string>

namespace kalvo {

// One quantity's history over a run as an SVG picture: the line (minimum and maximum per
// column, as the window's chart reduces it), broken where a read failed, with value and time
// axes.
class TrendPicture {
public:
    static constexpr int kWidth = 720;
    static constexpr int kHeight = 200;

    // `from` to `to` in seconds since the epoch; `unit` titles the value axis.
    static std::string Svg(const TrendSeries& series, double from, double to,
                           const std::string& unit, const std::string& decimalSeparator);
};

} // namespace kalvo
