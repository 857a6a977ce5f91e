#include "registers/csv_text.h"

#include <gtest/gtest.h>

namespace kalvo {
namespace {

TEST(CsvText, QuotesOnlyCellsThatNeedIt) {
    struct Case {
        const char* cell;
        const char* written;
    };
    const Case cases[] = {
        {"", ""},
        {"0.0.1", "0.0.1"},
        {"0x4E61BC00", "0x4E61BC00"},
        {"Matricola del contatore", "\"Matricola del contatore\""},
        {"Byte 0-1\tora (0-24)", "\"Byte 0-1\tora (0-24)\""},
        {"Byte\x01", "\"Byte\x01\""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"1° canale dell’ultimo", "\"1° canale dell’ultimo\""},
        {"ΣLi", "ΣLi"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CsvCell(c.cell), c.written) << c.cell;
    }
}

// What CsvLine writes, CsvCells reads back, whatever the cells hold.
TEST(CsvText, CellsOfALineAreTheCellsWritten) {
    const std::vector<std::vector<std::string>> lines = {
        {""},
        {"", "", ""},
        {"Time", "Block", "32.7.0 Valore RMS della tensione L1 [V]"},
        {"a,b", "say \"hi\"", "\"", "230,5", "1° canale"},
    };
    for (const auto& cells : lines) {
        EXPECT_EQ(CsvCells(CsvLine(cells)), cells);
    }
    EXPECT_EQ(CsvCells("1,2\n"), (std::vector<std::string>{"1", "2"}));
}

TEST(CsvText, LinesJoinCellsAndEndWithCrLf) {
    EXPECT_EQ(CsvLine({"OBIS", "Addr", "Type", "Bytes", "Description", "Read from KALVO-9",
                       "Big endian coding", "Value"}),
              "OBIS,Addr,Type,Bytes,Description,\"Read from KALVO-9\",\"Big endian coding\","
              "Value\r\n");
    EXPECT_EQ(CsvLine({"0.0.1", "0", "integer", "4", "Matricola del contatore", "0x4E61BC00",
                       "0x00BC614E", "12345678"}),
              "0.0.1,0,integer,4,\"Matricola del contatore\",0x4E61BC00,0x00BC614E,12345678\r\n");
    EXPECT_EQ(CsvLine({"", "", ""}), ",,\r\n");
}

} // namespace
} // namespace kalvo
