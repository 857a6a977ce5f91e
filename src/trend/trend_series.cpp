#include "trend/trend_series.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kalvo {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

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
        ++fTrims;
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
    ++fTrims;
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
