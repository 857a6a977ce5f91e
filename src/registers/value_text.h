#pragma once

#include "registers/modbus_registers.h"

#include <optional>
#include <string>
#include <string_view>

namespace kalvo {

inline constexpr std::string_view kUnavailableText = "Unavailable";

// General floating-point text: at most 15 significant digits, trailing zeros dropped; fixed
// notation from 0.00001 in magnitude up to 15 integer digits, otherwise "d.dddE±x" with a
// minimal exponent. `decimalSeparator` is the locale's.
std::string FormatGeneralFloat(double value, std::string_view decimalSeparator);

// The value of a row of the given type whose first register is `index`; nothing when it is
// unavailable or the type unknown. The tables' texts and the trend take it from here.
std::optional<double> RegisterValue(const ModbusRegisters& registers, std::string_view type,
                                    int index);

// Text of the "Value" column for a row of the given type whose first register is `index`.
// Unknown types give the empty text.
std::string RegisterValueText(const ModbusRegisters& registers, std::string_view type, int index,
                              std::string_view decimalSeparator);

} // namespace kalvo
