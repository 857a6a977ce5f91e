#include "modbus_serial/modbus_checks.h"

#include <array>

namespace kalvo {

namespace {

// Built once, at compile time.
constexpr std::array<std::uint16_t, 256> kCrcTable = [] {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned value = i;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1) != 0 ? (value >> 1) ^ 0xA001 : value >> 1;
        }
        table[i] = static_cast<std::uint16_t>(value);
    }
    return table;
}();

} // namespace

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc = static_cast<std::uint16_t>(kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8));
    }
    return crc;
}

std::uint8_t Lrc8(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes) {
        sum += b;
    }
    return static_cast<std::uint8_t>(0u - sum);
}

} // namespace kalvo
