#include "log_time.h"

#include <array>
#include <chrono>
#include <ctime>

namespace kalvo::poll {

double NowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Formatted once a second: reading as fast as it can, kalvo-poll logs thousands of lines in it.
std::string TimeStamp() {
    thread_local std::time_t formatted = -1;
    thread_local std::array<char, 16> text{};
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    if (now != formatted) {
        std::tm local{};
        localtime_r(&now, &local);
        std::strftime(text.data(), text.size(), "%H:%M:%S", &local);
        formatted = now;
    }
    return text.data();
}

} // namespace kalvo::poll
