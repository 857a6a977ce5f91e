#include "registers/register_map.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace kalvo {
namespace {

TEST(RegisterMap, TablesTileTheTwoPolledBlocks) {
    const std::map<std::string, int> registersPerType = {
        {"short", 1}, {"integer", 2}, {"float", 2}, {"double", 4}};
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
            next += count;
        }
    }
    EXPECT_EQ(next, 245);
    EXPECT_TRUE(blockBoundaryFound);
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
