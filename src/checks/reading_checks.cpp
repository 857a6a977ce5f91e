#include "checks/reading_checks.h"

#include "checks/check_text.h"
#include "registers/register_map.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <numbers>
#include <string>

namespace kalvo {

namespace {

using Q = Quantity;
constexpr double kDegrees = std::numbers::pi / 180.0;
constexpr int kPhases = 3;
// Below this |cos phi| a phase carries too little active power for its direction to count.
constexpr double kSmallestCosine = 0.1;
// Totalisers rounded to their last digit: a sum of two differs from its rounded total by up to
// one and a half counts.
constexpr double kIdentityCounts = 2;

std::string Phase(int k) {
    return "L" + std::to_string(k + 1);
}

std::string Obis(Quantity quantity) {
    return std::string(RegisterOf(quantity).OBIS);
}

// The smaller angle between two directions, in degrees.
double AngleBetween(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}

struct PhaseValues {
    double Volts;
    double Amps;
    double AngleDegrees;
};

std::optional<std::array<PhaseValues, kPhases>> Phases(const ModbusRegisters& image) {
    std::array<PhaseValues, kPhases> phases{};
    for (int k = 0; k < kPhases; ++k) {
        const auto u = image.Value(QuantityAfter(Q::VoltageL1, 4 * k));
        const auto i = image.Value(QuantityAfter(Q::CurrentL1, 4 * k));
        const auto phi = image.Value(QuantityAfter(Q::CurrentAngleL1, k));
        if (!u || !i || !phi) {
            return std::nullopt;
        }
        phases[static_cast<std::size_t>(k)] = {*u, *i, *phi};
    }
    return phases;
}

} // namespace

std::optional<double> ReadingChecks::LocalTime(const ModbusRegisters& image, Quantity hour) {
    std::array<int, 6> fields{};
    for (int k = 0; k < 6; ++k) {
        const std::optional<double> value = image.Value(QuantityAfter(hour, k));
        if (!value) {
            return std::nullopt;
        }
        fields[static_cast<std::size_t>(k)] = static_cast<int>(*value);
    }
    std::tm local{};
    local.tm_hour = fields[0];
    local.tm_min = fields[1];
    local.tm_sec = fields[2];
    local.tm_year = fields[3] - 1900;
    local.tm_mon = fields[4] - 1;
    local.tm_mday = fields[5];
    local.tm_isdst = -1;
    const std::tm asked = local;
    const std::time_t seconds = std::mktime(&local);
    // mktime moves a 31 April or a 25th hour on: such a field is no time.
    const bool same = local.tm_hour == asked.tm_hour && local.tm_min == asked.tm_min &&
                      local.tm_sec == asked.tm_sec && local.tm_year == asked.tm_year &&
                      local.tm_mon == asked.tm_mon && local.tm_mday == asked.tm_mday;
    if (seconds == static_cast<std::time_t>(-1) || !same) {
        return std::nullopt;
    }
    return static_cast<double>(seconds);
}

std::optional<double> ReadingChecks::TotaliserCount() const {
    const std::optional<double> decimals = fImage.Value(Q::TotaliserDecimals);
    if (!decimals || *decimals > ModbusRegisters::kMaximumDecimals) {
        return std::nullopt;
    }
    return std::pow(10.0, -*decimals);
}

double ReadingChecks::AdvanceBetweenBlocks() const {
    const double apparent = fImage.Value(Q::ApparentPowerTotal).value_or(0);
    return std::fabs(apparent) * std::fabs(fReading.TimeB - fReading.TimeA) / 3600.0;
}

CheckResult ReadingChecks::Clock() const {
    CheckResult r = CheckResult::Of(CheckId::Clock);
    r.Tolerance = "±" + CheckText::Fixed(fSettings.ClockToleranceS, 0) + " s";
    r.Expected = CheckText::LocalTime(fReading.TimeA);
    bool read = true;
    for (int k = 0; k < 6; ++k) {
        read = read && fImage.Value(QuantityAfter(Q::ClockHour, k)).has_value();
    }
    if (!read) {
        return r.Conclude(Verdict::NotApplicable, "clock not read");
    }
    const std::optional<double> module = LocalTime(fImage, Q::ClockHour);
    if (!module) {
        r.Measured = "no date and time";
        return r.Conclude(Verdict::Failed, "the clock's fields are not a valid date and time");
    }
    // The module counts whole seconds; the computer's time of the reply lies within a second.
    const double deviation = *module - std::floor(fReading.TimeA);
    r.Measured = CheckText::LocalTime(*module);
    r.Deviation = CheckText::Signed(deviation, 0) + " s";
    return std::fabs(deviation) <= fSettings.ClockToleranceS + 1
               ? r.Conclude(Verdict::Passed, "")
               : r.Conclude(Verdict::Failed, "the clock is off");
}

CheckResult ReadingChecks::Frequency() const {
    CheckResult r = CheckResult::Of(CheckId::Frequency);
    const double nominal = fSettings.NominalFrequency;
    r.Expected = CheckText::Fixed(nominal, 2) + " Hz";
    r.Tolerance = "±" + CheckText::Fixed(fSettings.FrequencyWarnPercent, 1) + " %; " +
                  CheckText::Fixed(fSettings.FrequencyLowestHz, 0) + "-" +
                  CheckText::Fixed(fSettings.FrequencyHighestHz, 0) + " Hz";
    const std::optional<double> f = fImage.Value(Q::Frequency);
    if (!f) {
        return r.Conclude(Verdict::NotApplicable, "frequency unavailable");
    }
    const double percent = (*f - nominal) / nominal * 100;
    r.Measured = CheckText::Fixed(*f, 3) + " Hz";
    r.Deviation = CheckText::Signed(percent, 2) + " %";
    if (*f < fSettings.FrequencyLowestHz || *f > fSettings.FrequencyHighestHz) {
        return r.Conclude(Verdict::Failed, "no supply has this frequency");
    }
    return std::fabs(percent) > fSettings.FrequencyWarnPercent
               ? r.Conclude(Verdict::Warning, "the supply's frequency is off nominal")
               : r.Conclude(Verdict::Passed, "");
}

CheckResult ReadingChecks::Voltages() const {
    CheckResult r = CheckResult::Of(CheckId::Voltages);
    const double nominal = fSettings.NominalVoltage;
    r.Expected = CheckText::Fixed(nominal, 1) + " V";
    r.Tolerance = "±" + CheckText::Fixed(fSettings.VoltageWarnPercent, 0) + " %";
    double worst = 0;
    std::string missing;
    std::string off;
    for (int k = 0; k < kPhases; ++k) {
        const std::optional<double> u = fImage.Value(QuantityAfter(Q::VoltageL1, 4 * k));
        if (!u) {
            return r.Conclude(Verdict::NotApplicable, Phase(k) + " voltage unavailable");
        }
        const double percent = (*u - nominal) / nominal * 100;
        r.Measured += (k > 0 ? " / " : "") + CheckText::Fixed(*u, 1);
        worst = std::fabs(percent) > std::fabs(worst) ? percent : worst;
        if (*u < nominal * fSettings.VoltageMissingPercent / 100) {
            missing += (missing.empty() ? "" : ", ") + Phase(k);
        } else if (std::fabs(percent) > fSettings.VoltageWarnPercent) {
            off += (off.empty() ? "" : ", ") + Phase(k);
        }
    }
    r.Measured += " V";
    r.Deviation = CheckText::Signed(worst, 1) + " %";
    if (!missing.empty()) {
        return r.Conclude(Verdict::Failed, missing + " missing");
    }
    return off.empty() ? r.Conclude(Verdict::Passed, "")
                       : r.Conclude(Verdict::Warning, off + " off nominal");
}

CheckResult ReadingChecks::PhaseSequence() const {
    CheckResult r = CheckResult::Of(CheckId::PhaseSequence);
    r.Expected = "V2 120°, V3 240°";
    r.Tolerance = "±" + CheckText::Fixed(fSettings.AngleToleranceDeg, 0) + "°";
    const std::optional<double> a2 = fImage.Value(Q::VoltageAngleL2);
    const std::optional<double> a3 = fImage.Value(Q::VoltageAngleL3);
    if (!a2 || !a3) {
        return r.Conclude(Verdict::NotApplicable, "voltage angles unavailable");
    }
    for (int k = 0; k < kPhases; ++k) {
        const double u = fImage.Value(QuantityAfter(Q::VoltageL1, 4 * k)).value_or(0);
        if (u < fSettings.NominalVoltage * fSettings.VoltageMissingPercent / 100) {
            return r.Conclude(Verdict::NotApplicable, Phase(k) + " missing: no angle to judge");
        }
    }
    r.Measured = "V2 " + CheckText::Fixed(*a2, 1) + "°, V3 " + CheckText::Fixed(*a3, 1) + "°";
    const double forward = std::max(AngleBetween(*a2, 120), AngleBetween(*a3, 240));
    const double reverse = std::max(AngleBetween(*a2, 240), AngleBetween(*a3, 120));
    r.Deviation = CheckText::Fixed(forward, 1) + "°";
    if (forward <= fSettings.AngleToleranceDeg) {
        return r.Conclude(Verdict::Passed, "");
    }
    return reverse <= fSettings.AngleToleranceDeg
               ? r.Conclude(Verdict::Failed, "phase sequence reversed")
               : r.Conclude(Verdict::Failed, "the voltages are not 120° apart");
}

CheckResult ReadingChecks::CurrentDirection() const {
    CheckResult r = CheckResult::Of(CheckId::CurrentDirection);
    r.Expected = "the same direction on every loaded phase";
    r.Tolerance = "phases from " + CheckText::Fixed(fSettings.LoadedCurrentA, 1) + " A judged";
    const auto phases = Phases(fImage);
    if (!phases) {
        return r.Conclude(Verdict::NotApplicable, "phase values unavailable");
    }
    std::array<int, kPhases> direction{};
    int judged = 0;
    int sum = 0;
    for (int k = 0; k < kPhases; ++k) {
        const PhaseValues& p = (*phases)[static_cast<std::size_t>(k)];
        const double cosine = std::cos(p.AngleDegrees * kDegrees);
        r.Measured += (k > 0 ? " / " : "cos φ ") + CheckText::Fixed(cosine, 3);
        if (p.Amps >= fSettings.LoadedCurrentA && std::fabs(cosine) >= kSmallestCosine) {
            direction[static_cast<std::size_t>(k)] = cosine > 0 ? 1 : -1;
            ++judged;
            sum += direction[static_cast<std::size_t>(k)];
        }
    }
    if (judged < 2) {
        return r.Conclude(Verdict::NotApplicable, "fewer than two loaded phases");
    }
    if (std::abs(sum) == judged) {
        return r.Conclude(Verdict::Passed, "");
    }
    std::string against;
    for (int k = 0; k < kPhases; ++k) {
        const int d = direction[static_cast<std::size_t>(k)];
        if (d != 0 && (sum == 0 || d != (sum > 0 ? 1 : -1))) {
            against += (against.empty() ? "" : " or ") + Phase(k);
        }
    }
    return r.Conclude(Verdict::Warning, "current transformer on " + against + " reversed?");
}

CheckResult ReadingChecks::PowerTriangle() const {
    CheckResult r = CheckResult::Of(CheckId::PowerTriangle);
    const auto phases = Phases(fImage);
    const auto p = fImage.Value(Q::ActivePowerTotal);
    const auto q = fImage.Value(Q::ReactivePowerTotal);
    const auto s = fImage.Value(Q::ApparentPowerTotal);
    const auto pf = fImage.Value(Q::MeanPowerFactor);
    if (!phases || !p || !q || !s || !pf) {
        return r.Conclude(Verdict::NotApplicable, "a power or phase value unavailable");
    }
    double pc = 0;
    double qc = 0;
    double sc = 0;
    for (const PhaseValues& phase : *phases) {
        const double kva = phase.Volts * phase.Amps / 1000;
        pc += kva * std::cos(phase.AngleDegrees * kDegrees);
        qc += kva * std::sin(phase.AngleDegrees * kDegrees);
        sc += kva;
    }
    const double pfc = *s != 0 ? *p / *s : 0;
    const double tolerance = fSettings.PowerTolerancePercent / 100 * sc + fSettings.PowerFloorKw;
    r.Measured = "P " + CheckText::Fixed(*p, 3) + " kW, Q " + CheckText::Fixed(*q, 3) +
                 " kvar, S " + CheckText::Fixed(*s, 3) + " kVA, PF " + CheckText::Fixed(*pf, 4);
    r.Expected = "P " + CheckText::Fixed(pc, 3) + ", Q " + CheckText::Fixed(qc, 3) + ", S " +
                 CheckText::Fixed(sc, 3) + " (from U, I, φ), PF " + CheckText::Fixed(pfc, 4) +
                 " (P/S)";
    r.Deviation = "P " + CheckText::Signed(*p - pc, 3) + ", Q " + CheckText::Signed(*q - qc, 3) +
                  ", S " + CheckText::Signed(*s - sc, 3) + ", PF " +
                  CheckText::Signed(*pf - pfc, 4);
    r.Tolerance = "±" + CheckText::Fixed(tolerance, 3) + " (" +
                  CheckText::Fixed(fSettings.PowerTolerancePercent, 1) + " % of S + " +
                  CheckText::Fixed(fSettings.PowerFloorKw, 3) + "); PF ±" +
                  CheckText::Fixed(fSettings.PowerFactorTolerance, 3);
    std::string wrong;
    const std::pair<const char*, double> deviations[] = {
        {"P", *p - pc}, {"Q", *q - qc}, {"S", *s - sc}};
    for (const auto& [name, deviation] : deviations) {
        if (std::fabs(deviation) > tolerance) {
            wrong += (wrong.empty() ? "" : ", ") + std::string(name);
        }
    }
    if (std::fabs(*pf - pfc) > fSettings.PowerFactorTolerance) {
        wrong += (wrong.empty() ? "" : ", ") + std::string("PF");
    }
    return wrong.empty() ? r.Conclude(Verdict::Passed, "")
                         : r.Conclude(Verdict::Failed, wrong + " disagree with the phases");
}

CheckResult ReadingChecks::Harmonics() const {
    CheckResult r = CheckResult::Of(CheckId::Harmonics);
    r.Expected = "0 <= harmonic <= RMS value of its phase";
    double largest = 0;
    std::string where;
    std::string wrong;
    for (const Quantity fundamental :
         {Q::CurrentL1, Q::CurrentL2, Q::CurrentL3, Q::VoltageL1, Q::VoltageL2, Q::VoltageL3}) {
        const std::optional<double> rms = fImage.Value(fundamental);
        for (int h = 1; h <= 3 && rms; ++h) {
            const std::optional<double> value = fImage.Value(QuantityAfter(fundamental, h));
            if (!value) {
                return r.Conclude(Verdict::NotApplicable, "a harmonic is unavailable");
            }
            const double share = *rms > 0 ? *value / *rms : 0;
            if (share > largest) {
                largest = share;
                where = Obis(QuantityAfter(fundamental, h));
            }
            if (*value < 0 || *value > *rms) {
                wrong += (wrong.empty() ? "" : ", ") + Obis(QuantityAfter(fundamental, h));
            }
        }
        if (!rms) {
            return r.Conclude(Verdict::NotApplicable, Obis(fundamental) + " unavailable");
        }
    }
    r.Measured = "largest " + CheckText::Fixed(largest * 100, 1) + " % of its RMS (" + where + ")";
    return wrong.empty() ? r.Conclude(Verdict::Passed, "")
                         : r.Conclude(Verdict::Failed, wrong + " impossible");
}

CheckResult ReadingChecks::TotaliserEncodings() const {
    CheckResult r = CheckResult::Of(CheckId::TotaliserEncodings);
    const std::optional<double> count = TotaliserCount();
    if (!count) {
        return r.Conclude(Verdict::NotApplicable, "decimals unavailable");
    }
    const double allowed = *count + AdvanceBetweenBlocks();
    r.Tolerance = "±" + CheckText::Fixed(allowed, 4) + " (a count and the advance between reads)";
    double worst = -1;
    std::string wrong;
    for (int k = 0; k < 10; ++k) {
        const Quantity value = QuantityAfter(Q::ActiveEnergyImport, k);
        const std::optional<double> wide = fImage.Value(value);
        const std::optional<double> narrow =
            fImage.ScaledValue(QuantityAfter(Q::ActiveEnergyImportInt32, k));
        if (!wide || !narrow) {
            continue;
        }
        const double deviation = *wide - *narrow;
        if (std::fabs(deviation) > worst) {
            worst = std::fabs(deviation);
            r.Measured = Obis(value) + " " + CheckText::Fixed(*wide, 4);
            r.Expected = CheckText::Fixed(*narrow, 4) + " (32-bit copy)";
            r.Deviation = CheckText::Signed(deviation, 4);
        }
        if (std::fabs(deviation) > allowed) {
            wrong += (wrong.empty() ? "" : ", ") + Obis(value);
        }
    }
    if (worst < 0) {
        return r.Conclude(Verdict::NotApplicable, "totalisers unavailable");
    }
    return wrong.empty() ? r.Conclude(Verdict::Passed, "")
                         : r.Conclude(Verdict::Failed, wrong + " disagree with the 32-bit copy");
}

CheckResult ReadingChecks::ReactiveIdentities() const {
    CheckResult r = CheckResult::Of(CheckId::ReactiveIdentities);
    const double count = TotaliserCount().value_or(0.001);
    r.Tolerance = "±" + CheckText::Fixed(kIdentityCounts * count, 4);
    r.Expected = "3.8.0 = 5.8.0 + 6.8.0, 4.8.0 = 7.8.0 + 8.8.0";
    const std::array<std::array<Quantity, 3>, 2> sums = {
        {{Q::ReactiveEnergyImport, Q::ReactiveEnergyQ1, Q::ReactiveEnergyQ2},
         {Q::ReactiveEnergyExport, Q::ReactiveEnergyQ3, Q::ReactiveEnergyQ4}}};
    std::string wrong;
    double worst = 0;
    for (const auto& [total, first, second] : sums) {
        const auto t = fImage.Value(total);
        const auto a = fImage.Value(first);
        const auto b = fImage.Value(second);
        if (!t || !a || !b) {
            return r.Conclude(Verdict::NotApplicable, "a reactive totaliser unavailable");
        }
        const double deviation = *t - (*a + *b);
        r.Measured += (r.Measured.empty() ? "" : ", ") + Obis(total) + " " +
                      CheckText::Fixed(*t, 3) + " vs " + CheckText::Fixed(*a + *b, 3);
        worst = std::fabs(deviation) > std::fabs(worst) ? deviation : worst;
        if (std::fabs(deviation) > kIdentityCounts * count) {
            wrong += (wrong.empty() ? "" : ", ") + Obis(total);
        }
    }
    r.Deviation = CheckText::Signed(worst, 4);
    return wrong.empty() ? r.Conclude(Verdict::Passed, "")
                         : r.Conclude(Verdict::Failed, wrong + " is not the sum of its quadrants");
}

CheckResult ReadingChecks::LoadProfiles() const {
    CheckResult r = CheckResult::Of(CheckId::LoadProfiles);
    r.Expected = "valid stamps, not in the future; copies equal to a count";
    struct Rows {
        const char* Name;
        Quantity Hour, Channel1, Decimals1, Int32Hour, Int32Channel1;
    };
    const Rows profiles[] = {{"P.01", Q::Profile1Hour, Q::Profile1Channel1, Q::Profile1Decimals1,
                              Q::Profile1Int32Hour, Q::Profile1Int32Channel1},
                             {"P.02", Q::Profile2Hour, Q::Profile2Channel1, Q::Profile2Decimals1,
                              Q::Profile2Int32Hour, Q::Profile2Int32Channel1}};
    std::string wrong;
    bool torn = false;
    for (const Rows& p : profiles) {
        const std::optional<double> wide = LocalTime(fImage, p.Hour);
        const std::optional<double> narrow = LocalTime(fImage, p.Int32Hour);
        r.Measured += (r.Measured.empty() ? "" : ", ") + std::string(p.Name) + " " +
                      (wide ? CheckText::LocalTime(*wide) : std::string("no time"));
        // The P.01 stamp lies across both blocks: a period that closed between the two reads
        // leaves the copy read first one period behind.
        if (wide && narrow && *wide != *narrow && *narrow > *wide &&
            *narrow >= fReading.TimeA - fSettings.ClockToleranceS &&
            *narrow <= fReading.TimeB + fSettings.ClockToleranceS) {
            torn = true;
            continue;
        }
        if (!wide || !narrow) {
            wrong += std::string(wrong.empty() ? "" : "; ") + p.Name + " stamp not a valid time";
        } else if (*wide != *narrow) {
            wrong += std::string(wrong.empty() ? "" : "; ") + p.Name + " stamps disagree";
        } else if (*wide > fReading.TimeB + fSettings.ClockToleranceS) {
            wrong += std::string(wrong.empty() ? "" : "; ") + p.Name + " stamp in the future";
        }
        for (int c = 0; c < 6; ++c) {
            const auto value = fImage.Value(QuantityAfter(p.Channel1, c));
            const auto copy = fImage.ScaledValue(QuantityAfter(p.Int32Channel1, c));
            const auto decimals = fImage.Value(QuantityAfter(p.Decimals1, c));
            if (value && copy && decimals &&
                std::fabs(*value - *copy) > std::pow(10.0, -*decimals) * 1.0001) {
                wrong += std::string(wrong.empty() ? "" : "; ") + p.Name + " channel " +
                         std::to_string(c + 1) + " copies disagree";
            }
        }
    }
    if (!wrong.empty()) {
        return r.Conclude(Verdict::Failed, wrong);
    }
    return torn ? r.Conclude(Verdict::Waiting,
                             "a profile period closed between the two block reads: read again")
                : r.Conclude(Verdict::Passed, "");
}

} // namespace kalvo
