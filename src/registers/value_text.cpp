#include "registers/value_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace kalvo {

namespace {

constexpr int kSignificantDigits = 15;

struct DecimalDigits {
    std::string digits; // exactly kSignificantDigits digits, first one non-zero
    int exponent;       // value = 0.d1 d2 ... * 10^(exponent + 1)
};

DecimalDigits ToDecimalDigits(double magnitude) {
    // The digits printf's %.14e gives, without its format parsing and locale.
    char buffer[32] = {};
    std::to_chars(buffer, buffer + sizeof buffer - 1, magnitude, std::chars_format::scientific,
                  kSignificantDigits - 1);
    DecimalDigits result;
    result.digits.push_back(buffer[0]);
    const char* cursor = buffer + 2;
    while (*cursor != 'e') {
        result.digits.push_back(*cursor++);
    }
    result.exponent = std::atoi(cursor + 1);
    return result;
}

void TrimTrailingZeros(std::string& digits) {
    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
    }
}

std::string FixedText(DecimalDigits decimal, std::string_view separator) {
    std::string integer;
    std::string fraction;
    if (decimal.exponent >= 0) {
        integer = decimal.digits.substr(0, static_cast<std::size_t>(decimal.exponent) + 1);
        fraction = decimal.digits.substr(integer.size());
    } else {
        integer = "0";
        fraction =
            std::string(static_cast<std::size_t>(-decimal.exponent - 1), '0') + decimal.digits;
    }
    TrimTrailingZeros(fraction);
    return fraction.empty() ? integer : integer + std::string(separator) + fraction;
}

std::string ScientificText(DecimalDigits decimal, std::string_view separator) {
    std::string mantissa = decimal.digits.substr(1);
    TrimTrailingZeros(mantissa);
    std::string text = decimal.digits.substr(0, 1);
    if (!mantissa.empty()) {
        text += std::string(separator) + mantissa;
    }
    return text + "E" + std::to_string(decimal.exponent);
}

std::string NonFiniteText(double value) {
    if (std::isnan(value)) {
        return "NAN";
    }
    return value < 0 ? "-INF" : "INF";
}

} // namespace

std::string FormatGeneralFloat(double value, std::string_view decimalSeparator) {
    if (!std::isfinite(value)) {
        return NonFiniteText(value);
    }
    if (value == 0) {
        return "0";
    }
    const DecimalDigits decimal = ToDecimalDigits(std::fabs(value));
    const bool fixed = decimal.exponent >= -5 && decimal.exponent < kSignificantDigits;
    const std::string text =
        fixed ? FixedText(decimal, decimalSeparator) : ScientificText(decimal, decimalSeparator);
    return std::signbit(value) ? "-" + text : text;
}

std::string RegisterValueText(const ModbusRegisters& registers, ValueType type, int index,
                              std::string_view decimalSeparator) {
    const std::optional<double> value = registers.Value(type, index);
    if (!value) {
        return std::string(kUnavailableText);
    }
    if (type == ValueType::Integer || type == ValueType::Short) {
        return std::to_string(static_cast<std::uint32_t>(*value));
    }
    return FormatGeneralFloat(*value, decimalSeparator);
}

} // namespace kalvo
