#include "recording/run_record.h"

#include "registers/quantity_info.h"
#include "registers/register_map.h"
#include "registers/value_text.h"

#include <cstdio>
#include <ctime>

namespace kalvo {

std::vector<std::string> RunRecord::Header() {
    std::vector<std::string> cells = {"Time", "Block"};
    for (const RegisterDef& def : RegisterMapRows()) {
        const std::string obis(def.OBIS);
        const std::string description(def.Description);
        const std::string unit(InfoOf(def.Id).Unit);
        cells.push_back((obis.empty() ? description : obis + " " + description) +
                        (unit.empty() ? "" : " [" + unit + "]"));
    }
    return cells;
}

std::vector<std::string> RunRecord::Row(std::chrono::system_clock::time_point time,
                                        RegisterBlock block,
                                        const ModbusRegisters& registers) const {
    std::vector<std::string> cells = {TimeText(time), std::string(1, SpanOf(block).Letter)};
    for (const RegisterDef& def : RegisterMapRows()) {
        cells.push_back(def.Block == block
                            ? RegisterValueText(registers, def.Decoder, def.Index, fSeparator)
                            : std::string());
    }
    return cells;
}

std::string RunRecord::TimeText(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                            time - std::chrono::system_clock::from_time_t(seconds))
                            .count();
    std::tm local{};
    localtime_r(&seconds, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff / 60;
    const long magnitude = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s.%03d%c%02ld:%02ld", date, static_cast<int>(millis),
                  offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return text;
}

} // namespace kalvo
