#include "recording/recorded_run.h"

#include "recording/run_record.h"
#include "registers/csv_text.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>

namespace kalvo {

namespace {

constexpr std::size_t kTimeColumn = 0;
constexpr std::size_t kFirstQuantityColumn = 2;

std::runtime_error Fault(std::size_t line, const std::string& what) {
    return std::runtime_error("Line " + std::to_string(line) + ": " + what);
}

// The column of each wanted quantity, found by its header text.
std::vector<std::pair<Quantity, std::size_t>> Columns(const std::vector<std::string>& header,
                                                      const std::vector<Quantity>& wanted) {
    const std::vector<std::string> ours = RunRecord::Header();
    if (header.size() < kFirstQuantityColumn || header[kTimeColumn] != ours[kTimeColumn]) {
        throw Fault(1, "not a recording of a Run (its first column is not \"Time\")");
    }
    std::vector<std::pair<Quantity, std::size_t>> columns;
    for (const Quantity quantity : wanted) {
        const std::string& name = ours[kFirstQuantityColumn + static_cast<std::size_t>(quantity)];
        const auto found = std::find(header.begin(), header.end(), name);
        if (found != header.end()) {
            columns.emplace_back(quantity, static_cast<std::size_t>(found - header.begin()));
        }
    }
    return columns;
}

} // namespace

std::optional<double> RecordedRun::TimeOf(std::string_view text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millis = 0;
    int offsetHours = 0, offsetMinutes = 0, consumed = 0;
    char sign = 0;
    const std::string cell(text);
    if (std::sscanf(cell.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c%2d:%2d%n", &year, &month, &day,
                    &hour, &minute, &second, &millis, &sign, &offsetHours, &offsetMinutes,
                    &consumed) != 10 ||
        static_cast<std::size_t>(consumed) != cell.size() || (sign != '+' && sign != '-')) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year(year),
                                           std::chrono::month(static_cast<unsigned>(month)),
                                           std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok() || hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    const double days = std::chrono::sys_days(date).time_since_epoch().count();
    const int offset = (sign == '-' ? -1 : 1) * (offsetHours * 3600 + offsetMinutes * 60);
    return days * 86400 + hour * 3600 + minute * 60 + second - offset + millis / 1000.0;
}

// from_chars, not strtod: the user's locale must not decide what a point means.
std::optional<double> RecordedRun::ValueOf(std::string_view text) {
    std::string cell(text);
    std::replace(cell.begin(), cell.end(), ',', '.');
    double value = 0;
    const char* end = cell.data() + cell.size();
    const auto [stop, error] = std::from_chars(cell.data(), end, value);
    if (cell.empty() || error != std::errc() || stop != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

RecordedRun RecordedRun::Read(std::istream& input, const std::vector<Quantity>& wanted) {
    std::string line;
    if (!std::getline(input, line)) {
        throw Fault(1, "the file is empty");
    }
    const std::vector<std::pair<Quantity, std::size_t>> columns = Columns(CsvCells(line), wanted);
    RecordedRun run;
    for (std::size_t number = 2; std::getline(input, line); ++number) {
        if (line.empty() || line == "\r") {
            continue;
        }
        const std::vector<std::string> cells = CsvCells(line);
        const std::optional<double> time = TimeOf(cells[kTimeColumn]);
        if (!time) {
            throw Fault(number, "\"" + cells[kTimeColumn] + "\" is not a time");
        }
        for (const auto& [quantity, column] : columns) {
            if (column < cells.size() && !cells[column].empty()) {
                run.fReadings[static_cast<std::size_t>(quantity)].push_back(
                    {*time, ValueOf(cells[column]).value_or(std::nan(""))});
            }
        }
        ++run.fRows;
    }
    return run;
}

} // namespace kalvo
