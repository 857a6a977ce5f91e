#include "registers/comm_statistics.h"

namespace kalvo {

void CommStatistics::CountRequest() {
    const auto now = fClock();
    std::lock_guard lock(fMutex);
    ++fRecord.Requests;
    fRecord.LastRequestTime = now;
}

void CommStatistics::CountResponse() {
    const auto now = fClock();
    std::lock_guard lock(fMutex);
    ++fRecord.Responses;
    fRecord.LastResponseTime = now;
    fRecord.LastWasError = false;
}

void CommStatistics::CountNoResponse() {
    std::lock_guard lock(fMutex);
    ++fRecord.NoResponses;
}

void CommStatistics::CountUnmatched() {
    std::lock_guard lock(fMutex);
    ++fRecord.Unmatched;
}

void CommStatistics::CountInvalid() {
    std::lock_guard lock(fMutex);
    ++fRecord.Invalid;
}

void CommStatistics::CountException() {
    std::lock_guard lock(fMutex);
    ++fRecord.Exceptions;
}

void CommStatistics::RecordCommError() {
    const auto now = fClock();
    std::lock_guard lock(fMutex);
    CommStatisticsRecord& r = fRecord;
    r.LastErrorTime = now;
    if (r.LastWasError) {
        ++r.ConsecErrors;
    } else {
        r.ConsecErrors = 1;
        r.RunStart = now;
    }
    if (r.ConsecErrors > r.MaxConsecErrors) {
        r.MaxConsecErrors = r.ConsecErrors;
        r.MaxRunStart = r.RunStart;
        r.MaxRunEnd = r.LastErrorTime;
    }
    r.LastWasError = true;
}

void CommStatistics::Reset() {
    std::lock_guard lock(fMutex);
    fRecord = CommStatisticsRecord{};
}

CommStatisticsRecord CommStatistics::Snapshot() const {
    std::lock_guard lock(fMutex);
    return fRecord;
}

} // namespace kalvo
