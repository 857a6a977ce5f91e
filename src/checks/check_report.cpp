#include "checks/check_report.h"

#include "checks/check_text.h"
#include "checks/verdict_counts.h"
#include "registers/csv_text.h"
#include "registers/json_text.h"
#include "registers/markup_text.h"

#include <algorithm>
#include <array>

namespace kalvo {

namespace {

constexpr std::size_t kColumns = 7;

std::array<std::string, kColumns> Cells(const CheckResult& r) {
    return {std::string(r.Title()),
            std::string(VerdictText(r.Outcome)),
            r.Measured,
            r.Expected,
            r.Deviation,
            r.Tolerance,
            r.Finding};
}

// Characters, not bytes: "°" and "φ" take one column.
std::size_t Width(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string Details(const CheckResult& r) {
    return "measured: " + r.Measured + "\nexpected: " + r.Expected + "\ndeviation: " + r.Deviation +
           "\ntolerance: " + r.Tolerance + "\n" + std::string(r.Meaning());
}

} // namespace

std::string CheckReport::Table(const std::vector<CheckResult>& results) {
    const std::array<std::string, kColumns> header = {
        "Check", "Verdict", "Measured", "Expected", "Deviation", "Tolerance", "Finding"};
    std::array<std::size_t, kColumns> widths{};
    for (std::size_t c = 0; c < kColumns; ++c) {
        widths[c] = Width(header[c]);
        for (const CheckResult& r : results) {
            widths[c] = std::max(widths[c], Width(Cells(r)[c]));
        }
    }
    auto line = [&widths](const std::array<std::string, kColumns>& cells) {
        std::string text;
        for (std::size_t c = 0; c < kColumns; ++c) {
            text += cells[c];
            if (c + 1 < kColumns) {
                text += std::string(widths[c] - Width(cells[c]) + 2, ' ');
            }
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        return text + "\n";
    };
    std::string text = line(header);
    for (const CheckResult& r : results) {
        text += line(Cells(r));
    }
    return text + VerdictCounts(results).Summary() + "\n";
}

std::string CheckReport::Csv(const std::vector<CheckResult>& results) {
    std::string text = CsvLine({"Check", "Verdict", "Measured", "Expected", "Deviation",
                                "Tolerance", "Finding", "Meaning"});
    for (const CheckResult& r : results) {
        const auto cells = Cells(r);
        std::vector<std::string> row(cells.begin(), cells.end());
        row.push_back(std::string(r.Meaning()));
        text += CsvLine(row);
    }
    return text;
}

std::string CheckReport::Json(const std::vector<CheckResult>& results) {
    std::string text = "[";
    for (std::size_t i = 0; i < results.size(); ++i) {
        const CheckResult& r = results[i];
        text += std::string(i > 0 ? "," : "") + "\n  {\"id\": " + JsonString(std::string(r.Key())) +
                ", \"check\": " + JsonString(std::string(r.Title())) +
                ", \"verdict\": " + JsonString(std::string(VerdictText(r.Outcome))) +
                ", \"measured\": " + JsonString(r.Measured) +
                ", \"expected\": " + JsonString(r.Expected) +
                ", \"deviation\": " + JsonString(r.Deviation) +
                ", \"tolerance\": " + JsonString(r.Tolerance) +
                ", \"finding\": " + JsonString(r.Finding) +
                ", \"meaning\": " + JsonString(std::string(r.Meaning())) + "}";
    }
    return text + "\n]\n";
}

std::string CheckReport::JUnit(const std::vector<CheckResult>& results, const std::string& suite,
                               double seconds) {
    const VerdictCounts counts(results);
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n";
    text += "  <testsuite name=\"" + MarkupText(suite) + "\" tests=\"" +
            std::to_string(counts.Total()) + "\" failures=\"" +
            std::to_string(counts[Verdict::Failed]) + "\" errors=\"0\" skipped=\"" +
            std::to_string(counts.Inconclusive()) + "\" time=\"" + CheckText::Fixed(seconds, 3) +
            "\">\n";
    for (const CheckResult& r : results) {
        text += "    <testcase classname=\"kalvo.checks\" name=\"" + MarkupText(r.Key()) +
                "\" time=\"0\">\n";
        const std::string message = MarkupText(std::string(VerdictText(r.Outcome)) +
                                               (r.Finding.empty() ? "" : ": " + r.Finding));
        if (r.Outcome == Verdict::Failed) {
            text += "      <failure message=\"" + message + "\" type=\"failed\">" +
                    MarkupText(Details(r)) + "</failure>\n";
        } else if (r.Outcome == Verdict::Waiting || r.Outcome == Verdict::NotApplicable) {
            text += "      <skipped message=\"" + message + "\"/>\n";
        }
        text += "      <system-out>" + message + "\n" + MarkupText(Details(r)) + "</system-out>\n";
        text += "    </testcase>\n";
    }
    return text + "  </testsuite>\n</testsuites>\n";
}

} // namespace kalvo
