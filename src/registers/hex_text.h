#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kalvo {

// Two upper-case hexadecimal digits, high nibble first.
std::string ByteToHex(std::uint8_t value);
// The bytes' ByteToHex texts concatenated, without prefix or separator.
std::string BytesToHex(std::span<const std::uint8_t> bytes);

} // namespace kalvo
