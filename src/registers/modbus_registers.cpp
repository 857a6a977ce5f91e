#include "registers/modbus_registers.h"

#include "registers/quantity_info.h"
#include "registers/register_map.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>

namespace kalvo {

namespace {

constexpr double kScreenBound = 1e38;

// Quiet comparisons: a NaN must not raise the invalid-operation flag on its way to 0.
template <typename Float> Float Screened(Float value) {
    if (std::isnan(value) || std::isgreater(static_cast<double>(value), kScreenBound)) {
        return 0;
    }
    return value;
}

constexpr std::uint32_t kSingleSignMask = 0x7FFFFFFFu;
constexpr std::uint32_t kSingleLargestFinite = 0x7F7FFFFFu;
constexpr std::uint64_t kDoubleSignMask = 0x7FFFFFFFFFFFFFFFull;
constexpr std::uint64_t kDoubleLargestFinite = 0x7FEFFFFFFFFFFFFFull;

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendWordHex(std::string& text, std::uint16_t word) {
    for (int shift = 12; shift >= 0; shift -= 4) {
        text.push_back(kHexDigits[(word >> shift) & 0xF]);
    }
}

std::uint16_t Swapped(std::uint16_t word) {
    return static_cast<std::uint16_t>((word << 8) | (word >> 8));
}

} // namespace

void ModbusRegisters::Store(int first, std::span<const std::uint16_t> block) {
    if (first < 0 || static_cast<std::size_t>(first) + block.size() > fValues.size()) {
        throw std::out_of_range("register block outside the image");
    }
    std::copy(block.begin(), block.end(), fValues.begin() + first);
}

std::uint16_t ModbusRegisters::RegisterWord(int index) const {
    return Swapped((*this)[index]);
}

std::uint32_t ModbusRegisters::RegisterLongWord(int index) const {
    return static_cast<std::uint32_t>(RegisterWord(index)) |
           (static_cast<std::uint32_t>(RegisterWord(index + 1)) << 16);
}

float ModbusRegisters::RegisterSingle(int index) const {
    return Screened(std::bit_cast<float>(RegisterLongWord(index)));
}

std::int64_t ModbusRegisters::RegisterInt64(int index) const {
    std::uint64_t pattern = 0;
    for (int k = 0; k < 4; ++k) {
        pattern |= static_cast<std::uint64_t>(RegisterWord(index + k)) << (16 * k);
    }
    return static_cast<std::int64_t>(pattern);
}

double ModbusRegisters::RegisterDouble(int index) const {
    return Screened(std::bit_cast<double>(RegisterInt64(index)));
}

std::optional<double> ModbusRegisters::Value(ValueType type, int index) const {
    switch (type) {
    case ValueType::Integer: {
        const std::uint32_t value = RegisterLongWord(index);
        return value >= kSingleLargestFinite ? std::nullopt : std::optional<double>(value);
    }
    case ValueType::Short: {
        const std::uint16_t value = RegisterWord(index);
        return value == 0xFFFF ? std::nullopt : std::optional<double>(value);
    }
    // A negative quantity is a valid reading; only the sign-less pattern decides availability.
    case ValueType::Double: {
        const auto pattern = static_cast<std::uint64_t>(RegisterInt64(index));
        return (pattern & kDoubleSignMask) >= kDoubleLargestFinite
                   ? std::nullopt
                   : std::optional<double>(RegisterDouble(index));
    }
    case ValueType::Float: {
        const std::uint32_t pattern = RegisterLongWord(index);
        return (pattern & kSingleSignMask) >= kSingleLargestFinite
                   ? std::nullopt
                   : std::optional<double>(RegisterSingle(index));
    }
    }
    return std::nullopt;
}

std::optional<double> ModbusRegisters::Value(Quantity quantity) const {
    const RegisterDef& row = RegisterOf(quantity);
    return Value(row.Decoder, row.Index);
}

// A decimals count beyond what a 32-bit integer can carry is no count: the value is unknown.
std::optional<double> ModbusRegisters::ScaledValue(Quantity quantity) const {
    const std::optional<double> value = Value(quantity);
    const std::optional<Quantity> decimalsRow = InfoOf(quantity).Decimals;
    if (!value || !decimalsRow) {
        return value;
    }
    const std::optional<double> decimals = Value(*decimalsRow);
    if (!decimals || *decimals > kMaximumDecimals) {
        return std::nullopt;
    }
    return *value / std::pow(10.0, *decimals);
}

void ModbusRegisters::PutWord(int index, std::uint16_t value) {
    (*this)[index] = Swapped(value);
}

void ModbusRegisters::PutLongWord(int index, std::uint32_t value) {
    PutWord(index, static_cast<std::uint16_t>(value & 0xFFFF));
    PutWord(index + 1, static_cast<std::uint16_t>(value >> 16));
}

void ModbusRegisters::PutSingle(int index, float value) {
    PutLongWord(index, std::bit_cast<std::uint32_t>(value));
}

void ModbusRegisters::PutDouble(int index, double value) {
    const auto pattern = std::bit_cast<std::uint64_t>(value);
    for (int k = 0; k < 4; ++k) {
        PutWord(index + k, static_cast<std::uint16_t>(pattern >> (16 * k)));
    }
}

void ModbusRegisters::Put(Quantity quantity, double value) {
    const RegisterDef& row = RegisterOf(quantity);
    switch (row.Decoder) {
    case ValueType::Short:
        PutWord(row.Index, static_cast<std::uint16_t>(std::llround(value)));
        break;
    case ValueType::Integer:
        PutLongWord(row.Index, static_cast<std::uint32_t>(std::llround(value)));
        break;
    case ValueType::Float:
        PutSingle(row.Index, static_cast<float>(value));
        break;
    case ValueType::Double:
        PutDouble(row.Index, value);
        break;
    }
}

std::string ModbusRegisters::RegistersToHex(int count, int index) const {
    std::string text = "0x";
    for (int k = 0; k < count; ++k) {
        AppendWordHex(text, (*this)[index + k]);
    }
    return text;
}

std::string ModbusRegisters::RegistersToBigEndianHex(int count, int index) const {
    std::string text = "0x";
    for (int k = count - 1; k >= 0; --k) {
        AppendWordHex(text, RegisterWord(index + k));
    }
    return text;
}

} // namespace kalvo
