#pragma once

#include "trend/trend_series.h"

#include <optional>

namespace kalvo {

// What the measurement tools say of one line: its values at the two cursors and their
// difference, and its statistics over the view.
struct TrendMeasurement {
    std::optional<double> AtA;
    std::optional<double> AtB;
    std::optional<double> Delta; // B - A
    TrendSeries::Statistics View;

    // A cursor reads the sample it stands on, or the nearer end of the stretch it lies on;
    // in a gap, before the first or after the last sample it reads nothing.
    static TrendMeasurement Of(const TrendSeries& series, double from, double to,
                               std::optional<double> cursorA, std::optional<double> cursorB);
};

} // namespace kalvo
