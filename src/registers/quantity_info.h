#pragma once

#include "registers/quantity.h"

#include <array>
#include <optional>
#include <string_view>

namespace kalvo {

// What is known of a quantity beyond its register: how to name it, its unit, and, for an
// integer encoding, the register that says how many of its digits are decimals.
struct QuantityInfo {
    Quantity Id;
    std::string_view Name; // "L1 voltage", "Total active power"
    std::string_view Unit; // empty for a plain number
    std::optional<Quantity> Decimals;
    // The value in the base unit of its kind is the value times this: kilo to one, hours to
    // seconds (kWh to joules), degrees to radians.
    double BaseFactor = 1;
};

const QuantityInfo& InfoOf(Quantity quantity);

// What a trend follows unless told otherwise: the three phase voltages and currents, the total
// active power and the frequency.
inline constexpr std::array<Quantity, 8> kDefaultTrendQuantities = {
    Quantity::VoltageL1, Quantity::VoltageL2, Quantity::VoltageL3,        Quantity::CurrentL1,
    Quantity::CurrentL2, Quantity::CurrentL3, Quantity::ActivePowerTotal, Quantity::Frequency};

} // namespace kalvo
