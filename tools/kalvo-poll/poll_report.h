#pragma once

#include "registers/comm_statistics_record.h"
#include "registers/modbus_registers.h"
#include "registers/register_sheet.h"

#include <ostream>
#include <string>
#include <vector>

namespace kalvo::poll {

// The outputs of kalvo-poll, from one register image rendered into the four sheets. When no
// block was read the sheets have empty value cells, as the client's tables do.
class PollReport {
public:
    PollReport(const ModbusRegisters& registers, bool anyBlockRead, std::string decimalSeparator);

    void WriteTable(std::ostream& out) const;
    void WriteCsv(std::ostream& out) const;
    // With `checksJson` (a JSON array) not empty, the object holds it as "checks".
    void WriteJson(std::ostream& out, const CommStatisticsRecord& statistics,
                   const std::string& checksJson = {}) const;
    // One file per sheet, named as the client's export names it; returns the paths.
    std::vector<std::string> WriteCsvFiles(const std::string& folder) const;
    static void WriteStatistics(std::ostream& out, const CommStatisticsRecord& statistics);

private:
    ModbusRegisters fRegisters;
    std::vector<RegisterSheet> fSheets;
};

} // namespace kalvo::poll
