#include "registers/modbus_registers.h"
#include "registers/quantity_info.h"
#include "registers/register_map.h"

#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>

namespace kalvo {
namespace {

// The typed fields against the texts they were derived from, read here independently.
TEST(RegisterMap, TablesTileTheTwoPolledBlocks) {
    const std::map<std::string, int> registersPerType = {
        {"short", 1}, {"integer", 2}, {"float", 2}, {"double", 4}};
    const std::map<std::string, ValueType> decoders = {{"short", ValueType::Short},
                                                       {"integer", ValueType::Integer},
                                                       {"float", ValueType::Float},
                                                       {"double", ValueType::Double}};
    const std::size_t rowCounts[] = {22, 29, 24, 47};
    int next = 0;
    bool blockBoundaryFound = false;
    ASSERT_EQ(RegisterTables().size(), 4u);
    for (std::size_t t = 0; t < 4; ++t) {
        const RegisterTable& table = RegisterTables()[t];
        EXPECT_EQ(table.Rows.size(), rowCounts[t]) << table.Caption;
        for (const RegisterDef& row : table.Rows) {
            const int count = registersPerType.at(std::string(row.Type));
            EXPECT_EQ(std::stoi(std::string(row.Addr)), next) << row.Description;
            EXPECT_EQ(std::stoi(std::string(row.Bytes)), 2 * count) << row.Description;
            blockBoundaryFound |= next == 121;
            EXPECT_FALSE(next < 121 && next + count > 121) << "straddles the block boundary";
            EXPECT_EQ(row.Index, next) << row.Description;
            EXPECT_EQ(row.Count, count) << row.Description;
            EXPECT_EQ(row.Decoder, decoders.at(std::string(row.Type))) << row.Description;
            EXPECT_EQ(row.Block, next < 121 ? RegisterBlock::A : RegisterBlock::B)
                << row.Description;
            next += count;
        }
    }
    EXPECT_EQ(next, 245);
    EXPECT_TRUE(blockBoundaryFound);
}

// Every row has its own quantity, found again by it; names are unique; only integer encodings
// have a decimals register, and it is a short.
TEST(RegisterMap, EveryRowIsANamedQuantity) {
    std::set<Quantity> seen;
    std::set<std::string_view> names;
    for (const RegisterDef& row : RegisterMapRows()) {
        EXPECT_TRUE(seen.insert(row.Id).second) << row.Description;
        EXPECT_EQ(&RegisterOf(row.Id), &row) << row.Description;
        const QuantityInfo& info = InfoOf(row.Id);
        EXPECT_FALSE(info.Name.empty());
        EXPECT_TRUE(names.insert(info.Name).second) << info.Name;
        if (info.Decimals) {
            EXPECT_EQ(row.Decoder, ValueType::Integer) << info.Name;
            EXPECT_EQ(RegisterOf(*info.Decimals).Decoder, ValueType::Short) << info.Name;
        }
    }
    EXPECT_EQ(static_cast<int>(seen.size()), kQuantityCount);
    struct Case {
        Quantity quantity;
        std::string_view obis;
        std::string_view unit;
    };
    const Case physical[] = {{Quantity::VoltageL1, "32.7.0", "V"},
                             {Quantity::VoltageL3, "72.7.0", "V"},
                             {Quantity::CurrentL2, "51.7.0", "A"},
                             {Quantity::CurrentL3Harmonic7, "71.7.7", "A"},
                             {Quantity::Frequency, "14.7.0", "Hz"},
                             {Quantity::ActivePowerTotal, "15.7.0", "kW"},
                             {Quantity::CurrentAngleL2, "81.7.51", "°"},
                             {Quantity::VoltageAngleL3, "81.7.2", "°"},
                             {Quantity::ActiveEnergyImport, "1.8.0", "kWh"},
                             {Quantity::ApparentEnergyExport, "10.8.0", "kVAh"},
                             {Quantity::ReactiveEnergyQ4Int32, "8.8.0", "kvarh"},
                             {Quantity::MeanPowerFactor, "13.7.0", ""}};
    for (const Case& c : physical) {
        EXPECT_EQ(RegisterOf(c.quantity).OBIS, c.obis) << InfoOf(c.quantity).Name;
        EXPECT_EQ(InfoOf(c.quantity).Unit, c.unit) << InfoOf(c.quantity).Name;
    }
}

// Values by name: availability as the tables judge it, and an integer encoding scaled by
// its decimals register.
TEST(RegisterMap, ValuesByQuantity) {
    ModbusRegisters image;
    image.Fill();
    EXPECT_FALSE(image.Value(Quantity::VoltageL1));
    image.Put(Quantity::VoltageL1, 230.5);
    image.Put(Quantity::ActiveEnergyImport, -12345.678);
    image.Put(Quantity::ActiveEnergyImportInt32, 12345678);
    EXPECT_EQ(image.Value(Quantity::VoltageL1), 230.5);
    EXPECT_EQ(image.Value(Quantity::ActiveEnergyImport), -12345.678);
    EXPECT_EQ(image.RegisterSingle(RegisterOf(Quantity::VoltageL1).Index), 230.5f);
    EXPECT_FALSE(image.ScaledValue(Quantity::ActiveEnergyImportInt32)) << "decimals unknown";
    image.Put(Quantity::TotaliserDecimals, 3);
    EXPECT_DOUBLE_EQ(*image.ScaledValue(Quantity::ActiveEnergyImportInt32), 12345.678);
    EXPECT_EQ(image.ScaledValue(Quantity::VoltageL1), 230.5) << "no decimals register";
    image.Put(Quantity::TotaliserDecimals, 40);
    EXPECT_FALSE(image.ScaledValue(Quantity::ActiveEnergyImportInt32)) << "no such count";
}

TEST(RegisterMap, TextsKeepTheirSpecialCharacters) {
    EXPECT_EQ(RegisterMapInst[0].OBIS, "0.0.1");
    EXPECT_EQ(RegisterMapInst[0].Description, "Matricola del contatore");
    EXPECT_EQ(RegisterMapInst[19].Description, "ΣLi potenza attiva (abs(QI+QIV)+(abs(QII+QIII))");
    EXPECT_EQ(RegisterMapPhase[6].Description, "Valore medio 3° armonica di corrente, fase R");
    EXPECT_EQ(RegisterMapLP[0].Description, "Byte 0-1\tora (0-24)");
    EXPECT_EQ(RegisterMapLP[6].Description, "1° canale dell’ultimo periodo P.01");
    EXPECT_EQ(RegisterMap32[0].Description,
              "N. di cifre decimali dei registri totalizz. 1.8.0 ÷ 10.8.0");
    EXPECT_EQ(RegisterMap32[1].Description, "Codifica a 32 bit del totalizz. energia attiva A+ ");
    EXPECT_EQ(RegisterMap32[46].Addr, "243");
    EXPECT_EQ(RegisterTables()[2].Caption, "Load profile (64 bits)");
}

} // namespace
} // namespace kalvo
