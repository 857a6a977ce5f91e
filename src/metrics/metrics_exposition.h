#pragma once

#include "metrics/module_snapshot.h"

#include <string>
#include <string_view>
#include <vector>

namespace kalvo {

// The modules' data and verdicts in the text formats Prometheus scrapes: one metric per
// physical quantity in base units (volts, amperes, watts, hertz, joules, radians), the
// totalisers as counters, labels for the module (its serial number), the target and the
// phase. A module that is down shows its state and counters, never its last values.
class MetricsExposition {
public:
    enum class Format { Prometheus, OpenMetrics };

    // The format an HTTP Accept header asks for: OpenMetrics when it names it.
    static Format Negotiate(std::string_view accept);
    static std::string_view ContentType(Format format);
    static std::string Text(const std::vector<ModuleSnapshot>& modules, Format format);
};

} // namespace kalvo
