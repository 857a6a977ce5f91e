#pragma once

#include <functional>
#include <string>

namespace kalvo::test {

// The message of what `action` raises, or "no error".
inline std::string ErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no error";
}

} // namespace kalvo::test
