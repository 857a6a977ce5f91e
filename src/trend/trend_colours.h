#pragma once

#include <QColor>
#include <map>
#include <utility>
#include <vector>

namespace kalvo {

// A colour per followed quantity that stays with it: ticking or unticking another quantity
// recolours nothing, and no two shown lines share a colour. Colours come from a palette of
// twelve that are easy to tell apart on white and on dark; beyond it, hues a golden angle
// apart.
class TrendColours {
public:
    // Gives each quantity of `shown` (by first register) a slot: its own when it has one no
    // other shown quantity holds, else the lowest free one.
    void Assign(const std::vector<int>& shown);
    QColor ColourOf(int index) const;
    // Quantity to slot, as kept in the configuration file.
    const std::map<int, int>& Slots() const { return fSlots; }
    void SetSlots(std::map<int, int> assigned) { fSlots = std::move(assigned); }
    static QColor SlotColour(int slot);

private:
    std::map<int, int> fSlots;
};

} // namespace kalvo
