#pragma once

#include <string>
#include <string_view>

namespace kalvo {

// SHA-256 (FIPS 180-4) of a byte string, written here so that the tools need no crypto library.
class Sha256 {
public:
    // The digest as 64 lower-case hexadecimal digits.
    static std::string Hex(std::string_view bytes);
};

} // namespace kalvo
