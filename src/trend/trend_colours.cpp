#include "trend/trend_colours.h"

#include <array>
#include <set>

namespace kalvo {

namespace {

constexpr std::array<QRgb, 12> kPalette = {0xD62828, 0x2A9D3F, 0x1F5FD6, 0xE08A00,
                                           0x8E44AD, 0x009999, 0x8C564B, 0xC0398B,
                                           0x7F7F00, 0x17BECF, 0x5A5A5A, 0xFF6F61};
constexpr int kGoldenAngle = 137;

} // namespace

QColor TrendColours::SlotColour(int slot) {
    if (slot < static_cast<int>(kPalette.size())) {
        return QColor(kPalette[static_cast<std::size_t>(slot)]);
    }
    return QColor::fromHsv((slot * kGoldenAngle) % 360, 200, 190);
}

void TrendColours::Assign(const std::vector<int>& shown) {
    std::set<int> taken;
    std::vector<int> waiting;
    for (const int index : shown) {
        const auto found = fSlots.find(index);
        if (found != fSlots.end() && taken.insert(found->second).second) {
            continue;
        }
        waiting.push_back(index);
    }
    int next = 0;
    for (const int index : waiting) {
        while (taken.count(next) != 0) {
            ++next;
        }
        fSlots[index] = next;
        taken.insert(next);
    }
}

QColor TrendColours::ColourOf(int index) const {
    const auto found = fSlots.find(index);
    return SlotColour(found == fSlots.end() ? 0 : found->second);
}

} // namespace kalvo
