#include "trend/trend_columns.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kalvo {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Cells beyond this are one cell: only a zoom far past any sensible one gets there.
constexpr double kCellLimit = 1e18;

} // namespace

const std::vector<TrendColumns::Point>& TrendColumns::Points(const TrendSeries& series, double from,
                                                             double to, int columns) {
    fPoints.clear();
    fReduced = 0;
    if (series.Size() == 0 || columns <= 0 || !(to > from)) {
        fColumns.clear();
        fSeries = nullptr;
        return fPoints;
    }
    const double width = (to - from) / columns;
    if (fSeries != &series || fWidth != width || fTrims != series.Trims()) {
        fColumns.clear();
    }
    fSeries = &series;
    fWidth = width;
    fTrims = series.Trims();
    const std::int64_t first = CellOf(from);
    const std::int64_t last = CellOf(to);
    const std::size_t begin = FirstSampleFrom(first, 0, series.Size());
    const std::size_t end = FirstSampleFrom(last + 1, begin, series.Size());
    Update(first, last, begin, end);
    if (begin > 0) {
        fPoints.push_back({series.TimeAt(begin - 1), series.ValueAt(begin - 1)});
    }
    for (const Column& column : fColumns) {
        fPoints.insert(fPoints.end(), column.Points.begin(),
                       column.Points.begin() + static_cast<std::ptrdiff_t>(column.Count));
    }
    if (end < series.Size()) {
        fPoints.push_back({series.TimeAt(end), series.ValueAt(end)});
    }
    return fPoints;
}

std::int64_t TrendColumns::CellOf(double time) const {
    return static_cast<std::int64_t>(
        std::clamp(std::floor(time / fWidth), -kCellLimit, kCellLimit));
}

// Galloping from `begin`, as the next column's samples are near and so in the cache; plain
// comparisons with the cell's start, then a step either way where rounding put a sample on
// the other side of it than CellOf does.
std::size_t TrendColumns::FirstSampleFrom(std::int64_t cell, std::size_t begin,
                                          std::size_t end) const {
    const auto& times = fSeries->fTimes;
    const double start = static_cast<double>(cell) * fWidth;
    std::size_t low = begin;
    std::size_t step = 1;
    while (low + step < end && times[low + step] < start) {
        low += step;
        step *= 2;
    }
    const auto first = times.begin();
    auto found = static_cast<std::size_t>(
        std::lower_bound(first + static_cast<std::ptrdiff_t>(low),
                         first + static_cast<std::ptrdiff_t>(std::min(end, low + step)), start) -
        first);
    while (found > begin && CellOf(times[found - 1]) >= cell) {
        --found;
    }
    while (found < end && CellOf(times[found]) < cell) {
        ++found;
    }
    return found;
}

// The kept columns are one run of samples without holes: those out of view go, those missing
// before the first are added, and the last is reduced again when samples came after it.
void TrendColumns::Update(std::int64_t first, std::int64_t last, std::size_t begin,
                          std::size_t end) {
    std::erase_if(fColumns, [first, last](const Column& column) {
        return column.Cell < first || column.Cell > last;
    });
    if (fColumns.empty()) {
        Reduce(begin, end);
        return;
    }
    if (fColumns.front().Begin > begin) {
        std::vector<Column> kept;
        kept.swap(fColumns);
        Reduce(begin, kept.front().Begin);
        fColumns.insert(fColumns.end(), kept.begin(), kept.end());
    }
    if (fColumns.back().End < end) {
        const std::size_t from = fColumns.back().Begin;
        fColumns.pop_back();
        Reduce(from, end);
    }
}

void TrendColumns::Reduce(std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++fReduced) {
        const std::int64_t cell = CellOf(fSeries->TimeAt(i));
        const std::size_t next = FirstSampleFrom(cell + 1, i + 1, end);
        fColumns.push_back(ReduceCell(cell, i, next));
        i = next;
    }
}

// A gap anywhere in the column breaks the line there; within the column its extremes still
// show, the one nearer the sample before first.
TrendColumns::Column TrendColumns::ReduceCell(std::int64_t cell, std::size_t begin,
                                              std::size_t end) const {
    const TrendSeries& series = *fSeries;
    Column column{cell, begin, end, {}, 0};
    auto add = [&column](double time, double value) {
        column.Points[column.Count++] = {time, value};
    };
    if (end - begin <= 2) {
        for (std::size_t k = begin; k < end; ++k) {
            add(series.TimeAt(k), series.ValueAt(k));
        }
        return column;
    }
    const TrendSeries::Summary span = series.Span(begin, end);
    if (span.Gap) {
        add(series.TimeAt(begin), kNaN);
    }
    if (span.Lowest <= span.Highest) {
        const double previous = begin > 0 ? series.ValueAt(begin - 1) : kNaN;
        const bool fromTop =
            !std::isnan(previous) && previous - span.Lowest > span.Highest - previous;
        add(series.TimeAt(begin), fromTop ? span.Highest : span.Lowest);
        add(series.TimeAt(end - 1), fromTop ? span.Lowest : span.Highest);
    }
    if (std::isnan(series.ValueAt(end - 1))) {
        add(series.TimeAt(end - 1), kNaN);
    }
    return column;
}

} // namespace kalvo
