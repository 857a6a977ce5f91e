#pragma once

#include "registers/quantity.h"

#include <array>
#include <istream>
#include <optional>
#include <string_view>
#include <vector>

namespace kalvo {

// A recording of a Run read back, as this program writes it: per wanted quantity, the
// readings in the order of the file. Cells left empty (the quantity's block was not read in
// that row) give no reading; a value that is no number (Unavailable) is a reading without a
// value (NaN), as the live trend has it.
class RecordedRun {
public:
    struct Reading {
        double Time; // seconds since the epoch
        double Value;
    };

    // Raises std::runtime_error naming the line at fault when `input` is not such a recording.
    static RecordedRun Read(std::istream& input, const std::vector<Quantity>& wanted);
    const std::vector<Reading>& Readings(Quantity quantity) const {
        return fReadings[static_cast<std::size_t>(quantity)];
    }
    std::size_t Rows() const { return fRows; }
    // "2026-12-10T14:05:03.120+01:00" as seconds since the epoch.
    static std::optional<double> TimeOf(std::string_view text);
    // A value cell, with a point or a comma: nothing when it is no finite number.
    static std::optional<double> ValueOf(std::string_view text);

private:
    std::array<std::vector<Reading>, static_cast<std::size_t>(kQuantityCount)> fReadings;
    std::size_t fRows = 0;
};

} // namespace kalvo
