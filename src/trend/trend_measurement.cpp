#include "trend/trend_measurement.h"

namespace kalvo {

namespace {

std::optional<double> ValueAt(const TrendSeries& series, std::optional<double> cursor) {
    if (!cursor) {
        return std::nullopt;
    }
    const std::size_t index = series.SampleNear(*cursor, 0);
    return index < series.Size() ? std::optional<double>(series.ValueAt(index)) : std::nullopt;
}

} // namespace

TrendMeasurement TrendMeasurement::Of(const TrendSeries& series, double from, double to,
                                      std::optional<double> cursorA,
                                      std::optional<double> cursorB) {
    TrendMeasurement result;
    result.AtA = ValueAt(series, cursorA);
    result.AtB = ValueAt(series, cursorB);
    if (result.AtA && result.AtB) {
        result.Delta = *result.AtB - *result.AtA;
    }
    result.View = series.Over(from, to);
    return result;
}

} // namespace kalvo
