#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kalvo {

// The history of one quantity: times (seconds since the epoch) and values, a NaN value
// marking a gap. Summaries of every 32 samples (minimum, maximum, gap) let a view of any
// length be reduced to one minimum and one maximum per pixel column at a cost that hardly
// depends on how long the history is.
class TrendSeries {
public:
    struct Point {
        double Time;
        double Value;
    };

    // A day of readings at the shortest interval, 200 ms.
    static constexpr std::size_t kDefaultCapacity = 432'000;

    // Beyond its capacity the oldest samples go first, a block of them at a time: the
    // history holds at least `capacity` of the newest samples and at most a block more
    // (1/64 of the capacity, at least 32 samples).
    void SetCapacity(std::size_t capacity);
    std::size_t Capacity() const { return fCapacity; }
    void Append(double time, double value);
    void Clear();
    std::size_t Size() const { return fTimes.size(); }
    double FirstTime() const { return fTimes.empty() ? 0.0 : fTimes.front(); }
    double LastTime() const { return fTimes.empty() ? 0.0 : fTimes.back(); }
    double TimeAt(std::size_t index) const { return fTimes[index]; }
    double ValueAt(std::size_t index) const { return fValues[index]; }
    // The sample at or just before `time`, or Size() when there is none.
    std::size_t IndexAt(double time) const;
    // The sample a reading at `time` is taken from: the nearer end of the drawn stretch
    // `time` lies on, or a sample within `tolerance` of it; Size() when `time` lies before
    // the first sample, after the last or in a gap.
    std::size_t SampleNear(double time, double tolerance) const;
    // Counts the times samples were removed (a clear, or the oldest dropped): a change tells
    // those who keep indices into the history to start afresh.
    std::uint64_t Trims() const { return fTrims; }
    struct Statistics {
        std::size_t Count = 0;
        double Lowest = 0;
        double Highest = 0;
        double Mean = 0;
    };
    // Of the values read from `from` to `to`, both included; gaps do not count.
    Statistics Over(double from, double to) const;
    // The smallest and largest value from `from` to `to`; false when there is none.
    bool Range(double from, double to, double& lowest, double& highest) const;
    // Bytes held, for the memory figure.
    std::size_t Bytes() const;

private:
    friend class TrendColumns;

    struct Summary {
        double Lowest;
        double Highest;
        bool Gap;
        double Sum;
        std::size_t Count;
    };
    static constexpr std::size_t kSummarySpan = 32;

    static void Include(Summary& summary, double value);
    // The minimum, maximum, gap, sum and count of the samples [begin, end).
    Summary Span(std::size_t begin, std::size_t end) const;
    std::size_t LowerBound(double time) const;

    std::vector<double> fTimes;
    // Doubles: a totaliser's reading must come out as the table shows it.
    std::vector<double> fValues;
    std::vector<Summary> fSummaries;
    std::size_t fCapacity = kDefaultCapacity;
    std::uint64_t fTrims = 0;
};

} // namespace kalvo
