#pragma once

namespace kalvo {

// Nominal values and tolerances of the checks; each default is explained in the README.
struct CheckSettings {
    double NominalVoltage = 230;  // V
    double NominalFrequency = 50; // Hz
    double ClockToleranceS = 10;  // module clock against the computer's
    double FrequencyWarnPercent = 2;
    double FrequencyLowestHz = 45; // outside 45-65 Hz no real supply is measured
    double FrequencyHighestHz = 65;
    double VoltageWarnPercent = 10;
    double VoltageMissingPercent = 10; // below this share of nominal a phase is missing
    double AngleToleranceDeg = 5;
    double LoadedCurrentA = 0.5;      // below it a phase's current direction is not judged
    double PowerTolerancePercent = 2; // of the apparent power
    double PowerFloorKw = 0.02;       // the floating values' and the meter's own noise
    double PowerFactorTolerance = 0.02;
    double EnergyTolerancePercent = 3;
    int EnergyMinimumCounts = 20; // of the totaliser's last digit before judging
    double ClockDriftToleranceSPerDay = 10;
    double FrozenAfterS = 60; // identical readings this long: data frozen
};

} // namespace kalvo
