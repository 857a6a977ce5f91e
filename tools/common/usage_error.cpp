#include "usage_error.h"

#include <charconv>

namespace kalvo::tools {

long long UsageError::Number(const std::string& text, const std::string& option, long long low,
                             long long high) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        throw UsageError(option + " needs a number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + text + "'");
    }
    return value;
}

const std::string& UsageError::Value(const std::vector<std::string>& arguments,
                                     std::size_t& index) {
    if (index + 1 >= arguments.size()) {
        throw UsageError(arguments[index] + " needs a value");
    }
    return arguments[++index];
}

} // namespace kalvo::tools
