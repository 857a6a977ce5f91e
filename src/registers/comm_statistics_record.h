#pragma once

#include <chrono>
#include <cstdint>

namespace kalvo {

// Counts since the last reset and the runs of consecutive errors. A zero time point means
// "no such event yet".
struct CommStatisticsRecord {
    using Time = std::chrono::system_clock::time_point;

    std::int32_t Requests = 0;
    std::int32_t Responses = 0;
    Time LastRequestTime{};
    Time LastResponseTime{};
    std::int32_t Unmatched = 0;
    std::int32_t Exceptions = 0;
    std::int32_t NoResponses = 0;
    std::int32_t Invalid = 0;
    std::int32_t MaxConsecErrors = 0;
    Time MaxRunStart{};
    Time MaxRunEnd{};
    std::int32_t ConsecErrors = 0;
    Time RunStart{};
    Time LastErrorTime{};
    bool LastWasError = false;
};

} // namespace kalvo
