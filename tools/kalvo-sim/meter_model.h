#pragma once

#include "register_source.h"

#include <array>
#include <cstdint>
#include <optional>

namespace kalvo::sim {

// A three-phase meter in motion: voltages near 230 V, a configurable load, phase angles of a
// few tens of degrees, totalisers integrating the powers, and two load profiles that move on
// at their periods. With events, a load switches on for 15 s every 40 s, the L2 voltage dips
// to 85 % for a second every 45 s, and the frequency wanders by 0.15 Hz over two minutes, so
// a trend shows something to recognise. Everything is a function of the time, so an image
// can be computed again for any instant. Every quantity goes into the image least
// significant byte first.
class MeterModel : public RegisterSource {
public:
    struct Settings {
        std::uint32_t Serial = 12345678;
        double LoadAmps = 10.0;
        int Profile1Seconds = 900;
        int Profile2Seconds = 3600;
        // Now and then a load switches, a voltage dips and the frequency moves.
        bool Events = false;
        // What a faulty module or installation gets wrong; each breaks one thing.
        double ClockOffsetS = 0;
        double ClockDriftPpm = 0;
        bool ReverseSequence = false;
        int ReverseCt = -1;    // the phase (0-2) whose current transformer is reversed
        int MissingPhase = -1; // the phase (0-2) with no voltage
        std::optional<double> FrequencyHz;
        std::optional<Quantity> EncodingError; // this totaliser's 32-bit copy is off
        bool ReactiveMismatch = false;
        double EnergyRate = 1; // the totalisers advance this many times what the power gives
        bool Frozen = false;
        bool LpMismatch = false;
        double PowerMismatchPercent = 0;
    };

    // The rows one load profile fills.
    struct ProfileRows;

    MeterModel(Settings settings, Time start);

    ModbusRegisters Image(Time now) override;

private:
    struct Phase {
        double Volts;
        double Amps;
        double AngleDegrees; // current relative to its voltage
    };
    struct Powers {
        double P; // kW
        double Q; // kvar
        double S; // kVA
    };

    std::array<Phase, 3> PhasesAt(double t) const;
    double FrequencyAt(double t) const;
    static Powers TotalPowers(const std::array<Phase, 3>& phases);
    void Integrate(double t);
    void PutClock(ModbusRegisters& image, Quantity hour, std::int64_t epochSeconds) const;
    void PutInstantaneous(ModbusRegisters& image, double t) const;
    void PutPhases(ModbusRegisters& image, double t) const;
    void PutTotalisers(ModbusRegisters& image) const;
    void PutProfile(ModbusRegisters& image, double t, int period, const ProfileRows& rows) const;

    // The module's clock, which may be off and drift.
    double ModuleTime(double t) const;

    Settings fSettings;
    double fStartT;
    double fLastT;
    // A+, A-, Q+, Q-, Q1, Q2, Q3, Q4, S+, S- in kWh, kvarh, kVAh.
    std::array<double, 10> fTotals;
};

} // namespace kalvo::sim
