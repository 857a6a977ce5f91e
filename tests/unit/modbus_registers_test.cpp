#include "registers/hex_text.h"
#include "registers/modbus_registers.h"

#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace kalvo {
namespace {

// Loads registers starting at 0 with the given stored values.
ModbusRegisters ImageOf(const std::vector<std::uint16_t>& words) {
    ModbusRegisters image;
    image.Store(0, words);
    return image;
}

// Stored registers for a single's bit pattern: wire bytes are the pattern little endian.
std::vector<std::uint16_t> WordsOfSingle(std::uint32_t pattern) {
    auto swap = [](std::uint32_t w) {
        return static_cast<std::uint16_t>(((w & 0xFF) << 8) | (w >> 8 & 0xFF));
    };
    return {swap(pattern & 0xFFFF), swap(pattern >> 16)};
}

std::vector<std::uint16_t> WordsOfDouble(double value) {
    const auto pattern = std::bit_cast<std::uint64_t>(value);
    std::vector<std::uint16_t> words;
    for (int k = 0; k < 4; ++k) {
        const auto part = static_cast<std::uint16_t>(pattern >> (16 * k));
        words.push_back(static_cast<std::uint16_t>((part << 8) | (part >> 8)));
    }
    return words;
}

TEST(ModbusRegisters, WorkedExamplesDecodeAndRender) {
    const ModbusRegisters word = ImageOf({0xE807});
    EXPECT_EQ(word.RegisterWord(0), 2024);
    EXPECT_EQ(word.RegistersToHex(1, 0), "0xE807");
    EXPECT_EQ(word.RegistersToBigEndianHex(1, 0), "0x07E8");

    const ModbusRegisters single = ImageOf({0x0000, 0x6643});
    EXPECT_EQ(single.RegisterLongWord(0), 1130758144u);
    EXPECT_EQ(single.RegisterSingle(0), 230.0f);
    EXPECT_EQ(single.RegistersToHex(2, 0), "0x00006643");
    EXPECT_EQ(single.RegistersToBigEndianHex(2, 0), "0x43660000");

    const ModbusRegisters serial = ImageOf({0x3930, 0x0000});
    EXPECT_EQ(serial.RegisterLongWord(0), 12345u);
    EXPECT_EQ(serial.RegistersToBigEndianHex(2, 0), "0x00003039");

    const ModbusRegisters empty;
    EXPECT_EQ(empty.RegistersToHex(0, 3), "0x");
    EXPECT_EQ(empty.RegistersToBigEndianHex(0, 3), "0x");
}

TEST(ModbusRegisters, FillValueDecodesToScreenedValues) {
    ModbusRegisters image;
    image.Fill();
    std::feclearexcept(FE_ALL_EXCEPT);
    EXPECT_EQ(image.RegisterWord(10), 65535);
    EXPECT_EQ(image.RegisterLongWord(10), 4294967295u);
    EXPECT_EQ(image.RegisterSingle(10), 0.0f);
    EXPECT_EQ(image.RegisterDouble(10), 0.0);
    EXPECT_EQ(image.RegistersToHex(2, 10), "0xFFFFFFFF");
    EXPECT_EQ(image[250], 0xFFFF);
    EXPECT_FALSE(std::fetestexcept(FE_INVALID)) << "NaN screening must compare quietly";
}

TEST(ModbusRegisters, SingleScreeningBoundaries) {
    struct Case {
        std::uint32_t pattern;
        float expected;
    };
    const Case cases[] = {
        {0x7F7FFFFF, 0.0f},                              // largest finite, above 1e38
        {0x7E967699, std::bit_cast<float>(0x7E967699u)}, // just below 1e38
        {0x7E96769A, 0.0f},                              // just above 1e38
        {0xC3660000, -230.0f},                           // negative passes
        {0x7F800000, 0.0f},                              // +inf
        {0x7FC00000, 0.0f},                              // NaN
        {0x00000001, std::bit_cast<float>(0x00000001u)}, // denormal passes
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ImageOf(WordsOfSingle(c.pattern)).RegisterSingle(0), c.expected)
            << std::hex << c.pattern;
    }
    EXPECT_TRUE(std::isinf(ImageOf(WordsOfSingle(0xFF800000)).RegisterSingle(0)));
}

TEST(ModbusRegisters, DoubleScreeningAndPattern) {
    EXPECT_EQ(ImageOf(WordsOfDouble(1e300)).RegisterDouble(0), 0.0);
    EXPECT_EQ(ImageOf(WordsOfDouble(-1e300)).RegisterDouble(0), -1e300);
    EXPECT_EQ(ImageOf(WordsOfDouble(12345.678)).RegisterDouble(0), 12345.678);
    const ModbusRegisters image = ImageOf({0x0100, 0x0200, 0x0300, 0x0480});
    EXPECT_EQ(static_cast<std::uint64_t>(image.RegisterInt64(0)), 0x8004000300020001ull);
    EXPECT_EQ(image.RegistersToBigEndianHex(4, 0), "0x8004000300020001");
}

TEST(ModbusRegisters, PutIsTheInverseOfTheDecoders) {
    ModbusRegisters image;
    image.PutWord(0, 2024);
    image.PutLongWord(1, 12345678);
    image.PutSingle(3, -230.5f);
    image.PutDouble(5, 12345.678);
    EXPECT_EQ(image[0], 0xE807);
    EXPECT_EQ(image.RegistersToHex(2, 1), "0x4E61BC00");
    EXPECT_EQ(image.RegisterSingle(3), -230.5f);
    EXPECT_EQ(image.RegisterDouble(5), 12345.678);
}

TEST(ModbusRegisters, StoreRejectsBlocksOutsideTheImage) {
    ModbusRegisters image;
    const std::vector<std::uint16_t> block(124, 1);
    EXPECT_NO_THROW(image.Store(121, block));
    EXPECT_THROW(image.Store(200, block), std::out_of_range);
    EXPECT_THROW(image.Store(-1, block), std::out_of_range);
}

TEST(HexText, BytesRenderUpperCaseWithoutSeparator) {
    EXPECT_EQ(ByteToHex(0x0A), "0A");
    EXPECT_EQ(ByteToHex(0xF0), "F0");
    const std::vector<std::uint8_t> request = {0x01, 0x03, 0x00, 0x00, 0x00, 0x79};
    EXPECT_EQ(BytesToHex(request), "010300000079");
    EXPECT_EQ(BytesToHex({}), "");
}

} // namespace
} // namespace kalvo
