#pragma once

#include "registers/register_def.h"

#include <array>
#include <span>
#include <string_view>

namespace kalvo {

// One register tab: its caption and its rows. The four tables, in display order, tile
// registers 0 to 244 without gap or overlap.
struct RegisterTable {
    std::string_view Caption;
    std::span<const RegisterDef> Rows;
};

extern const std::span<const RegisterDef> RegisterMapInst;
extern const std::span<const RegisterDef> RegisterMapPhase;
extern const std::span<const RegisterDef> RegisterMapLP;
extern const std::span<const RegisterDef> RegisterMap32;

// The tables in display order: GridInst, GridPhase, GridLP, Grid32.
std::span<const RegisterTable> RegisterTables();
// Every row of the four tables, in map order: row i is Quantity i.
std::span<const RegisterDef> RegisterMapRows();
const RegisterDef& RegisterOf(Quantity quantity);

// Column headers of every register grid.
inline constexpr std::array<std::string_view, 8> kRegisterGridHeaders = {
    "OBIS", "Addr", "Type", "Bytes", "Description", "Read from KALVO-9", "Big endian coding",
    "Value"};

inline constexpr int kRegisterColumnCount = 8;
inline constexpr int kColumnType = 2;
inline constexpr int kColumnBytes = 3;
inline constexpr int kColumnRaw = 5;
inline constexpr int kColumnBigEndian = 6;
inline constexpr int kColumnValue = 7;

} // namespace kalvo
