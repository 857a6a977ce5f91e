#pragma once

#include "register_source.h"

#include <array>
#include <cstdint>

namespace kalvo::sim {

// A three-phase meter in motion: voltages near 230 V, a configurable load, phase angles of a
// few tens of degrees, totalisers integrating the powers, and two load profiles that move on
// at their periods. Every quantity goes into the image least significant byte first.
class MeterModel : public RegisterSource {
public:
    struct Settings {
        std::uint32_t Serial = 12345678;
        double LoadAmps = 10.0;
        int Profile1Seconds = 900;
        int Profile2Seconds = 3600;
    };

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
    static Powers TotalPowers(const std::array<Phase, 3>& phases);
    void Integrate(double t);
    void PutClock(ModbusRegisters& image, int index, std::int64_t epochSeconds) const;
    void PutInstantaneous(ModbusRegisters& image, double t) const;
    void PutPhases(ModbusRegisters& image, double t) const;
    void PutTotalisers(ModbusRegisters& image) const;
    void PutProfile(ModbusRegisters& image, double t, int period, int first, int digitsFirst) const;

    Settings fSettings;
    double fLastT;
    // A+, A-, Q+, Q-, Q1, Q2, Q3, Q4, S+, S- in kWh, kvarh, kVAh.
    std::array<double, 10> fTotals;
};

} // namespace kalvo::sim
