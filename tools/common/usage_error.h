#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace kalvo::tools {

// A command line that cannot be run; the text says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;

    // The whole of `text` as a number from low to high, or a UsageError naming `option`.
    static long long Number(const std::string& text, const std::string& option, long long low,
                            long long high);
    // The value after the option at `index`, moving `index` onto it.
    static const std::string& Value(const std::vector<std::string>& arguments, std::size_t& index);
};

} // namespace kalvo::tools
