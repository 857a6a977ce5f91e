#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace kalvo {

// A Modbus/TCP frame exactly as it travels: 7-byte MBAP header, function code, then up to
// 261 data bytes. Multi-byte fields are most significant byte first.
struct TModBusResponseBuffer {
    static constexpr std::size_t kHeaderSize = 7;
    static constexpr std::size_t kDataSize = 261;
    static constexpr std::size_t kSize = kHeaderSize + 1 + kDataSize;

    std::array<std::uint8_t, kSize> Bytes{};

    std::uint16_t TransactionID() const { return Word(0); }
    std::uint16_t ProtocolID() const { return Word(2); }
    std::uint16_t RecLength() const { return Word(4); }
    std::uint8_t UnitID() const { return Bytes[6]; }
    std::uint8_t FunctionCode() const { return Bytes[7]; }
    std::span<const std::uint8_t, kDataSize> MBPData() const {
        return std::span<const std::uint8_t, kSize>(Bytes).subspan<kHeaderSize + 1>();
    }

    void SetWord(std::size_t offset, std::uint16_t value) {
        Bytes[offset] = static_cast<std::uint8_t>(value >> 8);
        Bytes[offset + 1] = static_cast<std::uint8_t>(value & 0xFF);
    }
    std::uint16_t Word(std::size_t offset) const {
        return static_cast<std::uint16_t>((Bytes[offset] << 8) | Bytes[offset + 1]);
    }
};

} // namespace kalvo
