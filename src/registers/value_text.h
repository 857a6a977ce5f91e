#pragma once

#include "registers/modbus_registers.h"

#include <string>
#include <string_view>

namespace kalvo {

inline constexpr std::string_view kUnavailableText = "Unavailable";

// General floating-point text: at most 15 significant digits, trailing zeros dropped; fixed
// notation from 0.00001 in magnitude up to 15 integer digits, otherwise "d.dddE±x" with a
// minimal exponent. `decimalSeparator` is the locale's.
std::string FormatGeneralFloat(double value, std::string_view decimalSeparator);

// Text of the "Value" column for a row of the given type whose first register is `index`.
std::string RegisterValueText(const ModbusRegisters& registers, ValueType type, int index,
                              std::string_view decimalSeparator);

} // namespace kalvo
