#include "recording/trend_series.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kalvo {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

} // namespace

void TrendSeries::SetCapacity(std::size_t capacity) {
    fCapacity = std::max(capacity, kSummarySpan);
}

void TrendSeries::Append(double time, double value) {
    // Whole summary blocks go, so the blocks stay aligned to the samples they summarise.
    const std::size_t drop = std::max(kSummarySpan, fCapacity / 64 / kSummarySpan * kSummarySpan);
    if (fTimes.size() >= fCapacity + drop) {
        fTimes.erase(fTimes.begin(), fTimes.begin() + static_cast<std::ptrdiff_t>(drop));
        fValues.erase(fValues.begin(), fValues.begin() + static_cast<std::ptrdiff_t>(drop));
        fSummaries.erase(fSummaries.begin(),
                         fSummaries.begin() + static_cast<std::ptrdiff_t>(drop / kSummarySpan));
    }
    fTimes.push_back(time);
    fValues.push_back(value);
    const std::size_t last = fTimes.size() - 1;
    if (last % kSummarySpan == 0) {
        fSummaries.push_back({kInfinity, -kInfinity, false, 0, 0});
    }
    Summary& summary = fSummaries.back();
    Include(summary, value);
}

void TrendSeries::Include(Summary& summary, double value) {
    if (std::isnan(value)) {
        summary.Gap = true;
        return;
    }
    summary.Lowest = std::min(summary.Lowest, value);
    summary.Highest = std::max(summary.Highest, value);
    summary.Sum += value;
    ++summary.Count;
}

void TrendSeries::Clear() {
    fTimes.clear();
    fValues.clear();
    fSummaries.clear();
}

std::size_t TrendSeries::Bytes() const {
    return fTimes.capacity() * sizeof(double) + fValues.capacity() * sizeof(double) +
           fSummaries.capacity() * sizeof(Summary);
}

std::size_t TrendSeries::LowerBound(double time) const {
    return static_cast<std::size_t>(std::lower_bound(fTimes.begin(), fTimes.end(), time) -
                                    fTimes.begin());
}

std::size_t TrendSeries::IndexAt(double time) const {
    const std::size_t upper = static_cast<std::size_t>(
        std::upper_bound(fTimes.begin(), fTimes.end(), time) - fTimes.begin());
    return upper == 0 ? fTimes.size() : upper - 1;
}

std::size_t TrendSeries::SampleNear(double time, double tolerance) const {
    const std::size_t none = fTimes.size();
    const std::size_t before = IndexAt(time);
    const std::size_t after = before == none ? 0 : before + 1;
    auto drawn = [this, none](std::size_t index) {
        return index < none && !std::isnan(fValues[index]);
    };
    if (drawn(before) && drawn(after)) {
        return time - fTimes[before] <= fTimes[after] - time ? before : after;
    }
    if (drawn(before) && time - fTimes[before] <= tolerance) {
        return before;
    }
    if (drawn(after) && fTimes[after] - time <= tolerance) {
        return after;
    }
    return none;
}

TrendSeries::Summary TrendSeries::Span(std::size_t begin, std::size_t end) const {
    Summary result{kInfinity, -kInfinity, false, 0, 0};
    std::size_t i = begin;
    while (i < end) {
        if (i % kSummarySpan == 0 && i + kSummarySpan <= end) {
            const Summary& block = fSummaries[i / kSummarySpan];
            result.Lowest = std::min(result.Lowest, block.Lowest);
            result.Highest = std::max(result.Highest, block.Highest);
            result.Gap = result.Gap || block.Gap;
            result.Sum += block.Sum;
            result.Count += block.Count;
            i += kSummarySpan;
            continue;
        }
        Include(result, fValues[i]);
        ++i;
    }
    return result;
}

TrendSeries::Statistics TrendSeries::Over(double from, double to) const {
    const std::size_t begin = LowerBound(from);
    const auto end = static_cast<std::size_t>(std::upper_bound(fTimes.begin(), fTimes.end(), to) -
                                              fTimes.begin());
    if (begin >= end) {
        return {};
    }
    const Summary span = Span(begin, end);
    if (span.Count == 0) {
        return {};
    }
    return {span.Count, span.Lowest, span.Highest, span.Sum / static_cast<double>(span.Count)};
}

std::vector<TrendSeries::Point> TrendSeries::Decimated(double from, double to, int columns) const {
    std::vector<Point> points;
    if (fTimes.empty() || columns <= 0 || !(to > from)) {
        return points;
    }
    // One sample beyond each edge, so lines run out of the view instead of stopping short.
    std::size_t begin = LowerBound(from);
    begin = begin > 0 ? begin - 1 : 0;
    const std::size_t end = std::min(fTimes.size(), LowerBound(to) + 1);
    const double width = (to - from) / columns;
    std::size_t i = begin;
    while (i < end) {
        const double columnEnd = from + (std::floor((fTimes[i] - from) / width) + 1) * width;
        const std::size_t next = std::max(i + 1, std::min(end, LowerBound(columnEnd)));
        const Summary span = Span(i, next);
        if (next - i <= 2) {
            for (std::size_t k = i; k < next; ++k) {
                points.push_back({fTimes[k], fValues[k]});
            }
        } else {
            // A gap anywhere in the column breaks the line there; within the column its
            // extremes still show, the one nearer the line so far first.
            if (span.Gap) {
                points.push_back({fTimes[i], kNaN});
            }
            if (span.Lowest <= span.Highest) {
                const double previous = points.empty() ? kNaN : points.back().Value;
                const bool fromTop =
                    !std::isnan(previous) && previous - span.Lowest > span.Highest - previous;
                points.push_back({fTimes[i], fromTop ? span.Highest : span.Lowest});
                points.push_back({fTimes[next - 1], fromTop ? span.Lowest : span.Highest});
            }
            if (std::isnan(fValues[next - 1])) {
                points.push_back({fTimes[next - 1], kNaN});
            }
        }
        i = next;
    }
    return points;
}

bool TrendSeries::Range(double from, double to, double& lowest, double& highest) const {
    const std::size_t begin = LowerBound(from);
    const std::size_t end = std::min(fTimes.size(), LowerBound(to) + 1);
    if (begin >= end) {
        return false;
    }
    const Summary span = Span(begin, end);
    if (!(span.Lowest <= span.Highest)) {
        return false;
    }
    lowest = span.Lowest;
    highest = span.Highest;
    return true;
}

} // namespace kalvo
