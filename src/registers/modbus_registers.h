#pragma once

#include "registers/quantity.h"
#include "registers/register_def.h"

#include <array>
#include <cstdint>
#include <optional>
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
    // More decimals than a 32-bit integer has digits is no decimals count.
    static constexpr std::uint16_t kMaximumDecimals = 9;

    ModbusRegisters() { fValues.fill(0); }

    std::uint16_t& operator[](int index) { return fValues.at(static_cast<std::size_t>(index)); }
    std::uint16_t operator[](int index) const {
        return fValues.at(static_cast<std::size_t>(index));
    }

    // `count` registers from `first`; the range must lie in the image.
    std::span<const std::uint16_t> Range(int first, int count) const {
        return std::span(fValues).subspan(static_cast<std::size_t>(first),
                                          static_cast<std::size_t>(count));
    }

    void Fill() { fValues.fill(kFillValue); }
    // Copies a block read at protocol address `first`; the block must fit in the image.
    void Store(int first, std::span<const std::uint16_t> block);

    std::uint16_t RegisterWord(int index) const;
    std::uint32_t RegisterLongWord(int index) const;
    float RegisterSingle(int index) const;
    std::int64_t RegisterInt64(int index) const;
    double RegisterDouble(int index) const;

    // A row's value as the tables show it, decoded by `type` from register `index`; nothing
    // when the module marks it unavailable.
    std::optional<double> Value(ValueType type, int index) const;
    // The value of `quantity`'s row; its unit is InfoOf(quantity).Unit once scaled.
    std::optional<double> Value(Quantity quantity) const;
    // The value with its decimals applied when its row is an integer encoding with a decimals
    // register; nothing when either is unavailable.
    std::optional<double> ScaledValue(Quantity quantity) const;

    // The inverse of the decoders: store a quantity the way the module sends it.
    void PutWord(int index, std::uint16_t value);
    void PutLongWord(int index, std::uint32_t value);
    void PutSingle(int index, float value);
    void PutDouble(int index, double value);
    // Stores `value` in `quantity`'s row as its type encodes it (integers rounded).
    void Put(Quantity quantity, double value);

    std::string RegistersToHex(int count, int index) const;
    std::string RegistersToBigEndianHex(int count, int index) const;

private:
    std::array<std::uint16_t, kCount> fValues;
};

} // namespace kalvo
