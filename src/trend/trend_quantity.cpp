#include "trend/trend_quantity.h"

#include "registers/register_map.h"

#include <QStringList>
#include <algorithm>
#include <charconv>

namespace kalvo {

namespace {

int Number(std::string_view text) {
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

QString TextOf(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QString TrendQuantity::Name() const {
    return Obis.empty() ? TextOf(Description) : TextOf(Obis) + " " + TextOf(Description);
}

QString TrendQuantity::UnitOf(std::string_view obis) {
    const QStringList parts = TextOf(obis).split('.');
    if (parts.size() < 2) {
        return {};
    }
    const int c = parts[0].toInt();
    const int d = parts[1].toInt();
    if (d == 8) {
        return c <= 2 ? "kWh" : c <= 8 ? "kvarh" : "kVAh";
    }
    if (d != 7) {
        return {};
    }
    switch (c) {
    case 14:
        return "Hz";
    case 15:
        return "kW";
    case 130:
        return "kvar";
    case 131:
        return "kVA";
    case 81:
        return QString(QChar(0x00B0));
    case 31:
    case 51:
    case 71:
        return "A";
    case 32:
    case 52:
    case 72:
        return "V";
    default:
        return {};
    }
}

const std::vector<TrendQuantity>& TrendQuantity::All() {
    static const std::vector<TrendQuantity> all = [] {
        std::vector<TrendQuantity> quantities;
        int index = 0;
        int table = 0;
        for (const RegisterTable& registers : RegisterTables()) {
            for (const RegisterDef& def : registers.Rows) {
                quantities.push_back(
                    {table, index, def.Type, def.OBIS, def.Description, UnitOf(def.OBIS)});
                index += Number(def.Bytes) / 2;
            }
            ++table;
        }
        return quantities;
    }();
    return all;
}

const TrendQuantity& TrendQuantity::At(int index) {
    const std::vector<TrendQuantity>& all = All();
    return *std::find_if(all.begin(), all.end(),
                         [index](const TrendQuantity& q) { return q.Index == index; });
}

std::vector<int> TrendQuantity::DefaultSelection() {
    return {92, 100, 108, 68, 76, 84, 52, 50};
}

} // namespace kalvo
