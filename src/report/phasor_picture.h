#pragma once

#include "registers/phasor_set.h"

#include <string>

namespace kalvo {

// The phasor diagram as an SVG picture, laid out by the rules of the window's diagram: the
// voltage circle, the current circle inside it, 0° on top, angles clockwise, each circle
// scaled to its largest phasor, voltages solid and currents dashed in the phases' colours.
class PhasorPicture {
public:
    static constexpr int kSize = 360;

    static std::string Svg(const PhasorSet& phasors);
};

} // namespace kalvo
