#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace kalvo {

// Image of the module's holding registers, element i = protocol address i, each value as it
// travelled on the wire (first byte = high byte). The module sends every quantity least
// significant byte first across its registers; the decoders undo that.
class ModbusRegisters {
public:
    static constexpr int kCount = 251;
    static constexpr std::uint16_t kFillValue = 0xFFFF;

    ModbusRegisters() { fValues.fill(0); }

    std::uint16_t& operator[](int index) { return fValues.at(static_cast<std::size_t>(index)); }
    std::uint16_t operator[](int index) const {
        return fValues.at(static_cast<std::size_t>(index));
    }

    void Fill() { fValues.fill(kFillValue); }
    // Copies a block read at protocol address `first`; the block must fit in the image.
    void Store(int first, std::span<const std::uint16_t> block);

    std::uint16_t RegisterWord(int index) const;
    std::uint32_t RegisterLongWord(int index) const;
    float RegisterSingle(int index) const;
    std::int64_t RegisterInt64(int index) const;
    double RegisterDouble(int index) const;

    // The inverse of the decoders: store a quantity the way the module sends it.
    void PutWord(int index, std::uint16_t value);
    void PutLongWord(int index, std::uint32_t value);
    void PutSingle(int index, float value);
    void PutDouble(int index, double value);

    std::string RegistersToHex(int count, int index) const;
    std::string RegistersToBigEndianHex(int count, int index) const;

private:
    std::array<std::uint16_t, kCount> fValues;
};

} // namespace kalvo
