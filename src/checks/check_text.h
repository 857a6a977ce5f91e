#pragma once

#include <string>

namespace kalvo {

// Numbers and times as the check results show them.
class CheckText {
public:
    static std::string Fixed(double value, int decimals);
    // With its sign always: "+0.4", "-12".
    static std::string Signed(double value, int decimals);
    // Local "2026-12-10 14:05:03" of seconds since the epoch.
    static std::string LocalTime(double seconds);
};

} // namespace kalvo
