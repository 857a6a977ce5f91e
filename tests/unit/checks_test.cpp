#include "checks/module_checks.h"
#include "checks/reading_assembler.h"
#include "checks/reading_checks.h"
#include "checks/run_checks.h"
#include "checks/verdict_counts.h"

#include <cmath>
#include <ctime>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>

namespace kalvo {
namespace {

using Q = Quantity;
constexpr double kNow = 1'796'904'000; // 2026-12-10 12:00:00 UTC

void PutLocalTime(ModbusRegisters& image, Quantity hour, double seconds) {
    const auto when = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&when, &local);
    const int fields[] = {local.tm_hour,        local.tm_min,     local.tm_sec,
                          local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
    for (int k = 0; k < 6; ++k) {
        image.Put(QuantityAfter(hour, k), fields[k]);
    }
}

// A consistent reading, as a healthy module gives it: three loaded phases, totals that agree
// with them, totalisers and profiles with their 32-bit copies.
MeterReading Healthy() {
    MeterReading reading;
    ModbusRegisters& image = reading.Image;
    image.Fill();
    reading.TimeA = kNow + 0.3;
    reading.TimeB = kNow + 0.5;
    PutLocalTime(image, Q::ClockHour, kNow);
    const double volts[] = {230, 231, 229};
    const double amps[] = {10, 8, 11};
    const double angles[] = {25, -18, 38};
    double p = 0, q = 0, s = 0;
    for (int k = 0; k < 3; ++k) {
        image.Put(QuantityAfter(Q::VoltageL1, 4 * k), volts[k]);
        image.Put(QuantityAfter(Q::CurrentL1, 4 * k), amps[k]);
        image.Put(QuantityAfter(Q::CurrentAngleL1, k), angles[k]);
        for (int h = 1; h <= 3; ++h) {
            image.Put(QuantityAfter(Q::VoltageL1, 4 * k + h), 1.0 / h);
            image.Put(QuantityAfter(Q::CurrentL1, 4 * k + h), 2.0 / h);
        }
        const double kva = volts[k] * amps[k] / 1000;
        p += kva * std::cos(angles[k] * std::numbers::pi / 180);
        q += kva * std::sin(angles[k] * std::numbers::pi / 180);
        s += kva;
    }
    image.Put(Q::ActivePowerTotal, p);
    image.Put(Q::ReactivePowerTotal, q);
    image.Put(Q::ApparentPowerTotal, s);
    image.Put(Q::MeanPowerFactor, p / s);
    image.Put(Q::Frequency, 50.01);
    image.Put(Q::VoltageAngleL2, 120.0);
    image.Put(Q::VoltageAngleL3, 240.0);
    image.Put(Q::TotaliserDecimals, 3);
    const double totals[] = {12345.678, 12.5, 2346.0, 457.0,   2345.6,
                             0.4,       0.3,  456.7,  14000.2, 13.1};
    for (int k = 0; k < 10; ++k) {
        image.Put(QuantityAfter(Q::ActiveEnergyImport, k), totals[k]);
        image.Put(QuantityAfter(Q::ActiveEnergyImportInt32, k), std::round(totals[k] * 1000));
    }
    const Quantity stamps[] = {Q::Profile1Hour, Q::Profile1Int32Hour, Q::Profile2Hour,
                               Q::Profile2Int32Hour};
    for (const Quantity stamp : stamps) {
        PutLocalTime(image, stamp, kNow - 900);
    }
    for (const auto& [channel, decimals, copy] :
         {std::tuple{Q::Profile1Channel1, Q::Profile1Decimals1, Q::Profile1Int32Channel1},
          std::tuple{Q::Profile2Channel1, Q::Profile2Decimals1, Q::Profile2Int32Channel1}}) {
        for (int c = 0; c < 6; ++c) {
            image.Put(QuantityAfter(channel, c), 1.5 + c);
            image.Put(QuantityAfter(decimals, c), 3);
            image.Put(QuantityAfter(copy, c), (1.5 + c) * 1000);
        }
    }
    return reading;
}

struct Case {
    const char* name;
    std::function<void(MeterReading&)> change;
    const char* check;
    Verdict verdict;
    const char* finding = "";
};

CheckResult Find(const std::vector<CheckResult>& results, const std::string& id) {
    for (const CheckResult& result : results) {
        if (result.Key() == id) {
            return result;
        }
    }
    ADD_FAILURE() << "no check " << id;
    return {};
}

TEST(ReadingChecks, AHealthyReadingPassesEveryOne) {
    ModuleChecks checks({});
    checks.Add(Healthy());
    for (const CheckResult& result : checks.Results()) {
        if (result.Key() == "totalisers_increase" || result.Key() == "energy_follows_power" ||
            result.Key() == "clock_runs" || result.Key() == "data_alive") {
            EXPECT_EQ(result.Outcome, Verdict::Waiting) << result.Key();
        } else {
            EXPECT_EQ(result.Outcome, Verdict::Passed) << result.Key() << ": " << result.Finding;
        }
    }
}

// Each case changes a healthy reading; the check named must conclude as given.
TEST(ReadingChecks, EdgesOfTheFormulas) {
    const Case cases[] = {
        {"clock 30 s fast", [](MeterReading& r) { PutLocalTime(r.Image, Q::ClockHour, kNow + 30); },
         "clock", Verdict::Failed, "the clock is off"},
        {"clock 11 s slow, within a second of the tolerance",
         [](MeterReading& r) { PutLocalTime(r.Image, Q::ClockHour, kNow - 11); }, "clock",
         Verdict::Passed},
        {"31 November",
         [](MeterReading& r) {
             r.Image.Put(Q::ClockMonth, 11);
             r.Image.Put(Q::ClockDay, 31);
         },
         "clock", Verdict::Failed, "the clock's fields are not a valid date and time"},
        {"clock unavailable", [](MeterReading& r) { r.Image.Put(Q::ClockSecond, 0xFFFF); }, "clock",
         Verdict::NotApplicable},
        {"frequency 1 % off", [](MeterReading& r) { r.Image.Put(Q::Frequency, 50.5); }, "frequency",
         Verdict::Passed},
        {"frequency 3 % off", [](MeterReading& r) { r.Image.Put(Q::Frequency, 51.5); }, "frequency",
         Verdict::Warning},
        {"frequency no supply has", [](MeterReading& r) { r.Image.Put(Q::Frequency, 70.0); },
         "frequency", Verdict::Failed},
        {"a high voltage", [](MeterReading& r) { r.Image.Put(Q::VoltageL3, 255.0); }, "voltages",
         Verdict::Warning, "L3 off nominal"},
        {"a missing phase", [](MeterReading& r) { r.Image.Put(Q::VoltageL2, 3.0); }, "voltages",
         Verdict::Failed, "L2 missing"},
        {"reversed sequence",
         [](MeterReading& r) {
             r.Image.Put(Q::VoltageAngleL2, 240.0);
             r.Image.Put(Q::VoltageAngleL3, 120.0);
         },
         "phase_sequence", Verdict::Failed, "phase sequence reversed"},
        {"angles given across 0°",
         [](MeterReading& r) {
             r.Image.Put(Q::VoltageAngleL2, -238.0);
             r.Image.Put(Q::VoltageAngleL3, -121.0);
         },
         "phase_sequence", Verdict::Passed},
        {"angles 7° off", [](MeterReading& r) { r.Image.Put(Q::VoltageAngleL2, 127.0); },
         "phase_sequence", Verdict::Failed, "the voltages are not 120° apart"},
        {"sequence of a missing phase", [](MeterReading& r) { r.Image.Put(Q::VoltageL3, 0.0); },
         "phase_sequence", Verdict::NotApplicable},
        {"L2's transformer reversed",
         [](MeterReading& r) { r.Image.Put(Q::CurrentAngleL2, 162.0); }, "current_direction",
         Verdict::Warning, "current transformer on L2 reversed?"},
        {"reversed but hardly loaded",
         [](MeterReading& r) {
             r.Image.Put(Q::CurrentAngleL2, 162.0);
             r.Image.Put(Q::CurrentL2, 0.2);
         },
         "current_direction", Verdict::Passed},
        {"every phase exporting",
         [](MeterReading& r) {
             for (int k = 0; k < 3; ++k) {
                 r.Image.Put(QuantityAfter(Q::CurrentAngleL1, k), 180.0 + 10 * k);
             }
         },
         "current_direction", Verdict::Passed},
        {"total active power 5 % high",
         [](MeterReading& r) {
             r.Image.Put(Q::ActivePowerTotal, *r.Image.Value(Q::ActivePowerTotal) * 1.05);
         },
         "power_triangle", Verdict::Failed, "P, PF disagree with the phases"},
        {"no current at all",
         [](MeterReading& r) {
             for (int k = 0; k < 3; ++k) {
                 r.Image.Put(QuantityAfter(Q::CurrentL1, 4 * k), 0.0);
                 for (int h = 1; h <= 3; ++h) {
                     r.Image.Put(QuantityAfter(Q::CurrentL1, 4 * k + h), 0.0);
                 }
             }
             for (const Quantity q : {Q::ActivePowerTotal, Q::ReactivePowerTotal,
                                      Q::ApparentPowerTotal, Q::MeanPowerFactor}) {
                 r.Image.Put(q, 0.0);
             }
         },
         "power_triangle", Verdict::Passed},
        {"a negative harmonic", [](MeterReading& r) { r.Image.Put(Q::CurrentL2Harmonic5, -0.1); },
         "harmonics", Verdict::Failed, "51.7.5 impossible"},
        {"a harmonic above its fundamental",
         [](MeterReading& r) { r.Image.Put(Q::VoltageL1Harmonic3, 240.0); }, "harmonics",
         Verdict::Failed, "32.7.3 impossible"},
        {"a 32-bit copy 5 counts off",
         [](MeterReading& r) { r.Image.Put(Q::ReactiveEnergyQ4Int32, 456705.0); },
         "totaliser_encodings", Verdict::Failed, "8.8.0 disagree with the 32-bit copy"},
        {"15 counts of advance in 10 s at 6.8 kVA",
         [](MeterReading& r) {
             r.TimeB = r.TimeA + 10;
             r.Image.Put(Q::ActiveEnergyImportInt32, 12345663.0);
         },
         "totaliser_encodings", Verdict::Passed},
        {"Q+ not Q1 + Q2", [](MeterReading& r) { r.Image.Put(Q::ReactiveEnergyImport, 2346.01); },
         "reactive_identities", Verdict::Failed, "3.8.0 is not the sum of its quadrants"},
        {"P.01 torn by a period closing between the reads",
         [](MeterReading& r) {
             PutLocalTime(r.Image, Q::Profile1Int32Hour, kNow + 0.4);
             r.TimeB = kNow + 1;
         },
         "load_profiles", Verdict::Waiting,
         "a profile period closed between the two block reads: read again"},
        {"P.02's copies disagree",
         [](MeterReading& r) { PutLocalTime(r.Image, Q::Profile2Int32Hour, kNow - 3600); },
         "load_profiles", Verdict::Failed, "P.02 stamps disagree"},
        {"a stamp in the future",
         [](MeterReading& r) {
             PutLocalTime(r.Image, Q::Profile2Hour, kNow + 900);
             PutLocalTime(r.Image, Q::Profile2Int32Hour, kNow + 900);
         },
         "load_profiles", Verdict::Failed, "P.02 stamp in the future"},
        {"a channel's copy off",
         [](MeterReading& r) { r.Image.Put(Q::Profile1Int32Channel3, 3600.0); }, "load_profiles",
         Verdict::Failed, "P.01 channel 3 copies disagree"},
    };
    for (const Case& c : cases) {
        MeterReading reading = Healthy();
        c.change(reading);
        ModuleChecks checks({});
        checks.Add(reading);
        const CheckResult result = Find(checks.Results(), c.check);
        EXPECT_EQ(result.Outcome, c.verdict) << c.name << ": " << result.Finding;
        if (*c.finding != '\0') {
            EXPECT_EQ(result.Finding, c.finding) << c.name;
        }
    }
}

// A run of readings `seconds` apart; `change` makes reading k what the case needs.
std::vector<CheckResult> RunOf(int readings, double seconds,
                               const std::function<void(MeterReading&, int)>& change,
                               CheckSettings settings = {}) {
    ModuleChecks checks(settings);
    for (int k = 0; k < readings; ++k) {
        MeterReading reading = Healthy();
        reading.TimeA = kNow + k * seconds + 0.3;
        reading.TimeB = reading.TimeA + 0.2;
        PutLocalTime(reading.Image, Q::ClockHour, kNow + k * seconds);
        reading.Image.Put(Q::Frequency, 50 + 0.001 * k);
        change(reading, k);
        checks.Add(reading);
    }
    return checks.Results();
}

TEST(RunChecks, OverARun) {
    // 6.8 kW for a minute: 0.1133 kWh.
    const double kw = 6.0;
    const auto power = [kw](MeterReading& r, int k, double rate) {
        r.Image.Put(Q::ActivePowerTotal, kw);
        r.Image.Put(Q::ActiveEnergyImport,
                    12345.678 + std::round(rate * kw * k / 3600 * 1000) / 1000);
    };
    struct RunCase {
        const char* name;
        int readings;
        std::function<void(MeterReading&, int)> change;
        const char* check;
        Verdict verdict;
        CheckSettings settings = {};
    };
    const RunCase cases[] = {
        {"energy as the power gives", 61, [&](MeterReading& r, int k) { power(r, k, 1.0); },
         "energy_follows_power", Verdict::Passed},
        {"energy at twice the power", 61, [&](MeterReading& r, int k) { power(r, k, 2.0); },
         "energy_follows_power", Verdict::Failed},
        {"too little energy yet", 5, [&](MeterReading& r, int k) { power(r, k, 1.0); },
         "energy_follows_power", Verdict::Waiting},
        {"a totaliser going back", 3,
         [](MeterReading& r, int k) { r.Image.Put(Q::ApparentEnergyExport, 13.1 - k * 0.001); },
         "totalisers_increase", Verdict::Failed},
        {"a 32-bit copy rolling over", 3,
         [](MeterReading& r, int k) {
             r.Image.Put(Q::ActiveEnergyExportInt32, k < 2 ? 4294967290.0 + k : 5.0);
         },
         "totalisers_increase", Verdict::Passed},
        {"a clock that gains 5 %", 121,
         [](MeterReading& r, int k) { PutLocalTime(r.Image, Q::ClockHour, kNow + 1.05 * k); },
         "clock_runs", Verdict::Warning},
        {"a true clock over two minutes", 121, [](MeterReading&, int) {}, "clock_runs",
         Verdict::Waiting},
        {"a true clock, tolerance wide enough for two minutes", 121, [](MeterReading&, int) {},
         "clock_runs", Verdict::Passed, CheckSettings{.ClockDriftToleranceSPerDay = 2000}},
        {"values and clock moving", 10, [](MeterReading&, int) {}, "data_alive", Verdict::Passed},
        {"frozen for a minute", 62,
         [](MeterReading& r, int) {
             PutLocalTime(r.Image, Q::ClockHour, kNow);
             r.Image.Put(Q::Frequency, 50.0);
         },
         "data_alive", Verdict::Failed},
    };
    for (const RunCase& c : cases) {
        const CheckResult result = Find(RunOf(c.readings, 1.0, c.change, c.settings), c.check);
        EXPECT_EQ(result.Outcome, c.verdict)
            << c.name << ": " << result.Finding << " / " << result.Measured;
    }
}

// A reading is a good block A and the good block B after it; a failed read in between leaves
// block A's values too old to pair.
TEST(ReadingAssembler, PairsABlockAWithTheBlockBAfterIt) {
    ReadingAssembler assembler;
    const ModbusRegisters image;
    EXPECT_FALSE(assembler.BlockRead(RegisterBlock::B, 1, image));
    EXPECT_FALSE(assembler.BlockRead(RegisterBlock::A, 2, image));
    const std::optional<MeterReading> reading = assembler.BlockRead(RegisterBlock::B, 3, image);
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->TimeA, 2);
    EXPECT_EQ(reading->TimeB, 3);
    EXPECT_FALSE(assembler.BlockRead(RegisterBlock::B, 4, image));
    EXPECT_FALSE(assembler.BlockRead(RegisterBlock::A, 5, image));
    assembler.BlockFailed();
    EXPECT_FALSE(assembler.BlockRead(RegisterBlock::B, 8, image));
}

TEST(ModuleChecks, SummaryCountsEachVerdict) {
    std::vector<CheckResult> results(5);
    results[0].Outcome = Verdict::Passed;
    results[1].Outcome = Verdict::Passed;
    results[2].Outcome = Verdict::Warning;
    results[3].Outcome = Verdict::Failed;
    results[4].Outcome = Verdict::Warning;
    EXPECT_EQ(VerdictCounts(results).Summary(), "5 checks: 2 passed, 2 warnings, 1 failed");
    EXPECT_TRUE(VerdictCounts(results).AnyFailed());
}

} // namespace
} // namespace kalvo
