#pragma once

#include "checks/check_settings.h"
#include "poll_target.h"
#include "recording/record_file.h"
#include "usage_error.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kalvo::poll {

using tools::UsageError;

enum class OutputFormat { None, Table, Csv, Json };

// What kalvo-poll was asked to do.
struct PollOptions {
    std::string Host; // the module, when there is one on the network
    std::int32_t Port = 502;
    std::vector<PollTarget> Targets; // every module, the network's first
    std::string TargetsPath;
    std::string MetricsAddress;
    std::int32_t MetricsPort = -1; // none
    std::string SerialDevice;      // the module, when there is one on a serial line
    std::int32_t Baud = 9600;
    std::int32_t Address = 1;
    std::vector<std::string> SerialDevices; // every --rtu
    std::uint32_t Cycles = 2;
    bool CyclesGiven = false;
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
    // Several modules, a targets file or the metrics endpoint: polled as a fleet, until
    // stopped or for the reads --run asks for.
    bool Fleet() const;
    RecordFile::Split Split() const;
    // How long log lines and recorded rows may wait to be written together.
    std::chrono::milliseconds Hold() const;
    static std::string Usage();
};

} // namespace kalvo::poll
