#pragma once

#include <array>
#include <cstdint>

namespace kalvo {

// Polling interval choice, the reset-statistics flag and the Modbus/TCP reply time-out, kept
// in the configuration file.
struct PollSettings {
    static constexpr std::array<std::int32_t, 7> kPollingDelaysMs = {200,   500,   1000, 5000,
                                                                     10000, 30000, 60000};
    static constexpr std::int32_t kDefaultDelayIndex = 2;
    static constexpr std::int32_t kDefaultReplyTimeoutS = 15;
    static constexpr std::int32_t kLongestReplyTimeoutS = 600;

    std::int32_t PollingDelayIndex = kDefaultDelayIndex;
    bool ResetStatistics = false;
    std::int32_t ReplyTimeoutS = kDefaultReplyTimeoutS;
};

} // namespace kalvo
