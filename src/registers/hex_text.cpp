#include "registers/hex_text.h"

namespace kalvo {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendByteHex(std::string& text, std::uint8_t value) {
    text.push_back(kHexDigits[value >> 4]);
    text.push_back(kHexDigits[value & 0xF]);
}

} // namespace

std::string ByteToHex(std::uint8_t value) {
    std::string text;
    AppendByteHex(text, value);
    return text;
}

std::string BytesToHex(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t value : bytes) {
        AppendByteHex(text, value);
    }
    return text;
}

} // namespace kalvo
