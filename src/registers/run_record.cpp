#include "registers/run_record.h"

#include "registers/register_map.h"
#include "registers/value_text.h"

#include <charconv>
#include <cstdio>
#include <ctime>

namespace kalvo {

namespace {

constexpr int kBlockB = 121;

int Number(std::string_view text) {
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

} // namespace

std::vector<std::string> RunRecord::Header() {
    std::vector<std::string> cells = {"Time", "Block"};
    for (const RegisterTable& table : RegisterTables()) {
        for (const RegisterDef& def : table.Rows) {
            const std::string obis(def.OBIS);
            const std::string description(def.Description);
            cells.push_back(obis.empty() ? description : obis + " " + description);
        }
    }
    return cells;
}

std::vector<std::string> RunRecord::Row(std::chrono::system_clock::time_point time, int first,
                                        const ModbusRegisters& registers) const {
    const bool blockB = first >= kBlockB;
    std::vector<std::string> cells = {TimeText(time), blockB ? "B" : "A"};
    int index = 0;
    for (const RegisterTable& table : RegisterTables()) {
        for (const RegisterDef& def : table.Rows) {
            const bool inBlock = (index >= kBlockB) == blockB;
            cells.push_back(inBlock ? RegisterValueText(registers, def.Type, index, fSeparator)
                                    : std::string());
            index += Number(def.Bytes) / 2;
        }
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
