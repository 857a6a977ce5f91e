// kalvo-poll: the client's acquisition and decoding without a display.
#include "acquisition/modbus_rtu_thread.h"
#include "acquisition/modbus_tcp_thread.h"
#include "checks/check_report.h"
#include "console_host.h"
#include "fleet_poll.h"
#include "poll_options.h"
#include "poll_report.h"
#include "registers/whole_file.h"
#include "report/commissioning_report.h"
#include "report/report_facts.h"

#include <chrono>
#include <clocale>
#include <iostream>
#include <kalvo_version.h>

using namespace kalvo;
using namespace kalvo::poll;

namespace {

constexpr int kExitFailedRead = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCheckFailed = 3;

// The numbers in tables and CSV files use the user's decimal separator, as the client does.
std::string LocaleDecimalSeparator() {
    std::setlocale(LC_NUMERIC, "");
    std::string separator = std::localeconv()->decimal_point;
    std::setlocale(LC_NUMERIC, "C");
    return separator;
}

CommStatisticsRecord Poll(const PollOptions& options, ConsoleHost& host, ManualMessageQueue& queue,
                          CommStatistics& statistics) {
    if (!options.SerialDevice.empty()) {
        TModbusRTUThread thread(host, statistics, 1, queue,
                                {options.Address, options.SerialDevice, options.Baud,
                                 options.Cycles, options.IntervalMs, options.ResetStatistics});
        host.WaitDone();
        return statistics.Snapshot();
    }
    TModbusTCPThread thread(host, statistics, 1,
                            {options.Host, options.Port, options.Cycles, options.IntervalMs,
                             options.ResetStatistics, options.TimeoutMs});
    host.WaitDone();
    return statistics.Snapshot();
}

// The checks follow the tables in their format; alone, they print as a table.
void Report(const PollOptions& options, const ConsoleHost& host,
            const CommStatisticsRecord& statistics) {
    const PollReport report(host.Registers(), host.AnyBlockRead(), LocaleDecimalSeparator());
    const std::vector<CheckResult> checks = host.CheckResults();
    switch (options.Format) {
    case OutputFormat::Table:
        report.WriteTable(std::cout);
        std::cout << (options.Check ? "\n" + CheckReport::Table(checks) : std::string());
        break;
    case OutputFormat::Csv:
        report.WriteCsv(std::cout);
        std::cout << (options.Check ? "\r\n" + CheckReport::Csv(checks) : std::string());
        break;
    case OutputFormat::Json: {
        std::string json = options.Check ? CheckReport::Json(checks) : std::string();
        while (!json.empty() && json.back() == '\n') {
            json.pop_back();
        }
        report.WriteJson(std::cout, statistics, json);
        break;
    }
    case OutputFormat::None:
        std::cout << (options.Check ? CheckReport::Table(checks) : std::string());
        break;
    }
    if (!options.CsvDir.empty()) {
        for (const std::string& path : report.WriteCsvFiles(options.CsvDir)) {
            std::cerr << "Saved " << path << '\n';
        }
    }
    PollReport::WriteStatistics(std::cerr, statistics);
}

// The module's serial number as the tables show it, for the report's name.
std::string SerialOf(const ConsoleHost& host) {
    const std::optional<double> serial = host.Registers().Value(Quantity::SerialNumber);
    return serial ? std::to_string(static_cast<std::uint32_t>(*serial)) : std::string("module");
}

void WriteCommissioningReport(const PollOptions& options, const ConsoleHost& host,
                              const CommStatisticsRecord& statistics) {
    ReportData data;
    host.FillReport(data);
    data.Connection =
        options.SerialDevice.empty()
            ? ReportFacts::TcpConnection(options.Host, options.Port)
            : ReportFacts::RtuConnection(options.SerialDevice, options.Baud, options.Address);
    data.Version = KALVO_VERSION;
    data.Host = ReportFacts::HostName();
    data.User = ReportFacts::UserName();
    data.Settings = ReportFacts::Of(options.IntervalMs,
                                    options.SerialDevice.empty()
                                        ? std::optional<std::int64_t>(options.TimeoutMs)
                                        : std::nullopt,
                                    options.Tolerances);
    data.Statistics = statistics;
    data.DecimalSeparator = LocaleDecimalSeparator();
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    WriteFileWhole(options.ReportPath, CommissioningReport::Html(data, now));
    std::cerr << "Saved " << options.ReportPath << '\n';
}

} // namespace

int main(int argc, char* argv[]) {
    PollOptions options;
    try {
        options = PollOptions::Parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::cerr << "kalvo-poll: " << error.what() << "\n\n" << PollOptions::Usage();
        return kExitUsage;
    }
    if (options.Version) {
        std::cout << "kalvo-poll " KALVO_VERSION "\n";
        return 0;
    }
    if (options.Help) {
        std::cout << PollOptions::Usage();
        return 0;
    }
    try {
        if (options.Fleet()) {
            FleetPoll fleet(options, std::cerr, LocaleDecimalSeparator());
            return fleet.Run();
        }
        // The serial engine delivers to this thread through the queue.
        ManualMessageQueue queue;
        ConsoleHost host(std::cerr, options.SerialDevice.empty() ? nullptr : &queue);
        host.HoldLog(options.Hold());
        if (!options.RecordPath.empty()) {
            host.Record(options.RecordPath, options.Split(), LocaleDecimalSeparator(),
                        options.Hold());
        }
        ModuleChecks checks(options.Tolerances);
        if (options.Check) {
            host.Check(checks);
        }
        if (!options.ReportPath.empty()) {
            host.KeepReportTrends();
        }
        CommStatistics statistics;
        const auto started = std::chrono::steady_clock::now();
        const CommStatisticsRecord counts = Poll(options, host, queue, statistics);
        host.FinishRecording();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        Report(options, host, counts);
        const std::vector<CheckResult> results = host.CheckResults();
        if (!options.JUnitPath.empty()) {
            WriteFileWhole(options.JUnitPath,
                           CheckReport::JUnit(results, "KALVO " + SerialOf(host), seconds));
            std::cerr << "Saved " << options.JUnitPath << '\n';
        }
        if (!options.ReportPath.empty()) {
            WriteCommissioningReport(options, host, counts);
        }
        if (options.Check) {
            std::cerr << ModuleChecks::Summary(results) << '\n';
        }
        if (ModuleChecks::AnyFailed(results)) {
            return kExitCheckFailed;
        }
        const bool allRead = counts.Requests > 0 && counts.Responses == counts.Requests;
        return allRead && !host.RecordingFailed() ? 0 : kExitFailedRead;
    } catch (const std::exception& error) {
        std::cerr << "kalvo-poll: " << error.what() << '\n';
        return kExitFailedRead;
    }
}
