#include "trend/trend_quantity.h"

#include "registers/quantity_info.h"
#include "registers/register_map.h"

#include <algorithm>

namespace kalvo {

namespace {

QString TextOf(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QString TrendQuantity::Name() const {
    return Row->OBIS.empty() ? TextOf(Row->Description)
                             : TextOf(Row->OBIS) + " " + TextOf(Row->Description);
}

QString TrendQuantity::ShortName() const {
    const QString name = TextOf(InfoOf(Row->Id).Name);
    return Row->OBIS.empty() ? name : TextOf(Row->OBIS) + " " + name;
}

QString TrendQuantity::Unit() const {
    return TextOf(InfoOf(Row->Id).Unit);
}

const std::vector<TrendQuantity>& TrendQuantity::All() {
    static const std::vector<TrendQuantity> all = [] {
        std::vector<TrendQuantity> quantities;
        int table = 0;
        for (const RegisterTable& registers : RegisterTables()) {
            for (const RegisterDef& def : registers.Rows) {
                quantities.push_back({table, &def});
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
                         [index](const TrendQuantity& q) { return q.Index() == index; });
}

std::vector<int> TrendQuantity::DefaultSelection() {
    std::vector<int> indices;
    for (const Quantity quantity : kDefaultTrendQuantities) {
        indices.push_back(RegisterOf(quantity).Index);
    }
    return indices;
}

} // namespace kalvo
