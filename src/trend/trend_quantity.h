#pragma once

#include "registers/register_def.h"

#include <QString>
#include <vector>

namespace kalvo {

// A row of the register map the trend can follow, with the table it is listed under.
struct TrendQuantity {
    int Table = 0;
    const RegisterDef* Row = nullptr;

    int Index() const { return Row->Index; }
    // "OBIS description" as the legend and the record show it.
    QString Name() const;
    // "32.7.0 L1 voltage": short, and the phases differ early, for the list to pick from.
    QString ShortName() const;
    QString Unit() const;
    // Every row of the map, in map order.
    static const std::vector<TrendQuantity>& All();
    // The quantity whose first register is `index`, which must be one of All().
    static const TrendQuantity& At(int index);
    // The first registers of what a new trend follows: the three phase voltages and currents,
    // the total active power and the frequency.
    static std::vector<int> DefaultSelection();
};

} // namespace kalvo
