#pragma once

#include <string>

namespace kalvo {

// Who a module is, for the log, the metrics, the recordings and the reports.
struct ModuleIdentity {
    std::string Target; // "10.0.0.7:502", "/dev/ttyUSB0@3"; empty for the window's module
    std::string Name;   // given by the user, may be empty
};

} // namespace kalvo
