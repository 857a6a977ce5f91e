#include "checks/check_text.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace kalvo {

std::string CheckText::Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string CheckText::Signed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%+.*f", decimals, value);
    return text;
}

std::string CheckText::LocalTime(double seconds) {
    const auto whole = static_cast<std::time_t>(std::floor(seconds));
    std::tm local{};
    localtime_r(&whole, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

} // namespace kalvo
