#include "meter_model.h"

#include <cmath>
#include <ctime>
#include <numbers>

namespace kalvo::sim {

namespace {

constexpr double kDegrees = std::numbers::pi / 180.0;
constexpr int kTotaliserDigits = 3;
constexpr int kProfileDigits = 3;
constexpr std::array<double, 3> kLoadShare = {1.0, 0.8, 1.1};
constexpr std::array<double, 3> kBaseAngles = {25.0, -18.0, 38.0};

double Seconds(RegisterSource::Time time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

double Wave(double t, double period, double phase) {
    return std::sin(2.0 * std::numbers::pi * t / period + phase);
}

// The position of t within a repeating period, in seconds.
double Within(double t, double period) {
    return t - std::floor(t / period) * period;
}

// The 32-bit encoding of a value with the given number of decimal digits.
std::uint32_t Encoded(double value, int digits) {
    return static_cast<std::uint32_t>(std::llround(value * std::pow(10.0, digits)));
}

// The value as the meter holds it: with the given number of decimal digits.
double Rounded(double value, int digits) {
    const double scale = std::pow(10.0, digits);
    return static_cast<double>(std::llround(value * scale)) / scale;
}

} // namespace

struct MeterModel::ProfileRows {
    Quantity Hour;
    Quantity Channel1;
    Quantity Decimals1;
    Quantity Int32Hour;
    Quantity Int32Channel1;
};

namespace {

constexpr MeterModel::ProfileRows kProfile1 = {
    Quantity::Profile1Hour, Quantity::Profile1Channel1, Quantity::Profile1Decimals1,
    Quantity::Profile1Int32Hour, Quantity::Profile1Int32Channel1};
constexpr MeterModel::ProfileRows kProfile2 = {
    Quantity::Profile2Hour, Quantity::Profile2Channel1, Quantity::Profile2Decimals1,
    Quantity::Profile2Int32Hour, Quantity::Profile2Int32Channel1};

} // namespace

MeterModel::MeterModel(Settings settings, Time start)
    : fSettings(settings), fStartT(Seconds(start)),
      fLastT(fStartT), fTotals{12345.678, 12.5, 0, 0, 2345.6, 0.4, 0.3, 456.7, 14000.2, 13.1} {}

std::array<MeterModel::Phase, 3> MeterModel::PhasesAt(double t) const {
    const bool loadSwitched = fSettings.Events && Within(t, 40) < 15;
    const bool dip = fSettings.Events && Within(t, 45) < 1;
    std::array<Phase, 3> phases{};
    for (int k = 0; k < 3; ++k) {
        const auto i = static_cast<std::size_t>(k);
        phases[i].Volts = 230.0 + 1.2 * Wave(t, 47, k) + 0.4 * Wave(t, 11, 2 * k);
        phases[i].Amps = fSettings.LoadAmps * kLoadShare[i] * (1.0 + 0.15 * Wave(t, 60, 1.3 * k));
        phases[i].AngleDegrees = kBaseAngles[i] + 2.0 * Wave(t, 30, k);
        if (loadSwitched) {
            phases[i].Amps *= 1.6;
        }
    }
    if (dip) {
        phases[1].Volts *= 0.85;
    }
    if (fSettings.ReverseCt >= 0) {
        phases[static_cast<std::size_t>(fSettings.ReverseCt)].AngleDegrees += 180;
    }
    if (fSettings.MissingPhase >= 0) {
        phases[static_cast<std::size_t>(fSettings.MissingPhase)] = {0, 0, 0};
    }
    return phases;
}

double MeterModel::FrequencyAt(double t) const {
    if (fSettings.FrequencyHz) {
        return *fSettings.FrequencyHz;
    }
    return 50.0 + 0.03 * Wave(t, 20, 0) + (fSettings.Events ? 0.15 * Wave(t, 120, 0) : 0.0);
}

MeterModel::Powers MeterModel::TotalPowers(const std::array<Phase, 3>& phases) {
    Powers total{0, 0, 0};
    for (const Phase& phase : phases) {
        const double va = phase.Volts * phase.Amps / 1000.0;
        total.P += va * std::cos(phase.AngleDegrees * kDegrees);
        total.Q += va * std::sin(phase.AngleDegrees * kDegrees);
        total.S += va;
    }
    return total;
}

void MeterModel::Integrate(double t) {
    const double hours = std::max(0.0, t - fLastT) / 3600.0 * fSettings.EnergyRate;
    fLastT = std::max(fLastT, t);
    const Powers power = TotalPowers(PhasesAt(t));
    fTotals[power.P >= 0 ? 0 : 1] += std::fabs(power.P) * hours;
    const int quadrant = power.P >= 0 ? (power.Q >= 0 ? 4 : 7) : (power.Q >= 0 ? 5 : 6);
    fTotals[static_cast<std::size_t>(quadrant)] += std::fabs(power.Q) * hours;
    fTotals[power.P >= 0 ? 8 : 9] += power.S * hours;
    fTotals[2] = fTotals[4] + fTotals[5];
    fTotals[3] = fTotals[6] + fTotals[7];
}

double MeterModel::ModuleTime(double t) const {
    return t + (t - fStartT) * fSettings.ClockDriftPpm * 1e-6 + fSettings.ClockOffsetS;
}

// A frozen module serves the image of its start for ever.
ModbusRegisters MeterModel::Image(Time now) {
    const double t = fSettings.Frozen ? fStartT : Seconds(now);
    Integrate(t);
    ModbusRegisters image;
    image.Put(Quantity::SerialNumber, fSettings.Serial);
    PutClock(image, Quantity::ClockHour, static_cast<std::int64_t>(std::floor(ModuleTime(t))));
    PutTotalisers(image);
    PutInstantaneous(image, t);
    PutPhases(image, t);
    PutProfile(image, t, fSettings.Profile1Seconds, kProfile1);
    PutProfile(image, t, fSettings.Profile2Seconds, kProfile2);
    return image;
}

// Hour, minute, second, year, month, day: the layout of the clock and of profile stamps.
void MeterModel::PutClock(ModbusRegisters& image, Quantity hour, std::int64_t epochSeconds) const {
    const auto when = static_cast<std::time_t>(epochSeconds);
    std::tm local{};
    localtime_r(&when, &local);
    const int fields[] = {local.tm_hour,        local.tm_min,     local.tm_sec,
                          local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
    for (int k = 0; k < 6; ++k) {
        image.Put(QuantityAfter(hour, k), fields[k]);
    }
}

void MeterModel::PutTotalisers(ModbusRegisters& image) const {
    image.Put(Quantity::TotaliserDecimals, kTotaliserDigits);
    for (std::size_t k = 0; k < fTotals.size(); ++k) {
        const int n = static_cast<int>(k);
        // A mismatched Q+ is booked wrongly in both its encodings.
        const double total = fTotals[k] + (fSettings.ReactiveMismatch && k == 2 ? 1.0 : 0.0);
        const Quantity copy = QuantityAfter(Quantity::ActiveEnergyImportInt32, n);
        const bool wrong =
            fSettings.EncodingError == QuantityAfter(Quantity::ActiveEnergyImport, n);
        image.Put(QuantityAfter(Quantity::ActiveEnergyImport, n), Rounded(total, kTotaliserDigits));
        image.Put(copy, Encoded(total, kTotaliserDigits) + (wrong ? 1000u : 0u));
    }
}

void MeterModel::PutInstantaneous(ModbusRegisters& image, double t) const {
    const Powers power = TotalPowers(PhasesAt(t));
    const double reported = power.P * (1 + fSettings.PowerMismatchPercent / 100);
    image.Put(Quantity::MeanPowerFactor, reported / power.S);
    image.Put(Quantity::Frequency, FrequencyAt(t));
    image.Put(Quantity::ActivePowerTotal, reported);
    image.Put(Quantity::ReactivePowerTotal, power.Q);
    image.Put(Quantity::ApparentPowerTotal, power.S);
}

void MeterModel::PutPhases(ModbusRegisters& image, double t) const {
    const std::array<Phase, 3> phases = PhasesAt(t);
    // Harmonics in proportion to their phase: a dead phase has none.
    const double currentHarmonics[] = {0.32, 0.19, 0.08};
    const double voltageHarmonics[] = {1.1 / 230, 0.7 / 230, 0.4 / 230};
    for (int k = 0; k < 3; ++k) {
        const Phase& phase = phases[static_cast<std::size_t>(k)];
        const Quantity current = QuantityAfter(Quantity::CurrentL1, 4 * k);
        const Quantity voltage = QuantityAfter(Quantity::VoltageL1, 4 * k);
        image.Put(QuantityAfter(Quantity::CurrentAngleL1, k), phase.AngleDegrees);
        image.Put(current, phase.Amps);
        image.Put(voltage, phase.Volts);
        for (int h = 0; h < 3; ++h) {
            const double drift = 1.0 + 0.1 * Wave(t, 40, h + k);
            image.Put(QuantityAfter(current, 1 + h), currentHarmonics[h] * phase.Amps * drift);
            image.Put(QuantityAfter(voltage, 1 + h), voltageHarmonics[h] * phase.Volts * drift);
        }
    }
    const double second = fSettings.ReverseSequence ? 240.0 : 120.0;
    image.Put(Quantity::VoltageAngleL2, second + 0.05 * Wave(t, 13, 0));
    image.Put(Quantity::VoltageAngleL3, 360.0 - second + 0.05 * Wave(t, 17, 1));
}

// The last complete period: its end stamp, and six channels computed from the power in its
// middle: active import and export, reactive inductive and capacitive, apparent energy and
// mean active power. The same values again in their 32-bit encodings.
void MeterModel::PutProfile(ModbusRegisters& image, double t, int period,
                            const ProfileRows& rows) const {
    const auto end = static_cast<std::int64_t>(std::floor(t / period)) * period;
    const Powers power = TotalPowers(PhasesAt(static_cast<double>(end) - period / 2.0));
    const double hours = period / 3600.0;
    const std::array<double, 6> channels = {std::max(power.P, 0.0) * hours,
                                            std::max(-power.P, 0.0) * hours,
                                            std::max(power.Q, 0.0) * hours,
                                            std::max(-power.Q, 0.0) * hours,
                                            power.S * hours,
                                            power.P};
    PutClock(image, rows.Hour, end);
    PutClock(image, rows.Int32Hour, end);
    for (int c = 0; c < 6; ++c) {
        const double value = Rounded(channels[static_cast<std::size_t>(c)], kProfileDigits);
        image.Put(QuantityAfter(rows.Channel1, c), value);
        image.Put(QuantityAfter(rows.Decimals1, c), kProfileDigits);
        const bool wrong = fSettings.LpMismatch && rows.Hour == Quantity::Profile2Hour && c == 0;
        image.Put(QuantityAfter(rows.Int32Channel1, c),
                  Encoded(value, kProfileDigits) + (wrong ? 100u : 0u));
    }
}

} // namespace kalvo::sim
