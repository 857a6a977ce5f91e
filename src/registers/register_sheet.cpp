#include "registers/register_sheet.h"

#include "registers/csv_text.h"
#include "registers/value_text.h"

#include <charconv>

namespace kalvo {

namespace {

int RegisterCount(std::string_view bytes) {
    int value = 0;
    std::from_chars(bytes.data(), bytes.data() + bytes.size(), value);
    return value / 2;
}

} // namespace

RegisterSheet::RegisterSheet(const RegisterTable& table, const ModbusRegisters& registers,
                             int firstRegister, std::string_view decimalSeparator)
    : fCaption(table.Caption), fNextRegister(firstRegister) {
    fRows.emplace_back(kRegisterGridHeaders.begin(), kRegisterGridHeaders.end());
    for (const RegisterDef& def : table.Rows) {
        const int count = RegisterCount(def.Bytes);
        AddRow(def, DynamicCells(registers, def.Type, count, fNextRegister, decimalSeparator));
        fNextRegister += count;
    }
}

RegisterSheet::RegisterSheet(const RegisterTable& table) : fCaption(table.Caption) {
    fRows.emplace_back(kRegisterGridHeaders.begin(), kRegisterGridHeaders.end());
    for (const RegisterDef& def : table.Rows) {
        AddRow(def, Row(kRegisterColumnCount - kColumnRaw));
    }
}

void RegisterSheet::AddRow(const RegisterDef& def, Row dynamicCells) {
    Row row = {std::string(def.OBIS), std::string(def.Addr), std::string(def.Type),
               std::string(def.Bytes), std::string(def.Description)};
    for (std::string& cell : dynamicCells) {
        row.push_back(std::move(cell));
    }
    fRows.push_back(std::move(row));
}

RegisterSheet::Row RegisterSheet::DynamicCells(const ModbusRegisters& registers,
                                               std::string_view type, int count, int index,
                                               std::string_view decimalSeparator) {
    return {registers.RegistersToHex(count, index), registers.RegistersToBigEndianHex(count, index),
            RegisterValueText(registers, type, index, decimalSeparator)};
}

std::vector<RegisterSheet> RegisterSheet::RenderAll(const ModbusRegisters& registers,
                                                    std::string_view decimalSeparator) {
    std::vector<RegisterSheet> sheets;
    int next = 0;
    for (const RegisterTable& table : RegisterTables()) {
        sheets.emplace_back(table, registers, next, decimalSeparator);
        next = sheets.back().NextRegister();
    }
    return sheets;
}

std::vector<RegisterSheet> RegisterSheet::BlankAll() {
    std::vector<RegisterSheet> sheets;
    for (const RegisterTable& table : RegisterTables()) {
        sheets.emplace_back(table);
    }
    return sheets;
}

std::string RegisterSheet::DefaultExportName(std::string_view serialText,
                                             std::string_view caption) {
    return "KALVO_" + std::string(serialText) + "_" + std::string(caption);
}

std::string RegisterSheet::Csv() const {
    std::string text;
    for (const Row& row : fRows) {
        text += CsvLine(row);
    }
    return text;
}

} // namespace kalvo
