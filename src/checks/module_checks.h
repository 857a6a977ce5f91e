#pragma once

#include "checks/check_result.h"
#include "checks/check_settings.h"
#include "checks/meter_reading.h"
#include "checks/run_checks.h"

#include <optional>
#include <string>
#include <vector>

namespace kalvo {

// Every check of a module over one run: those of the newest reading and those of the run.
class ModuleChecks {
public:
    explicit ModuleChecks(CheckSettings settings);
    ModuleChecks(const ModuleChecks&) = delete;
    ModuleChecks& operator=(const ModuleChecks&) = delete;

    // Both blocks of a cycle, read.
    void Add(const MeterReading& reading);
    std::vector<CheckResult> Results() const;
    const CheckSettings& Settings() const { return fSettings; }

private:
    CheckSettings fSettings;
    std::optional<MeterReading> fNewest;
    RunChecks fRun;
};

} // namespace kalvo
