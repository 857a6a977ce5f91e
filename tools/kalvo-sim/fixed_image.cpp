#include "fixed_image.h"

#include <charconv>
#include <fstream>
#include <stdexcept>

namespace kalvo::sim {

FixedImage::FixedImage(const std::string& path) {
    std::ifstream file(path);
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    int count = 0;
    for (std::string word; file >> word; ++count) {
        unsigned value = 0;
        const auto [end, error] =
            std::from_chars(word.data(), word.data() + word.size(), value, 16);
        if (error != std::errc() || end != word.data() + word.size() || value > 0xFFFF) {
            throw std::runtime_error(path + ": '" + word + "' is not a 16-bit hexadecimal word");
        }
        if (count >= kMappedRegisters) {
            throw std::runtime_error(path + ": more than 245 words");
        }
        fImage[count] = static_cast<std::uint16_t>(value);
    }
    if (count != kMappedRegisters) {
        throw std::runtime_error(path + ": " + std::to_string(count) + " words, 245 expected");
    }
}

} // namespace kalvo::sim
