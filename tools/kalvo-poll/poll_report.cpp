#include "poll_report.h"

#include "registers/json_text.h"
#include "registers/whole_file.h"

#include <algorithm>
#include <filesystem>

namespace kalvo::poll {

namespace {

// Display width of UTF-8 text: one column per code point.
std::size_t Columns(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string OnOneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\t', ' ');
    return text;
}

std::int64_t EpochMs(CommStatisticsRecord::Time time) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

} // namespace

PollReport::PollReport(const ModbusRegisters& registers, bool anyBlockRead,
                       std::string decimalSeparator)
    : fRegisters(registers),
      fSheets(anyBlockRead ? RegisterSheet::RenderAll(registers, decimalSeparator)
                           : RegisterSheet::BlankAll()) {}

void PollReport::WriteTable(std::ostream& out) const {
    for (const RegisterSheet& sheet : fSheets) {
        std::vector<std::size_t> widths(kRegisterColumnCount, 0);
        for (const RegisterSheet::Row& row : sheet.Rows()) {
            for (std::size_t c = 0; c < row.size(); ++c) {
                widths[c] = std::max(widths[c], Columns(row[c]));
            }
        }
        out << sheet.Caption() << '\n';
        for (const RegisterSheet::Row& row : sheet.Rows()) {
            for (std::size_t c = 0; c < row.size(); ++c) {
                out << OnOneLine(row[c]);
                if (c + 1 < row.size()) {
                    out << std::string(widths[c] - Columns(row[c]) + 2, ' ');
                }
            }
            out << '\n';
        }
        out << '\n';
    }
}

void PollReport::WriteCsv(std::ostream& out) const {
    for (const RegisterSheet& sheet : fSheets) {
        out << sheet.Csv() << "\r\n";
    }
}

void PollReport::WriteJson(std::ostream& out, const CommStatisticsRecord& statistics,
                           const std::string& checksJson) const {
    out << "{\n  \"registers\": [";
    for (int i = 0; i < ModbusRegisters::kCount; ++i) {
        out << (i == 0 ? "" : ", ") << fRegisters[i];
    }
    out << "],\n  \"tables\": [";
    for (std::size_t t = 0; t < fSheets.size(); ++t) {
        const auto& rows = fSheets[t].Rows();
        out << (t == 0 ? "\n" : ",\n") << "    {\"caption\": " << JsonString(fSheets[t].Caption())
            << ", \"rows\": [";
        for (std::size_t r = 1; r < rows.size(); ++r) {
            out << (r == 1 ? "\n" : ",\n") << "      {";
            for (std::size_t c = 0; c < rows[r].size(); ++c) {
                out << (c == 0 ? "" : ", ") << JsonString(rows[0][c]) << ": "
                    << JsonString(rows[r][c]);
            }
            out << '}';
        }
        out << "\n    ]}";
    }
    out << "\n  ],\n  \"statistics\": {\"requests\": " << statistics.Requests
        << ", \"responses\": " << statistics.Responses
        << ", \"timeouts\": " << statistics.NoResponses
        << ", \"unmatched\": " << statistics.Unmatched << ", \"invalid\": " << statistics.Invalid
        << ", \"exceptions\": " << statistics.Exceptions
        << ", \"maxConsecutiveErrors\": " << statistics.MaxConsecErrors
        << ", \"lastRequestMs\": " << EpochMs(statistics.LastRequestTime)
        << ", \"lastResponseMs\": " << EpochMs(statistics.LastResponseTime) << "}";
    if (!checksJson.empty()) {
        out << ",\n  \"checks\": " << checksJson;
    }
    out << "\n}\n";
}

std::vector<std::string> PollReport::WriteCsvFiles(const std::string& folder) const {
    std::filesystem::create_directories(folder);
    const std::string& serial = fSheets.front().Rows().at(1).at(kColumnValue);
    std::vector<std::string> paths;
    for (const RegisterSheet& sheet : fSheets) {
        const std::filesystem::path path =
            std::filesystem::path(folder) /
            (RegisterSheet::DefaultExportName(serial, sheet.Caption()) + ".csv");
        WriteFileWhole(path.string(), sheet.Csv());
        paths.push_back(path.string());
    }
    return paths;
}

void PollReport::WriteStatistics(std::ostream& out, const CommStatisticsRecord& statistics) {
    out << "Requests: " << statistics.Requests << ", responses: " << statistics.Responses
        << ", timeout responses: " << statistics.NoResponses
        << ", unmatched: " << statistics.Unmatched << ", invalid: " << statistics.Invalid
        << ", exceptions: " << statistics.Exceptions
        << ", max consec errors: " << statistics.MaxConsecErrors << '\n';
}

} // namespace kalvo::poll
