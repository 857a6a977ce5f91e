#include "metrics/metrics_exposition.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace kalvo {
namespace {

std::vector<ModuleSnapshot> TwoModules() {
    ModuleSnapshot up;
    up.Target = "10.0.0.7:502";
    up.Name = "feeder \"A\"\\1\nnorth";
    up.SerialNumber = "12345678";
    up.Up = true;
    up.LastGoodReadSeconds = 1.8e9;
    up.ReadDurationSeconds = 0.0125;
    up.Statistics.Requests = 10;
    up.Statistics.Responses = 10;
    up.Registers.Put(Quantity::VoltageL1, 230.5);
    up.Registers.Put(Quantity::CurrentAngleL1, 30);
    up.Registers.Put(Quantity::ActivePowerTotal, 12.5);
    up.Registers.Put(Quantity::ActiveEnergyImport, 1234.5);
    CheckResult passed = CheckResult::Of(CheckId::Frequency);
    passed.Conclude(Verdict::Passed, "");
    CheckResult failed = CheckResult::Of(CheckId::PhaseSequence);
    failed.Conclude(Verdict::Failed, "phase sequence reversed");
    up.Checks = {passed, failed, CheckResult::Of(CheckId::ClockRuns)};
    ModuleSnapshot down = up;
    down.Target = "10.0.0.8:502";
    down.Name.clear();
    down.SerialNumber = "87654321";
    down.Up = false;
    down.Statistics.NoResponses = 3;
    return {up, down};
}

bool Has(const std::string& text, const std::string& line) {
    return text.find("\n" + line + "\n") != std::string::npos;
}

// A module that answers shows its quantities in base units with their labels, its
// totalisers as counters and its concluded checks; one that does not, only its state and
// counters: none of its last values.
TEST(MetricsExposition, QuantitiesInBaseUnitsAndNothingStaleOfAModuleThatIsDown) {
    const std::string text =
        MetricsExposition::Text(TwoModules(), MetricsExposition::Format::Prometheus);
    const std::string a = "module=\"12345678\",target=\"10.0.0.7:502\"";
    const std::string b = "module=\"87654321\",target=\"10.0.0.8:502\"";
    for (const std::string& line : {
             "kalvo_up{" + a + "} 1",
             "kalvo_up{" + b + "} 0",
             "kalvo_module_info{" + a + ",name=\"feeder \\\"A\\\"\\\\1\\nnorth\"} 1",
             "kalvo_voltage_volts{" + a + ",phase=\"L1\"} 230.5",
             "kalvo_current_angle_radians{" + a + ",phase=\"L1\"} 0.5235987755982988",
             "kalvo_active_power_watts{" + a + "} 12500",
             std::string("# TYPE kalvo_active_energy_joules_total counter"),
             "kalvo_active_energy_joules_total{" + a + ",direction=\"import\"} 4444200000",
             "kalvo_timeouts_total{" + b + "} 3",
             "kalvo_check_passed{" + a + ",check=\"frequency\"} 1",
             "kalvo_check_passed{" + a + ",check=\"phase_sequence\"} 0",
         }) {
        EXPECT_TRUE(Has(text, line)) << line << "\nin\n" << text;
    }
    EXPECT_EQ(text.find("kalvo_voltage_volts{" + b), std::string::npos);
    EXPECT_EQ(text.find("check=\"clock_runs\""), std::string::npos);
    EXPECT_EQ(text.find("kalvo_check_passed{" + b), std::string::npos);
}

TEST(MetricsExposition, OpenMetricsWhenAskedForNamesFamiliesAndUnitsAndEnds) {
    EXPECT_EQ(MetricsExposition::Negotiate("application/openmetrics-text;version=1.0.0,*/*"),
              MetricsExposition::Format::OpenMetrics);
    EXPECT_EQ(MetricsExposition::Negotiate("text/plain"), MetricsExposition::Format::Prometheus);
    const std::string text =
        MetricsExposition::Text(TwoModules(), MetricsExposition::Format::OpenMetrics);
    EXPECT_TRUE(Has(text, "# TYPE kalvo_active_energy_joules counter"));
    EXPECT_TRUE(Has(text, "# UNIT kalvo_active_energy_joules joules"));
    EXPECT_TRUE(Has(text, "# TYPE kalvo_module info"));
    EXPECT_TRUE(text.ends_with("\n# EOF\n"));
}

// Prometheus's own checker reads the text format without a complaint.
TEST(MetricsExposition, PromtoolFindsNothingToSay) {
    const std::string text =
        MetricsExposition::Text(TwoModules(), MetricsExposition::Format::Prometheus);
    FILE* check = popen("promtool check metrics >/dev/null 2>&1", "w");
    ASSERT_NE(check, nullptr);
    std::fwrite(text.data(), 1, text.size(), check);
    EXPECT_EQ(pclose(check), 0) << text;
}

} // namespace
} // namespace kalvo
