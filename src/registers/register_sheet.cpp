#include "registers/register_sheet.h"

#include "registers/csv_text.h"
#include "registers/value_text.h"

namespace kalvo {

RegisterSheet::RegisterSheet(const RegisterTable& table, const ModbusRegisters& registers,
                             std::string_view decimalSeparator)
    : fCaption(table.Caption) {
    fRows.emplace_back(kRegisterGridHeaders.begin(), kRegisterGridHeaders.end());
    for (const RegisterDef& def : table.Rows) {
        AddRow(def, DynamicCells(registers, def, decimalSeparator));
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
                                               const RegisterDef& def,
                                               std::string_view decimalSeparator) {
    return {registers.RegistersToHex(def.Count, def.Index),
            registers.RegistersToBigEndianHex(def.Count, def.Index),
            RegisterValueText(registers, def.Decoder, def.Index, decimalSeparator)};
}

std::vector<RegisterSheet> RegisterSheet::RenderAll(const ModbusRegisters& registers,
                                                    std::string_view decimalSeparator) {
    std::vector<RegisterSheet> sheets;
    for (const RegisterTable& table : RegisterTables()) {
        sheets.emplace_back(table, registers, decimalSeparator);
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
