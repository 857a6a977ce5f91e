#pragma once

#include <cstdint>
#include <span>

namespace kalvo {

// Modbus CRC-16 (reflected 0xA001, initial 0xFFFF), table-driven.
std::uint16_t Crc16(std::span<const std::uint8_t> bytes);
// Modbus LRC: two's complement of the byte sum modulo 256.
std::uint8_t Lrc8(std::span<const std::uint8_t> bytes);

} // namespace kalvo
