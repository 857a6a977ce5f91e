#pragma once

#include "checks/check_settings.h"
#include "usage_error.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kalvo::poll {

using tools::UsageError;

enum class OutputFormat { None, Table, Csv, Json };

// What kalvo-poll was asked to do.
struct PollOptions {
    std::string Host;
    std::int32_t Port = 502;
    std::string SerialDevice;
    std::int32_t Baud = 9600;
    std::int32_t Address = 1;
    std::uint32_t Cycles = 2;
    std::int32_t IntervalMs = 1000;
    std::uint32_t TimeoutMs = 15000;
    OutputFormat Format = OutputFormat::None;
    std::string CsvDir;
    std::string RecordPath;
    std::string RecordSplit; // empty, "hour" or "day"
    bool ResetStatistics = false;
    bool Check = false;
    std::string JUnitPath;
    std::string ReportPath;
    CheckSettings Tolerances;
    bool Help = false;
    bool Version = false;

    static PollOptions Parse(const std::vector<std::string>& arguments);
    static std::string Usage();
};

} // namespace kalvo::poll
