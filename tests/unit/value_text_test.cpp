#include "registers/value_text.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace kalvo {
namespace {

// Image whose registers from 0 carry the value's bit pattern, least significant byte first.
template <typename Pattern> ModbusRegisters ImageOfPattern(Pattern pattern) {
    ModbusRegisters image;
    for (std::size_t k = 0; k < sizeof(Pattern) / 2; ++k) {
        const auto part =
            static_cast<std::uint16_t>(static_cast<std::uint64_t>(pattern) >> (16 * k));
        image[static_cast<int>(k)] = static_cast<std::uint16_t>((part << 8) | (part >> 8));
    }
    return image;
}

TEST(FormatGeneralFloat, FifteenDigitsFixedOrScientific) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0.0, "0"},
        {230.0, "230"},
        {static_cast<double>(230.1f), "230.100006103516"},
        {12345.678, "12345.678"},
        {-3.25, "-3.25"},
        {0.00001, "0.00001"},
        {0.000009, "9E-6"},
        {-1.5e-7, "-1.5E-7"},
        {123456789012345.0, "123456789012345"},
        {1e15, "1E15"},
        {1.7e38, "1.7E38"},
        {0.1, "0.1"},
        {1.0 / 3.0, "0.333333333333333"},
        {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"},
        {-std::numeric_limits<double>::infinity(), "-INF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatGeneralFloat(c.value, "."), c.text) << c.value;
    }
    EXPECT_EQ(FormatGeneralFloat(12345.678, ","), "12345,678");
    EXPECT_EQ(FormatGeneralFloat(2.5e-9, ","), "2,5E-9");
}

TEST(RegisterValueText, UnavailableThresholdsPerType) {
    struct Case {
        ValueType type;
        ModbusRegisters image;
        const char* text;
    };
    const Case cases[] = {
        {ValueType::Short, ImageOfPattern<std::uint16_t>(0xFFFF), "Unavailable"},
        {ValueType::Short, ImageOfPattern<std::uint16_t>(0xFEFF), "65279"},
        {ValueType::Integer, ImageOfPattern<std::uint32_t>(2139095038u), "2139095038"},
        {ValueType::Integer, ImageOfPattern<std::uint32_t>(2139095039u), "Unavailable"},
        {ValueType::Integer, ImageOfPattern<std::uint32_t>(12345u), "12345"},
        {ValueType::Float, ImageOfPattern<std::uint32_t>(0x43660000u), "230"},
        {ValueType::Float, ImageOfPattern<std::uint32_t>(0xC2F00000u), "-120"},
        {ValueType::Float, ImageOfPattern<std::uint32_t>(0xC1A20000u), "-20.25"},
        {ValueType::Float, ImageOfPattern<std::uint32_t>(std::bit_cast<std::uint32_t>(1.7e38f)),
         "0"},
        {ValueType::Float, ImageOfPattern<std::uint32_t>(0x7F7FFFFFu), "Unavailable"},
        {ValueType::Float, ImageOfPattern<std::uint32_t>(0xFF7FFFFFu), "Unavailable"},
        {ValueType::Float, ImageOfPattern<std::uint32_t>(0xFF800000u), "Unavailable"},
        {ValueType::Float, ImageOfPattern<std::uint32_t>(0xFFFFFFFFu), "Unavailable"},
        {ValueType::Double, ImageOfPattern(std::bit_cast<std::uint64_t>(12345.678)), "12345.678"},
        {ValueType::Double, ImageOfPattern(std::bit_cast<std::uint64_t>(-3.25)), "-3.25"},
        {ValueType::Double, ImageOfPattern(0x7FEFFFFFFFFFFFFEull), "0"},
        {ValueType::Double, ImageOfPattern(0x7FEFFFFFFFFFFFFFull), "Unavailable"},
        {ValueType::Double, ImageOfPattern(0xFFF0000000000000ull), "Unavailable"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RegisterValueText(c.image, c.type, 0, "."), c.text)
            << static_cast<int>(c.type) << " " << c.text;
    }
}

TEST(RegisterValueText, UsesTheGivenDecimalSeparator) {
    const auto image = ImageOfPattern(std::bit_cast<std::uint64_t>(12345.678));
    EXPECT_EQ(RegisterValueText(image, ValueType::Double, 0, ","), "12345,678");
    const auto single = ImageOfPattern(std::bit_cast<std::uint32_t>(230.1f));
    EXPECT_EQ(RegisterValueText(single, ValueType::Float, 0, "."), "230.100006103516");
}

} // namespace
} // namespace kalvo
