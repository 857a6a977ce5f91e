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

    // Renders `table` from `registers`, its first row starting at register `firstRegister`.
    RegisterSheet(const RegisterTable& table, const ModbusRegisters& registers, int firstRegister,
                  std::string_view decimalSeparator);
    // `table` before anything was read: the three value cells of every row are empty.
    explicit RegisterSheet(const RegisterTable& table);

    // All four tabs, the running register index carried from one to the next.
    static std::vector<RegisterSheet> RenderAll(const ModbusRegisters& registers,
                                                std::string_view decimalSeparator);
    // All four tabs with nothing read.
    static std::vector<RegisterSheet> BlankAll();
    // "KALVO_" + serial number text + "_" + tab caption; no extension.
    static std::string DefaultExportName(std::string_view serialText, std::string_view caption);
    // The three dynamic cells of a row of `type` spanning `count` registers from `index`.
    static Row DynamicCells(const ModbusRegisters& registers, std::string_view type, int count,
                            int index, std::string_view decimalSeparator);

    std::string_view Caption() const { return fCaption; }
    const std::vector<Row>& Rows() const { return fRows; }
    int NextRegister() const { return fNextRegister; }
    // The whole sheet as CSV lines, header included, each ended by CR LF.
    std::string Csv() const;

private:
    void AddRow(const RegisterDef& def, Row dynamicCells);

    std::string_view fCaption;
    std::vector<Row> fRows;
    int fNextRegister = 0;
};

} // namespace kalvo
