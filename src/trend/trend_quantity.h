#pragma once

#include <QString>
#include <string_view>
#include <vector>

namespace kalvo {

// A quantity of the register map the trend can follow: where it is, how it is decoded, and
// the unit its OBIS code gives.
struct TrendQuantity {
    int Table = 0;
    int Index = 0; // first register
    std::string_view Type;
    std::string_view Obis;
    std::string_view Description;
    QString Unit;

    // "OBIS description" as the legend and the record show it.
    QString Name() const;
    // Every numeric quantity of the map, in map order.
    static const std::vector<TrendQuantity>& All();
    // The quantity whose first register is `index`, which must be one of All().
    static const TrendQuantity& At(int index);
    // The first registers of what a new trend follows: the three phase voltages and currents,
    // the total active power and the frequency.
    static std::vector<int> DefaultSelection();
    // The unit of an OBIS code "C.D.E": volts, amperes, hertz, powers, energies, degrees.
    static QString UnitOf(std::string_view obis);
};

} // namespace kalvo
