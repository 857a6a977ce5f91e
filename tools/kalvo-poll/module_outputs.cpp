#include "module_outputs.h"

#include "checks/check_report.h"
#include "registers/quantity_info.h"
#include "registers/whole_file.h"
#include "report/commissioning_report.h"
#include "report/report_facts.h"

#include <chrono>
#include <kalvo_version.h>

namespace kalvo::poll {

// Trends are kept only for a report: a long headless run need not hold them.
SessionPlan ModuleOutputs::Plan(const PollOptions& options, const PollTarget& target) {
    SessionPlan plan;
    if (options.Check) {
        plan.Checks = options.Tolerances;
    }
    if (!options.ReportPath.empty()) {
        plan.Trends.assign(kDefaultTrendQuantities.begin(), kDefaultTrendQuantities.end());
    }
    plan.Connection = target.Serial()
                          ? ReportFacts::RtuConnection(target.Device, target.Baud, target.Address)
                          : ReportFacts::TcpConnection(target.Host, target.Port);
    plan.Settings = ReportFacts::Of(
        options.IntervalMs,
        target.Serial() ? std::nullopt : std::optional<std::int64_t>(options.TimeoutMs),
        options.Tolerances);
    return plan;
}

std::string ModuleOutputs::SuiteName(const ModuleSession& session) {
    const std::string serial = session.SerialNumber();
    return "KALVO " + (serial.empty() ? std::string("module") : serial);
}

void ModuleOutputs::WriteJUnit(const ModuleSession& session, const std::string& path,
                               double seconds) {
    WriteFileWhole(path, CheckReport::JUnit(session.Checks(), SuiteName(session), seconds));
}

void ModuleOutputs::WriteReport(const ModuleSession& session, const std::string& path,
                                const std::string& decimalSeparator) {
    ReportData data;
    session.FillReport(data);
    data.Version = KALVO_VERSION;
    data.Host = ReportFacts::HostName();
    data.User = ReportFacts::UserName();
    data.Statistics = session.Statistics().Snapshot();
    data.DecimalSeparator = decimalSeparator;
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    WriteFileWhole(path, CommissioningReport::Html(data, now));
}

} // namespace kalvo::poll
