#pragma once

#include "registers/modbus_registers.h"
#include "registers/register_map.h"

#include <string>
#include <string_view>
#include <vector>

namespace kalvo {

// One register tab as text, the way the client shows and exports it: the header row, then
// one row of eight cells per register map row.
class RegisterSheet {
public:
    using Row = std::vector<std::string>;

    // Renders `table` from `registers`.
    RegisterSheet(const RegisterTable& table, const ModbusRegisters& registers,
                  std::string_view decimalSeparator);
    // `table` before anything was read: the three value cells of every row are empty.
    explicit RegisterSheet(const RegisterTable& table);

    // All four tabs.
    static std::vector<RegisterSheet> RenderAll(const ModbusRegisters& registers,
                                                std::string_view decimalSeparator);
    // All four tabs with nothing read.
    static std::vector<RegisterSheet> BlankAll();
    // "KALVO_" + serial number text + "_" + tab caption; no extension.
    static std::string DefaultExportName(std::string_view serialText, std::string_view caption);
    // The three dynamic cells of `def`: raw hex, big-endian hex, value.
    static Row DynamicCells(const ModbusRegisters& registers, const RegisterDef& def,
                            std::string_view decimalSeparator);

    std::string_view Caption() const { return fCaption; }
    const std::vector<Row>& Rows() const { return fRows; }
    // The whole sheet as CSV lines, header included, each ended by CR LF.
    std::string Csv() const;

private:
    void AddRow(const RegisterDef& def, Row dynamicCells);

    std::string_view fCaption;
    std::vector<Row> fRows;
};

} // namespace kalvo
