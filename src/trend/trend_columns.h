#pragma once

#include "trend/trend_series.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kalvo {

// One series reduced to the pixel columns of a view, kept from one redraw to the next. The
// columns lie on a grid fixed in time (multiples of the column width), so when the view moves
// on with new readings only the columns whose samples changed are reduced again: normally
// just the newest. A new zoom or width, or samples dropped from the front, start afresh.
class TrendColumns {
public:
    using Point = TrendSeries::Point;

    // The points to draw `series` from `from` to `to` in `columns` columns: per column its
    // minimum and maximum in time order (or its one or two samples as they are), a NaN point
    // where a gap lies, and one sample beyond each edge so that lines run out of the view.
    // Valid until the next call.
    const std::vector<Point>& Points(const TrendSeries& series, double from, double to,
                                     int columns);
    // How many columns the last call reduced (the rest were kept).
    std::size_t Reduced() const { return fReduced; }

private:
    struct Column {
        std::int64_t Cell;
        std::size_t Begin;
        std::size_t End;
        std::array<Point, 4> Points;
        std::size_t Count;
    };

    std::int64_t CellOf(double time) const;
    // The first sample in [begin, end) whose cell is `cell` or later.
    std::size_t FirstSampleFrom(std::int64_t cell, std::size_t begin, std::size_t end) const;
    void Update(std::int64_t first, std::int64_t last, std::size_t begin, std::size_t end);
    // Reduces the samples [begin, end) to a column per cell, after those kept.
    void Reduce(std::size_t begin, std::size_t end);
    Column ReduceCell(std::int64_t cell, std::size_t begin, std::size_t end) const;

    const TrendSeries* fSeries = nullptr;
    double fWidth = 0;
    std::uint64_t fTrims = 0;
    std::vector<Column> fColumns;
    std::vector<Point> fPoints;
    std::size_t fReduced = 0;
};

} // namespace kalvo
