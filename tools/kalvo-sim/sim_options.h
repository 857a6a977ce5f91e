#pragma once

#include "fault_plan.h"
#include "meter_model.h"
#include "usage_error.h"

#include <string>
#include <vector>

namespace kalvo::sim {

using tools::UsageError;

// What kalvo-sim was asked to do.
struct SimOptions {
    std::string Address = "127.0.0.1";
    std::uint16_t Port = 1502;
    std::string FixedFile;
    bool Rtu = false;
    std::string RtuLink;
    // One module per address on the line; the k-th's factory number is the model's plus k.
    std::vector<std::uint8_t> RtuAddresses{1};
    MeterModel::Settings Meter;
    FaultPlan Faults;
    bool Help = false;
    bool Version = false;

    static SimOptions Parse(const std::vector<std::string>& arguments);
    static std::string Usage();
};

} // namespace kalvo::sim
