#pragma once

#include <stdexcept>
#include <string>

namespace kalvo {

// The error every check of the serial engine raises; the text is shown as it stands.
class EBrindelError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;

    // A message with one "%d" replaced by `value`.
    static EBrindelError Format(const std::string& pattern, long long value);
    // A message with two "%d" replaced in order.
    static EBrindelError Format(const std::string& pattern, long long first, long long second);
};

} // namespace kalvo
