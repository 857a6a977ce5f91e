#pragma once

#include "registers/comm_statistics_record.h"

#include <functional>
#include <mutex>

namespace kalvo {

// The process-wide communication statistics. Pollers update it from their threads while the
// UI shows or resets it, so every access goes through its own lock.
class CommStatistics {
public:
    using Clock = std::function<CommStatisticsRecord::Time()>;

    explicit CommStatistics(Clock clock = std::chrono::system_clock::now)
        : fClock(std::move(clock)) {}

    void CountRequest();
    // A good reply; it also ends the current run of errors.
    void CountResponse();
    void CountNoResponse();
    void CountUnmatched();
    void CountInvalid();
    void CountException();
    // One more error in the current run; the longest run keeps its first and last times.
    void RecordCommError();
    void Reset();
    CommStatisticsRecord Snapshot() const;

private:
    Clock fClock;
    mutable std::mutex fMutex;
    CommStatisticsRecord fRecord;
};

} // namespace kalvo
