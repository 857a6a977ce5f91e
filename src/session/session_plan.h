#pragma once

#include "checks/check_settings.h"
#include "registers/quantity.h"
#include "report/report_facts.h"

#include <optional>
#include <string>
#include <vector>

namespace kalvo {

// What a run of a module's session keeps beyond its image, fixed when the run begins.
struct SessionPlan {
    // The checks' settings; none: the run is not judged.
    std::optional<CheckSettings> Checks;
    // The quantities whose history the run's report draws.
    std::vector<Quantity> Trends;
    // For the report: "Modbus/TCP 192.168.1.20:502", and the settings in force.
    std::string Connection;
    ReportFacts::Settings Settings;
};

} // namespace kalvo
