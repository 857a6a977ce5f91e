#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace kalvo {

// Every check, in the order they are shown: those of a reading, then those of a run.
enum class CheckId {
    Clock,
    Frequency,
    Voltages,
    PhaseSequence,
    CurrentDirection,
    PowerTriangle,
    Harmonics,
    TotaliserEncodings,
    ReactiveIdentities,
    LoadProfiles,
    TotalisersNeverDecrease,
    EnergyFollowsPower,
    ClockRuns,
    DataAlive,
};
inline constexpr std::size_t kCheckCount = 14;

// What a check is, whatever it concludes.
struct CheckInfo {
    CheckId Id;
    // Stable: JUnit test names, JSON ids and metrics labels use it.
    std::string_view Key;
    std::string_view Title;
    // What a failure usually means in the field.
    std::string_view Meaning;
};

const CheckInfo& InfoOf(CheckId check);
// Every check, in the order of CheckId.
const std::array<CheckInfo, kCheckCount>& AllChecks();

} // namespace kalvo
