#include "registers/value_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace kalvo {

namespace {

constexpr int kSignificantDigits = 15;

// The 15 significant digits of a finite, non-zero magnitude (printf's %.14e, without its
// format parsing and locale) and its decimal exponent: value = d1.d2...d15 * 10^exponent.
struct DecimalDigits {
    std::array<char, kSignificantDigits> digits;
    int exponent;
    // Digits up to the last non-zero one.
    std::size_t count;
};

DecimalDigits ToDecimalDigits(double magnitude) {
    std::array<char, 32> text{};
    const char* end = std::to_chars(text.data(), text.data() + text.size(), magnitude,
                                    std::chars_format::scientific, kSignificantDigits - 1)
                          .ptr;
    DecimalDigits result{};
    result.digits[0] = text[0];
    const char* cursor = text.data() + 2;
    for (std::size_t i = 1; i < result.digits.size(); ++i) {
        result.digits[i] = *cursor++;
    }
    const bool negative = cursor[1] == '-';
    std::from_chars(cursor + 2, end, result.exponent);
    result.exponent = negative ? -result.exponent : result.exponent;
    result.count = result.digits.size();
    while (result.count > 1 && result.digits[result.count - 1] == '0') {
        --result.count;
    }
    return result;
}

// Built in one string: a recording formats hundreds of values per reading.
void AppendFixed(std::string& text, const DecimalDigits& decimal, std::string_view separator) {
    const char* digits = decimal.digits.data();
    if (decimal.exponent >= 0) {
        const auto integer = static_cast<std::size_t>(decimal.exponent) + 1;
        text.append(digits, integer);
        if (decimal.count > integer) {
            text += separator;
            text.append(digits + integer, decimal.count - integer);
        }
        return;
    }
    text += '0';
    text += separator;
    text.append(static_cast<std::size_t>(-decimal.exponent - 1), '0');
    text.append(digits, decimal.count);
}

void AppendScientific(std::string& text, const DecimalDigits& decimal, std::string_view separator) {
    text += decimal.digits[0];
    if (decimal.count > 1) {
        text += separator;
        text.append(decimal.digits.data() + 1, decimal.count - 1);
    }
    text += 'E';
    text += std::to_string(decimal.exponent);
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
    std::string text;
    text.reserve(32);
    if (std::signbit(value)) {
        text += '-';
    }
    if (decimal.exponent >= -5 && decimal.exponent < kSignificantDigits) {
        AppendFixed(text, decimal, decimalSeparator);
    } else {
        AppendScientific(text, decimal, decimalSeparator);
    }
    return text;
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
