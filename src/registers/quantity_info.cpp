#include "registers/quantity_info.h"

#include <array>
#include <numbers>

namespace kalvo {

namespace {

// Names as an engineer says them; units of the value a row holds once its decimals, if it has
// a decimals register, are applied. Load profile channels carry whatever the meter was set to
// record, so they have no fixed unit.
constexpr std::array<QuantityInfo, kQuantityCount> kNamed = {{
    {Quantity::SerialNumber, "Serial number", "", std::nullopt},
    {Quantity::ClockHour, "Clock hour", "", std::nullopt},
    {Quantity::ClockMinute, "Clock minute", "", std::nullopt},
    {Quantity::ClockSecond, "Clock second", "", std::nullopt},
    {Quantity::ClockYear, "Clock year", "", std::nullopt},
    {Quantity::ClockMonth, "Clock month", "", std::nullopt},
    {Quantity::ClockDay, "Clock day", "", std::nullopt},
    {Quantity::ActiveEnergyImport, "Active energy import", "kWh", std::nullopt},
    {Quantity::ActiveEnergyExport, "Active energy export", "kWh", std::nullopt},
    {Quantity::ReactiveEnergyImport, "Reactive energy import", "kvarh", std::nullopt},
    {Quantity::ReactiveEnergyExport, "Reactive energy export", "kvarh", std::nullopt},
    {Quantity::ReactiveEnergyQ1, "Reactive energy Q1", "kvarh", std::nullopt},
    {Quantity::ReactiveEnergyQ2, "Reactive energy Q2", "kvarh", std::nullopt},
    {Quantity::ReactiveEnergyQ3, "Reactive energy Q3", "kvarh", std::nullopt},
    {Quantity::ReactiveEnergyQ4, "Reactive energy Q4", "kvarh", std::nullopt},
    {Quantity::ApparentEnergyImport, "Apparent energy import", "kVAh", std::nullopt},
    {Quantity::ApparentEnergyExport, "Apparent energy export", "kVAh", std::nullopt},
    {Quantity::MeanPowerFactor, "Mean power factor", "", std::nullopt},
    {Quantity::Frequency, "Frequency", "Hz", std::nullopt},
    {Quantity::ActivePowerTotal, "Total active power", "kW", std::nullopt},
    {Quantity::ReactivePowerTotal, "Total reactive power", "kvar", std::nullopt},
    {Quantity::ApparentPowerTotal, "Total apparent power", "kVA", std::nullopt},
    {Quantity::CurrentAngleL1, "L1 current angle", "°", std::nullopt},
    {Quantity::CurrentAngleL2, "L2 current angle", "°", std::nullopt},
    {Quantity::CurrentAngleL3, "L3 current angle", "°", std::nullopt},
    {Quantity::VoltageAngleL2, "L2 voltage angle", "°", std::nullopt},
    {Quantity::VoltageAngleL3, "L3 voltage angle", "°", std::nullopt},
    {Quantity::CurrentL1, "L1 current", "A", std::nullopt},
    {Quantity::CurrentL1Harmonic3, "L1 current 3rd harmonic", "A", std::nullopt},
    {Quantity::CurrentL1Harmonic5, "L1 current 5th harmonic", "A", std::nullopt},
    {Quantity::CurrentL1Harmonic7, "L1 current 7th harmonic", "A", std::nullopt},
    {Quantity::CurrentL2, "L2 current", "A", std::nullopt},
    {Quantity::CurrentL2Harmonic3, "L2 current 3rd harmonic", "A", std::nullopt},
    {Quantity::CurrentL2Harmonic5, "L2 current 5th harmonic", "A", std::nullopt},
    {Quantity::CurrentL2Harmonic7, "L2 current 7th harmonic", "A", std::nullopt},
    {Quantity::CurrentL3, "L3 current", "A", std::nullopt},
    {Quantity::CurrentL3Harmonic3, "L3 current 3rd harmonic", "A", std::nullopt},
    {Quantity::CurrentL3Harmonic5, "L3 current 5th harmonic", "A", std::nullopt},
    {Quantity::CurrentL3Harmonic7, "L3 current 7th harmonic", "A", std::nullopt},
    {Quantity::VoltageL1, "L1 voltage", "V", std::nullopt},
    {Quantity::VoltageL1Harmonic3, "L1 voltage 3rd harmonic", "V", std::nullopt},
    {Quantity::VoltageL1Harmonic5, "L1 voltage 5th harmonic", "V", std::nullopt},
    {Quantity::VoltageL1Harmonic7, "L1 voltage 7th harmonic", "V", std::nullopt},
    {Quantity::VoltageL2, "L2 voltage", "V", std::nullopt},
    {Quantity::VoltageL2Harmonic3, "L2 voltage 3rd harmonic", "V", std::nullopt},
    {Quantity::VoltageL2Harmonic5, "L2 voltage 5th harmonic", "V", std::nullopt},
    {Quantity::VoltageL2Harmonic7, "L2 voltage 7th harmonic", "V", std::nullopt},
    {Quantity::VoltageL3, "L3 voltage", "V", std::nullopt},
    {Quantity::VoltageL3Harmonic3, "L3 voltage 3rd harmonic", "V", std::nullopt},
    {Quantity::VoltageL3Harmonic5, "L3 voltage 5th harmonic", "V", std::nullopt},
    {Quantity::VoltageL3Harmonic7, "L3 voltage 7th harmonic", "V", std::nullopt},
    {Quantity::Profile1Hour, "P.01 hour", "", std::nullopt},
    {Quantity::Profile1Minute, "P.01 minute", "", std::nullopt},
    {Quantity::Profile1Second, "P.01 second", "", std::nullopt},
    {Quantity::Profile1Year, "P.01 year", "", std::nullopt},
    {Quantity::Profile1Month, "P.01 month", "", std::nullopt},
    {Quantity::Profile1Day, "P.01 day", "", std::nullopt},
    {Quantity::Profile1Channel1, "P.01 channel 1", "", std::nullopt},
    {Quantity::Profile1Channel2, "P.01 channel 2", "", std::nullopt},
    {Quantity::Profile1Channel3, "P.01 channel 3", "", std::nullopt},
    {Quantity::Profile1Channel4, "P.01 channel 4", "", std::nullopt},
    {Quantity::Profile1Channel5, "P.01 channel 5", "", std::nullopt},
    {Quantity::Profile1Channel6, "P.01 channel 6", "", std::nullopt},
    {Quantity::Profile2Hour, "P.02 hour", "", std::nullopt},
    {Quantity::Profile2Minute, "P.02 minute", "", std::nullopt},
    {Quantity::Profile2Second, "P.02 second", "", std::nullopt},
    {Quantity::Profile2Year, "P.02 year", "", std::nullopt},
    {Quantity::Profile2Month, "P.02 month", "", std::nullopt},
    {Quantity::Profile2Day, "P.02 day", "", std::nullopt},
    {Quantity::Profile2Channel1, "P.02 channel 1", "", std::nullopt},
    {Quantity::Profile2Channel2, "P.02 channel 2", "", std::nullopt},
    {Quantity::Profile2Channel3, "P.02 channel 3", "", std::nullopt},
    {Quantity::Profile2Channel4, "P.02 channel 4", "", std::nullopt},
    {Quantity::Profile2Channel5, "P.02 channel 5", "", std::nullopt},
    {Quantity::Profile2Channel6, "P.02 channel 6", "", std::nullopt},
    {Quantity::TotaliserDecimals, "Totaliser decimals", "", std::nullopt},
    {Quantity::ActiveEnergyImportInt32, "Active energy import (32-bit)", "kWh",
     Quantity::TotaliserDecimals},
    {Quantity::ActiveEnergyExportInt32, "Active energy export (32-bit)", "kWh",
     Quantity::TotaliserDecimals},
    {Quantity::ReactiveEnergyImportInt32, "Reactive energy import (32-bit)", "kvarh",
     Quantity::TotaliserDecimals},
    {Quantity::ReactiveEnergyExportInt32, "Reactive energy export (32-bit)", "kvarh",
     Quantity::TotaliserDecimals},
    {Quantity::ReactiveEnergyQ1Int32, "Reactive energy Q1 (32-bit)", "kvarh",
     Quantity::TotaliserDecimals},
    {Quantity::ReactiveEnergyQ2Int32, "Reactive energy Q2 (32-bit)", "kvarh",
     Quantity::TotaliserDecimals},
    {Quantity::ReactiveEnergyQ3Int32, "Reactive energy Q3 (32-bit)", "kvarh",
     Quantity::TotaliserDecimals},
    {Quantity::ReactiveEnergyQ4Int32, "Reactive energy Q4 (32-bit)", "kvarh",
     Quantity::TotaliserDecimals},
    {Quantity::ApparentEnergyImportInt32, "Apparent energy import (32-bit)", "kVAh",
     Quantity::TotaliserDecimals},
    {Quantity::ApparentEnergyExportInt32, "Apparent energy export (32-bit)", "kVAh",
     Quantity::TotaliserDecimals},
    {Quantity::Profile1Decimals1, "P.01 channel 1 decimals", "", std::nullopt},
    {Quantity::Profile1Decimals2, "P.01 channel 2 decimals", "", std::nullopt},
    {Quantity::Profile1Decimals3, "P.01 channel 3 decimals", "", std::nullopt},
    {Quantity::Profile1Decimals4, "P.01 channel 4 decimals", "", std::nullopt},
    {Quantity::Profile1Decimals5, "P.01 channel 5 decimals", "", std::nullopt},
    {Quantity::Profile1Decimals6, "P.01 channel 6 decimals", "", std::nullopt},
    {Quantity::Profile1Int32Hour, "P.01 hour (32-bit table)", "", std::nullopt},
    {Quantity::Profile1Int32Minute, "P.01 minute (32-bit table)", "", std::nullopt},
    {Quantity::Profile1Int32Second, "P.01 second (32-bit table)", "", std::nullopt},
    {Quantity::Profile1Int32Year, "P.01 year (32-bit table)", "", std::nullopt},
    {Quantity::Profile1Int32Month, "P.01 month (32-bit table)", "", std::nullopt},
    {Quantity::Profile1Int32Day, "P.01 day (32-bit table)", "", std::nullopt},
    {Quantity::Profile1Int32Channel1, "P.01 channel 1 (32-bit)", "", Quantity::Profile1Decimals1},
    {Quantity::Profile1Int32Channel2, "P.01 channel 2 (32-bit)", "", Quantity::Profile1Decimals2},
    {Quantity::Profile1Int32Channel3, "P.01 channel 3 (32-bit)", "", Quantity::Profile1Decimals3},
    {Quantity::Profile1Int32Channel4, "P.01 channel 4 (32-bit)", "", Quantity::Profile1Decimals4},
    {Quantity::Profile1Int32Channel5, "P.01 channel 5 (32-bit)", "", Quantity::Profile1Decimals5},
    {Quantity::Profile1Int32Channel6, "P.01 channel 6 (32-bit)", "", Quantity::Profile1Decimals6},
    {Quantity::Profile2Decimals1, "P.02 channel 1 decimals", "", std::nullopt},
    {Quantity::Profile2Decimals2, "P.02 channel 2 decimals", "", std::nullopt},
    {Quantity::Profile2Decimals3, "P.02 channel 3 decimals", "", std::nullopt},
    {Quantity::Profile2Decimals4, "P.02 channel 4 decimals", "", std::nullopt},
    {Quantity::Profile2Decimals5, "P.02 channel 5 decimals", "", std::nullopt},
    {Quantity::Profile2Decimals6, "P.02 channel 6 decimals", "", std::nullopt},
    {Quantity::Profile2Int32Hour, "P.02 hour (32-bit table)", "", std::nullopt},
    {Quantity::Profile2Int32Minute, "P.02 minute (32-bit table)", "", std::nullopt},
    {Quantity::Profile2Int32Second, "P.02 second (32-bit table)", "", std::nullopt},
    {Quantity::Profile2Int32Year, "P.02 year (32-bit table)", "", std::nullopt},
    {Quantity::Profile2Int32Month, "P.02 month (32-bit table)", "", std::nullopt},
    {Quantity::Profile2Int32Day, "P.02 day (32-bit table)", "", std::nullopt},
    {Quantity::Profile2Int32Channel1, "P.02 channel 1 (32-bit)", "", Quantity::Profile2Decimals1},
    {Quantity::Profile2Int32Channel2, "P.02 channel 2 (32-bit)", "", Quantity::Profile2Decimals2},
    {Quantity::Profile2Int32Channel3, "P.02 channel 3 (32-bit)", "", Quantity::Profile2Decimals3},
    {Quantity::Profile2Int32Channel4, "P.02 channel 4 (32-bit)", "", Quantity::Profile2Decimals4},
    {Quantity::Profile2Int32Channel5, "P.02 channel 5 (32-bit)", "", Quantity::Profile2Decimals5},
    {Quantity::Profile2Int32Channel6, "P.02 channel 6 (32-bit)", "", Quantity::Profile2Decimals6},
}};

struct UnitFactor {
    std::string_view Unit;
    double BaseFactor;
};

// Every unit a quantity has, with the factor to its base unit.
constexpr UnitFactor kUnits[] = {
    {"", 1},
    {"V", 1},
    {"A", 1},
    {"Hz", 1},
    {"kW", 1e3},
    {"kvar", 1e3},
    {"kVA", 1e3},
    {"kWh", 3.6e6},
    {"kvarh", 3.6e6},
    {"kVAh", 3.6e6},
    {"°", std::numbers::pi / 180},
};

constexpr std::array<QuantityInfo, kQuantityCount> WithFactors() {
    std::array<QuantityInfo, kQuantityCount> quantities = kNamed;
    for (QuantityInfo& info : quantities) {
        info.BaseFactor = 0;
        for (const UnitFactor& unit : kUnits) {
            if (unit.Unit == info.Unit) {
                info.BaseFactor = unit.BaseFactor;
            }
        }
    }
    return quantities;
}

constexpr std::array<QuantityInfo, kQuantityCount> kQuantities = WithFactors();

constexpr bool EveryUnitKnown() {
    for (const QuantityInfo& info : kQuantities) {
        if (info.BaseFactor == 0) {
            return false;
        }
    }
    return true;
}
static_assert(EveryUnitKnown(), "a factor to its base unit for every quantity's unit");

constexpr bool InMapOrder() {
    for (int i = 0; i < kQuantityCount; ++i) {
        if (static_cast<int>(kQuantities[static_cast<std::size_t>(i)].Id) != i) {
            return false;
        }
    }
    return true;
}
static_assert(InMapOrder(), "one entry per quantity, in the order of the enumeration");

} // namespace

const QuantityInfo& InfoOf(Quantity quantity) {
    return kQuantities[static_cast<std::size_t>(quantity)];
}

} // namespace kalvo
