#include "registers/register_map.h"

namespace kalvo {

namespace {

// The module's register map. The texts are shown and exported unchanged, Italian and all.
constexpr std::array<RegisterDef, kQuantityCount> kRegisterMap = {{
    // Instantaneous values
    {"0.0.1", "0", "integer", "4", "Matricola del contatore", Quantity::SerialNumber},
    {"0.9.1", "2", "short", "2", "Ore (0-24)", Quantity::ClockHour},
    {"", "3", "short", "2", "Minuti (0-59)", Quantity::ClockMinute},
    {"", "4", "short", "2", "Secondi (0-59)", Quantity::ClockSecond},
    {"0.9.2", "5", "short", "2", "Anno", Quantity::ClockYear},
    {"", "6", "short", "2", "Mese", Quantity::ClockMonth},
    {"", "7", "short", "2", "Giorno", Quantity::ClockDay},
    {"1.8.0", "8", "double", "8", "Totalizzatore energia attiva A+", Quantity::ActiveEnergyImport},
    {"2.8.0", "12", "double", "8", "Totalizzatore energia attiva A-", Quantity::ActiveEnergyExport},
    {"3.8.0", "16", "double", "8", "Totalizzatore en. reattiva Q+ = Q1+ Q2",
     Quantity::ReactiveEnergyImport},
    {"4.8.0", "20", "double", "8", "Totalizzatore en. reattiva Q- = Q3+ Q4",
     Quantity::ReactiveEnergyExport},
    {"5.8.0", "24", "double", "8", "Totalizzatore en. reattiva Q1", Quantity::ReactiveEnergyQ1},
    {"6.8.0", "28", "double", "8", "Totalizzatore en. reattiva Q2", Quantity::ReactiveEnergyQ2},
    {"7.8.0", "32", "double", "8", "Totalizzatore en. reattiva Q3", Quantity::ReactiveEnergyQ3},
    {"8.8.0", "36", "double", "8", "Totalizzatore en. reattiva Q4", Quantity::ReactiveEnergyQ4},
    {"9.8.0", "40", "double", "8", "Totalizzatore energia apparente S+",
     Quantity::ApparentEnergyImport},
    {"10.8.0", "44", "double", "8", "Totalizzatore energia apparente S-",
     Quantity::ApparentEnergyExport},
    {"13.7.0", "48", "float", "4", "Cosfi medio", Quantity::MeanPowerFactor},
    {"14.7.0", "50", "float", "4", "Frequenza media", Quantity::Frequency},
    {"15.7.0", "52", "float", "4", "ΣLi potenza attiva (abs(QI+QIV)+(abs(QII+QIII))",
     Quantity::ActivePowerTotal},
    {"130.7.0", "54", "float", "4", "Potenza reattiva (Q1+Q2+Q3+Q4)", Quantity::ReactivePowerTotal},
    {"131.7.0", "56", "float", "4", "Potenza apparente (Q1+Q2+Q3+Q4)",
     Quantity::ApparentPowerTotal},
    // Phase values
    {"81.7.40", "58", "float", "4", "Angolo di fase R", Quantity::CurrentAngleL1},
    {"81.7.51", "60", "float", "4", "Angolo di fase S", Quantity::CurrentAngleL2},
    {"81.7.62", "62", "float", "4", "Angolo di fase T", Quantity::CurrentAngleL3},
    {"81.7.1", "64", "float", "4", "Angolo di fase tensioni V2 -> V1", Quantity::VoltageAngleL2},
    {"81.7.2", "66", "float", "4", "Angolo di fase tensioni V3 -> V1", Quantity::VoltageAngleL3},
    {"31.7.0", "68", "float", "4", "Valore RMS della corrente di fase R", Quantity::CurrentL1},
    {"31.7.3", "70", "float", "4", "Valore medio 3° armonica di corrente, fase R",
     Quantity::CurrentL1Harmonic3},
    {"31.7.5", "72", "float", "4", "Valore medio 5° armonica di corrente, fase R",
     Quantity::CurrentL1Harmonic5},
    {"31.7.7", "74", "float", "4", "Valore medio 7° armonica di corrente, fase R",
     Quantity::CurrentL1Harmonic7},
    {"51.7.0", "76", "float", "4", "Valore RMS della corrente di fase S", Quantity::CurrentL2},
    {"51.7.3", "78", "float", "4", "Valore medio 3° armonica di corrente, fase S",
     Quantity::CurrentL2Harmonic3},
    {"51.7.5", "80", "float", "4", "Valore medio 5° armonica di corrente, fase S",
     Quantity::CurrentL2Harmonic5},
    {"51.7.7", "82", "float", "4", "Valore medio 7° armonica di corrente, fase S",
     Quantity::CurrentL2Harmonic7},
    {"71.7.0", "84", "float", "4", "Valore RMS della corrente di fase T", Quantity::CurrentL3},
    {"71.7.3", "86", "float", "4", "Valore medio 3° armonica di corrente, fase T",
     Quantity::CurrentL3Harmonic3},
    {"71.7.5", "88", "float", "4", "Valore medio 5° armonica di corrente, fase T",
     Quantity::CurrentL3Harmonic5},
    {"71.7.7", "90", "float", "4", "Valore medio 7° armonica di corrente, fase T",
     Quantity::CurrentL3Harmonic7},
    {"32.7.0", "92", "float", "4", "Valore RMS della tensione di fase R", Quantity::VoltageL1},
    {"32.7.3", "94", "float", "4", "Valore medio 3° armonica di tensione, fase R",
     Quantity::VoltageL1Harmonic3},
    {"32.7.5", "96", "float", "4", "Valore medio 5° armonica di tensione, fase R",
     Quantity::VoltageL1Harmonic5},
    {"32.7.7", "98", "float", "4", "Valore medio 7° armonica di tensione, fase R",
     Quantity::VoltageL1Harmonic7},
    {"52.7.0", "100", "float", "4", "Valore RMS della tensione di fase S", Quantity::VoltageL2},
    {"52.7.3", "102", "float", "4", "Valore medio 3° armonica di tensione, fase S",
     Quantity::VoltageL2Harmonic3},
    {"52.7.5", "104", "float", "4", "Valore medio 5° armonica di tensione, fase S",
     Quantity::VoltageL2Harmonic5},
    {"52.7.7", "106", "float", "4", "Valore medio 7° armonica di tensione, fase S",
     Quantity::VoltageL2Harmonic7},
    {"72.7.0", "108", "float", "4", "Valore RMS della tensione di fase T", Quantity::VoltageL3},
    {"72.7.3", "110", "float", "4", "Valore medio 3° armonica di tensione, fase T",
     Quantity::VoltageL3Harmonic3},
    {"72.7.5", "112", "float", "4", "Valore medio 5° armonica di tensione, fase T",
     Quantity::VoltageL3Harmonic5},
    {"72.7.7", "114", "float", "4", "Valore medio 7° armonica di tensione, fase T",
     Quantity::VoltageL3Harmonic7},
    // Load profile (64 bits)
    {"P.01(TST)", "116", "short", "2", "Byte 0-1\tora (0-24)", Quantity::Profile1Hour},
    {"", "117", "short", "2", "Byte 2-3\tminuti (0-59)", Quantity::Profile1Minute},
    {"", "118", "short", "2", "Byte 4-5\tsecondi (0-59)", Quantity::Profile1Second},
    {"", "119", "short", "2", "Byte 6-7\tanno (XXXX)", Quantity::Profile1Year},
    {"", "120", "short", "2", "Byte 8-9\tmese", Quantity::Profile1Month},
    {"", "121", "short", "2", "Byte 10-11\tgiorno", Quantity::Profile1Day},
    {"P.01(C1)", "122", "double", "8", "1° canale dell’ultimo periodo P.01",
     Quantity::Profile1Channel1},
    {"P.01(C2)", "126", "double", "8", "2° canale dell’ultimo periodo P.01",
     Quantity::Profile1Channel2},
    {"P.01(C3)", "130", "double", "8", "3° canale dell’ultimo periodo P.01",
     Quantity::Profile1Channel3},
    {"P.01(C4)", "134", "double", "8", "4° canale dell’ultimo periodo P.01",
     Quantity::Profile1Channel4},
    {"P.01(C5)", "138", "double", "8", "5° canale dell’ultimo periodo P.01",
     Quantity::Profile1Channel5},
    {"P.01(C6)", "142", "double", "8", "6° canale dell’ultimo periodo P.01",
     Quantity::Profile1Channel6},
    {"P.02(TST)", "146", "short", "2", "Byte 0-1\tora (0-24)", Quantity::Profile2Hour},
    {"", "147", "short", "2", "Byte 2-3\tminuti (0-59)", Quantity::Profile2Minute},
    {"", "148", "short", "2", "Byte 4-5\tsecondi (0-59)", Quantity::Profile2Second},
    {"", "149", "short", "2", "Byte 6-7\tanno (XXXX)", Quantity::Profile2Year},
    {"", "150", "short", "2", "Byte 8-9\tmese", Quantity::Profile2Month},
    {"", "151", "short", "2", "Byte 10-11\tgiorno", Quantity::Profile2Day},
    {"P.02(C1)", "152", "double", "8", "1° canale dell’ultimo periodo P.02",
     Quantity::Profile2Channel1},
    {"P.02(C2)", "156", "double", "8", "2° canale dell’ultimo periodo P.02",
     Quantity::Profile2Channel2},
    {"P.02(C3)", "160", "double", "8", "3° canale dell’ultimo periodo P.02",
     Quantity::Profile2Channel3},
    {"P.02(C4)", "164", "double", "8", "4° canale dell’ultimo periodo P.02",
     Quantity::Profile2Channel4},
    {"P.02(C5)", "168", "double", "8", "5° canale dell’ultimo periodo P.02",
     Quantity::Profile2Channel5},
    {"P.02(C6)", "172", "double", "8", "6° canale dell’ultimo periodo P.02",
     Quantity::Profile2Channel6},
    // 32 bits encoding
    {"", "176", "short", "2", "N. di cifre decimali dei registri totalizz. 1.8.0 ÷ 10.8.0",
     Quantity::TotaliserDecimals},
    {"1.8.0", "177", "integer", "4", "Codifica a 32 bit del totalizz. energia attiva A+ ",
     Quantity::ActiveEnergyImportInt32},
    {"2.8.0", "179", "integer", "4", "Codifica a 32 bit del totalizz. energia attiva A-",
     Quantity::ActiveEnergyExportInt32},
    {"3.8.0", "181", "integer", "4", "Codifica a 32 bit del totalizz. en. reattiva Q+ = Q1+ Q2",
     Quantity::ReactiveEnergyImportInt32},
    {"4.8.0", "183", "integer", "4", "Codifica a 32 bit del totalizz. en. reattiva Q- = Q3+ Q4",
     Quantity::ReactiveEnergyExportInt32},
    {"5.8.0", "185", "integer", "4", "Codifica a 32 bit del totalizz. en. reattiva Q1",
     Quantity::ReactiveEnergyQ1Int32},
    {"6.8.0", "187", "integer", "4", "Codifica a 32 bit del totalizz. en. reattiva Q2",
     Quantity::ReactiveEnergyQ2Int32},
    {"7.8.0", "189", "integer", "4", "Codifica a 32 bit del totalizz. en. reattiva Q3",
     Quantity::ReactiveEnergyQ3Int32},
    {"8.8.0", "191", "integer", "4", "Codifica a 32 bit del totalizz. en. reattiva Q4",
     Quantity::ReactiveEnergyQ4Int32},
    {"9.8.0", "193", "integer", "4", "Codifica a 32 bit del totalizz. energia apparente S+",
     Quantity::ApparentEnergyImportInt32},
    {"10.8.0", "195", "integer", "4", "Codifica a 32 bit del totalizz. energia apparente S-",
     Quantity::ApparentEnergyExportInt32},
    {"", "197", "short", "2", "Numero di cifre decimali di P.01 (C1)", Quantity::Profile1Decimals1},
    {"", "198", "short", "2", "Numero di cifre decimali di P.01 (C2)", Quantity::Profile1Decimals2},
    {"", "199", "short", "2", "Numero di cifre decimali di P.01 (C3)", Quantity::Profile1Decimals3},
    {"", "200", "short", "2", "Numero di cifre decimali di P.01 (C4)", Quantity::Profile1Decimals4},
    {"", "201", "short", "2", "Numero di cifre decimali di P.01 (C5)", Quantity::Profile1Decimals5},
    {"", "202", "short", "2", "Numero di cifre decimali di P.01 (C6)", Quantity::Profile1Decimals6},
    {"P.01 (TST)", "203", "short", "2", "Byte 0-1 - ora (0-24)", Quantity::Profile1Int32Hour},
    {"", "204", "short", "2", "Byte 2-3 - minuti (0-59)", Quantity::Profile1Int32Minute},
    {"", "205", "short", "2", "Byte 4-5 - secondi (0-59)", Quantity::Profile1Int32Second},
    {"", "206", "short", "2", "Byte 6-7 - anno (XXXX)", Quantity::Profile1Int32Year},
    {"", "207", "short", "2", "Byte 8-9 - mese", Quantity::Profile1Int32Month},
    {"", "208", "short", "2", "Byte 10-11 - giorno", Quantity::Profile1Int32Day},
    {"P.01 (C1)", "209", "integer", "4",
     "Codifica a 32 bit del 1° canale dell’ultimo periodo del profilo P.01",
     Quantity::Profile1Int32Channel1},
    {"P.01 (C2)", "211", "integer", "4",
     "Codifica a 32 bit del 2° canale dell’ultimo periodo del profilo P.01",
     Quantity::Profile1Int32Channel2},
    {"P.01 (C3)", "213", "integer", "4",
     "Codifica a 32 bit del 3° canale dell’ultimo periodo del profilo P.01",
     Quantity::Profile1Int32Channel3},
    {"P.01 (C4)", "215", "integer", "4",
     "Codifica a 32 bit del 4° canale dell’ultimo periodo del profilo P.01",
     Quantity::Profile1Int32Channel4},
    {"P.01 (C5)", "217", "integer", "4",
     "Codifica a 32 bit del 5° canale dell’ultimo periodo del profilo P.01",
     Quantity::Profile1Int32Channel5},
    {"P.01 (C6)", "219", "integer", "4",
     "Codifica a 32 bit del 6° canale dell’ultimo periodo del profilo P.01",
     Quantity::Profile1Int32Channel6},
    {"", "221", "short", "2", "Numero di cifre decimali di P.02 (C1)", Quantity::Profile2Decimals1},
    {"", "222", "short", "2", "Numero di cifre decimali di P.02 (C2)", Quantity::Profile2Decimals2},
    {"", "223", "short", "2", "Numero di cifre decimali di P.02 (C3)", Quantity::Profile2Decimals3},
    {"", "224", "short", "2", "Numero di cifre decimali di P.02 (C4)", Quantity::Profile2Decimals4},
    {"", "225", "short", "2", "Numero di cifre decimali di P.02 (C5)", Quantity::Profile2Decimals5},
    {"", "226", "short", "2", "Numero di cifre decimali di P.02 (C6)", Quantity::Profile2Decimals6},
    {"P.02 (TST)", "227", "short", "2", "Byte 0-1 - ora (0-24)", Quantity::Profile2Int32Hour},
    {"", "228", "short", "2", "Byte 2-3 - minuti (0-59)", Quantity::Profile2Int32Minute},
    {"", "229", "short", "2", "Byte 4-5 - secondi (0-59)", Quantity::Profile2Int32Second},
    {"", "230", "short", "2", "Byte 6-7 - anno (XXXX)", Quantity::Profile2Int32Year},
    {"", "231", "short", "2", "Byte 8-9 - mese", Quantity::Profile2Int32Month},
    {"", "232", "short", "2", "Byte 10-11 - giorno", Quantity::Profile2Int32Day},
    {"P.02 (C1)", "233", "integer", "4",
     "Codifica a 32 bit del 1° canale dell’ultimo periodo del profilo P.02",
     Quantity::Profile2Int32Channel1},
    {"P.02 (C2)", "235", "integer", "4",
     "Codifica a 32 bit del 2° canale dell’ultimo periodo del profilo P.02",
     Quantity::Profile2Int32Channel2},
    {"P.02 (C3)", "237", "integer", "4",
     "Codifica a 32 bit del 3° canale dell’ultimo periodo del profilo P.02",
     Quantity::Profile2Int32Channel3},
    {"P.02 (C4)", "239", "integer", "4",
     "Codifica a 32 bit del 4° canale dell’ultimo periodo del profilo P.02",
     Quantity::Profile2Int32Channel4},
    {"P.02 (C5)", "241", "integer", "4",
     "Codifica a 32 bit del 5° canale dell’ultimo periodo del profilo P.02",
     Quantity::Profile2Int32Channel5},
    {"P.02 (C6)", "243", "integer", "4",
     "Codifica a 32 bit del 6° canale dell’ultimo periodo del profilo P.02",
     Quantity::Profile2Int32Channel6},
}};

constexpr std::span<const RegisterDef> kAll = kRegisterMap;
constexpr std::array<RegisterTable, 4> kTables = {{
    {"Instantaneous values", kAll.subspan(0, 22)},
    {"Phase values", kAll.subspan(22, 29)},
    {"Load profile (64 bits)", kAll.subspan(51, 24)},
    {"32 bits encoding", kAll.subspan(75, 47)},
}};

constexpr int RegistersOf(ValueType type) {
    return type == ValueType::Short ? 1 : type == ValueType::Double ? 4 : 2;
}

// The rows tile both blocks in order, none crosses from one block into the other, each spans
// what its type needs, and row i is quantity i.
constexpr bool Tiles() {
    int next = SpanOf(RegisterBlock::A).First;
    for (std::size_t i = 0; i < kRegisterMap.size(); ++i) {
        const RegisterDef& row = kRegisterMap[i];
        if (row.Index != next || row.Count != RegistersOf(row.Decoder) ||
            !SpanOf(row.Block).Contains(row.Index + row.Count - 1) ||
            static_cast<std::size_t>(row.Id) != i) {
            return false;
        }
        next += row.Count;
    }
    return next == SpanOf(RegisterBlock::B).End();
}
static_assert(Tiles(), "the register map must tile blocks A and B");

} // namespace

const std::span<const RegisterDef> RegisterMapInst = kTables[0].Rows;
const std::span<const RegisterDef> RegisterMapPhase = kTables[1].Rows;
const std::span<const RegisterDef> RegisterMapLP = kTables[2].Rows;
const std::span<const RegisterDef> RegisterMap32 = kTables[3].Rows;

std::span<const RegisterTable> RegisterTables() {
    return kTables;
}

std::span<const RegisterDef> RegisterMapRows() {
    return kAll;
}

const RegisterDef& RegisterOf(Quantity quantity) {
    return kRegisterMap[static_cast<std::size_t>(quantity)];
}

} // namespace kalvo
