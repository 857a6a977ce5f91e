#include "modbus_serial/brindel_error.h"

namespace kalvo {

namespace {

std::string ReplaceFirst(std::string text, long long value) {
    const std::size_t at = text.find("%d");
    if (at != std::string::npos) {
        text.replace(at, 2, std::to_string(value));
    }
    return text;
}

} // namespace

EBrindelError EBrindelError::Format(const std::string& pattern, long long value) {
    return EBrindelError(ReplaceFirst(pattern, value));
}

EBrindelError EBrindelError::Format(const std::string& pattern, long long first, long long second) {
    return EBrindelError(ReplaceFirst(ReplaceFirst(pattern, first), second));
}

} // namespace kalvo
