#include "report/commissioning_report.h"

#include "checks/check_text.h"
#include "checks/verdict_counts.h"
#include "registers/markup_text.h"
#include "registers/register_map.h"
#include "registers/register_sheet.h"
#include "registers/value_text.h"
#include "report/phasor_picture.h"
#include "report/sha256.h"
#include "report/trend_picture.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <sstream>

namespace kalvo {

namespace {

constexpr std::string_view kStyle = R"(
body { font-family: "DejaVu Sans", Arial, sans-serif; font-size: 10pt; color: #111;
       max-width: 186mm; margin: 1em auto; }
h1 { font-size: 16pt; margin: 0 0 4pt; }
h2 { font-size: 13pt; margin: 14pt 0 4pt; break-after: avoid; }
h3 { font-size: 10pt; margin: 8pt 0 2pt; break-after: avoid; }
table { border-collapse: collapse; margin: 2pt 0 6pt; }
table.checks, table.registers { width: 100%; }
.checks { font-size: 9pt; }
th, td { border: 1px solid #bbb; padding: 1pt 4pt; text-align: left; vertical-align: top; }
th { background: #eee; }
thead { display: table-header-group; }
tr, figure { break-inside: avoid; }
figure { margin: 0 0 6pt; }
svg { max-width: 100%; height: auto; }
svg text { font-family: "DejaVu Sans", Arial, sans-serif; font-size: 11px; }
.summary { font-size: 12pt; font-weight: bold; margin: 4pt 0; }
.findings li { margin: 1pt 0; }
.failed { background: #f8d0d0; }
.warning { background: #fbe8b0; }
.passed { background: #d8f0d8; }
.registers { font-size: 7.5pt; }
.registers td, .registers th { padding: 0 3pt; }
.page { break-before: page; }
footer { margin-top: 12pt; font-size: 8pt; color: #444; overflow-wrap: anywhere; }
@page { size: A4; margin: 14mm 12mm; }
@media print { body { margin: 0; max-width: none; } }
)";

std::string Time(double seconds) {
    return CheckText::LocalTime(std::floor(seconds));
}

std::string Cell(std::string_view tag, std::string_view text, std::string_view cls = {}) {
    std::string cell = "<" + std::string(tag);
    if (!cls.empty()) {
        cell += " class=\"" + std::string(cls) + "\"";
    }
    return cell + ">" + MarkupText(text) + "</" + std::string(tag) + ">";
}

std::string Row(std::initializer_list<std::string_view> cells, std::string_view tag = "td") {
    std::string row = "<tr>";
    for (const std::string_view cell : cells) {
        row += Cell(tag, cell);
    }
    return row + "</tr>\n";
}

int Rank(Verdict verdict) {
    switch (verdict) {
    case Verdict::Failed:
        return 0;
    case Verdict::Warning:
        return 1;
    case Verdict::Passed:
        return 2;
    case Verdict::Waiting:
        return 3;
    case Verdict::NotApplicable:
        return 4;
    }
    return 5;
}

std::vector<CheckResult> FailuresFirst(std::vector<CheckResult> checks) {
    std::stable_sort(checks.begin(), checks.end(), [](const CheckResult& a, const CheckResult& b) {
        return Rank(a.Outcome) < Rank(b.Outcome);
    });
    return checks;
}

std::string ValueText(const ReportData& data, Quantity quantity) {
    if (!data.AnyBlockRead) {
        return "";
    }
    const RegisterDef& def = RegisterOf(quantity);
    return RegisterValueText(data.Image, def.Decoder, def.Index, data.DecimalSeparator);
}

// What failed and why, before anything else.
std::string Findings(const std::vector<CheckResult>& checks) {
    std::string list;
    for (const CheckResult& check : checks) {
        if (check.Outcome == Verdict::Failed || check.Outcome == Verdict::Warning) {
            list += "<li><span class=\"" + std::string(VerdictText(check.Outcome)) + "\">" +
                    MarkupText(VerdictText(check.Outcome)) + "</span> " +
                    MarkupText(check.Title()) +
                    (check.Finding.empty() ? "" : ": " + MarkupText(check.Finding)) + "</li>\n";
        }
    }
    return list.empty() ? "" : "<ul class=\"findings\">\n" + list + "</ul>\n";
}

std::string Header(const ReportData& data, const std::vector<CheckResult>& checks) {
    std::string html = "<h1>KALVO commissioning report</h1>\n<p class=\"summary\">" +
                       MarkupText(data.Checks.empty() ? std::string("No checks")
                                                      : VerdictCounts(data.Checks).Summary()) +
                       "</p>\n" + Findings(checks) + "<table class=\"facts\">\n";
    html += Row({"Module serial number", CommissioningReport::SerialText(data)});
    html += Row({"Module clock at the first read", data.ModuleClock});
    html += Row({"Computer clock at the first read", data.ComputerClock});
    html += Row({"Connection", data.Connection});
    html += Row({"Run", data.Started > 0 ? Time(data.Started) + " to " + Time(data.Ended)
                                         : std::string("none")});
    html += Row({"Client version", data.Version});
    html += Row({"Computer", data.Host});
    html += Row({"User", data.User});
    html += "</table>\n<h2>Settings</h2>\n<table class=\"settings\">\n";
    for (const auto& [name, value] : data.Settings) {
        html += Row({name, value});
    }
    return html + "</table>\n";
}

std::string Verdicts(const std::vector<CheckResult>& checks) {
    std::string html =
        "<section id=\"checks\">\n<h2>Checks</h2>\n<table class=\"checks\">\n"
        "<thead>" +
        Row({"Check", "Verdict", "Measured", "Expected", "Deviation", "Tolerance", "Finding"},
            "th") +
        "</thead>\n<tbody>\n";
    for (const CheckResult& check : checks) {
        const std::string verdict(VerdictText(check.Outcome));
        html += "<tr>" + Cell("td", std::string(check.Title())) + Cell("td", verdict, verdict) +
                Cell("td", check.Measured) + Cell("td", check.Expected) +
                Cell("td", check.Deviation) + Cell("td", check.Tolerance) +
                Cell("td", check.Finding) + "</tr>\n";
    }
    return html + "</tbody>\n</table>\n</section>\n";
}

std::string Phasors(const ReportData& data) {
    const PhasorSet set = PhasorSet::From(data.Image);
    std::string html = "<section id=\"phasors\" class=\"page\">\n<h2>Phasor diagram</h2>\n"
                       "<figure>" +
                       PhasorPicture::Svg(data.AnyBlockRead ? set : PhasorSet()) +
                       "</figure>\n<table class=\"phasors\">\n<thead>" +
                       Row({"Phase", "Voltage (V)", "Voltage angle (°)", "Current (A)",
                            "Current angle (°)", "cos φ"},
                           "th") +
                       "</thead>\n<tbody>\n";
    const Quantity voltages[] = {Quantity::VoltageL1, Quantity::VoltageL2, Quantity::VoltageL3};
    const Quantity currents[] = {Quantity::CurrentL1, Quantity::CurrentL2, Quantity::CurrentL3};
    const Quantity shifts[] = {Quantity::CurrentAngleL1, Quantity::CurrentAngleL2,
                               Quantity::CurrentAngleL3};
    const std::string voltageAngles[] = {data.AnyBlockRead ? "0" : "",
                                         ValueText(data, Quantity::VoltageAngleL2),
                                         ValueText(data, Quantity::VoltageAngleL3)};
    for (std::size_t j = 0; j < 3; ++j) {
        const std::string cosine =
            data.AnyBlockRead ? CheckText::Fixed(std::cos(set.Phases[j].Shift), 4) : "";
        html += Row({"L" + std::to_string(j + 1), ValueText(data, voltages[j]), voltageAngles[j],
                     ValueText(data, currents[j]), ValueText(data, shifts[j]), cosine});
    }
    html += "</tbody>\n</table>\n<table class=\"totals\">\n";
    html += Row({"Frequency (Hz)", ValueText(data, Quantity::Frequency)});
    html += Row({"Total active power (kW)", ValueText(data, Quantity::ActivePowerTotal)});
    return html + "</table>\n</section>\n";
}

// One picture per followed quantity, all over the same span: from the first reading of any to
// the last.
std::string Trends(const ReportData& data) {
    double from = 0;
    double to = 0;
    bool any = false;
    for (const ReportData::Trend& trend : data.Trends) {
        if (trend.Series.Size() > 0) {
            from = any ? std::min(from, trend.Series.FirstTime()) : trend.Series.FirstTime();
            to = any ? std::max(to, trend.Series.LastTime()) : trend.Series.LastTime();
            any = true;
        }
    }
    std::string html = "<section id=\"trends\" class=\"page\">\n<h2>Trends</h2>\n";
    if (!any) {
        return html + "<p>Nothing was read.</p>\n</section>\n";
    }
    for (const ReportData::Trend& trend : data.Trends) {
        html += "<figure>\n<h3>" + MarkupText(trend.Name) +
                (trend.Unit.empty() ? "" : " (" + MarkupText(trend.Unit) + ")") + "</h3>\n" +
                TrendPicture::Svg(trend.Series, from, to, trend.Unit, data.DecimalSeparator) +
                "</figure>\n";
    }
    return html + "</section>\n";
}

std::string Communication(const ReportData& data) {
    const CommStatisticsRecord& s = data.Statistics;
    std::string html = "<section id=\"communication\" class=\"page\">\n<h2>Communication</h2>\n"
                       "<table class=\"statistics\">\n";
    html += Row({"Requests", std::to_string(s.Requests)});
    html += Row({"Responses", std::to_string(s.Responses)});
    html += Row({"Time-outs", std::to_string(s.NoResponses)});
    html += Row({"Mismatched replies", std::to_string(s.Unmatched)});
    html += Row({"Exception replies", std::to_string(s.Exceptions)});
    html += Row({"Invalid replies", std::to_string(s.Invalid)});
    const auto seconds = [](CommStatisticsRecord::Time time) {
        return std::chrono::duration<double>(time.time_since_epoch()).count();
    };
    html += Row({"Longest error run", s.MaxConsecErrors == 0
                                          ? std::string("0")
                                          : std::to_string(s.MaxConsecErrors) + " (" +
                                                Time(seconds(s.MaxRunStart)) + " to " +
                                                Time(seconds(s.MaxRunEnd)) + ")"});
    html += "</table>\n<h3>Failed reads</h3>\n";
    if (data.Failures.empty()) {
        return html + "<p>None.</p>\n</section>\n";
    }
    html += "<table class=\"failures\">\n<thead>" + Row({"Time", "What happened"}, "th") +
            "</thead>\n<tbody>\n";
    for (const ReportData::Event& event : data.Failures) {
        html += Row({Time(event.Time), event.Text});
    }
    return html + "</tbody>\n</table>\n</section>\n";
}

// The four tables with the texts of the CSV export.
std::string Tables(const ReportData& data) {
    const std::vector<RegisterSheet> sheets =
        data.AnyBlockRead ? RegisterSheet::RenderAll(data.Image, data.DecimalSeparator)
                          : RegisterSheet::BlankAll();
    std::string html;
    for (const RegisterSheet& sheet : sheets) {
        html += "<section class=\"page\">\n<h2>" + MarkupText(sheet.Caption()) +
                "</h2>\n<table class=\"registers\">\n";
        const std::vector<RegisterSheet::Row>& rows = sheet.Rows();
        for (std::size_t r = 0; r < rows.size(); ++r) {
            html += r == 0 ? "<thead><tr>" : "<tr>";
            for (const std::string& cell : rows[r]) {
                html += Cell(r == 0 ? "th" : "td", cell);
            }
            html += r == 0 ? "</tr></thead>\n<tbody>\n" : "</tr>\n";
        }
        html += "</tbody>\n</table>\n</section>\n";
    }
    return html;
}

} // namespace

std::string CommissioningReport::Html(const ReportData& data, double createdAt) {
    const std::vector<CheckResult> checks = FailuresFirst(data.Checks);
    const std::string section = "<main id=\"data\">\n" + Header(data, checks) + Verdicts(checks) +
                                Phasors(data) + Trends(data) + Communication(data) + Tables(data) +
                                "</main>";
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>"
           "KALVO commissioning report " +
           MarkupText(SerialText(data)) + "</title>\n<style>" + std::string(kStyle) +
           "</style>\n</head>\n<body>\n" + section + "\n<footer>\n<p>Report created " +
           Time(createdAt) +
           ". SHA-256 of the data section (the bytes from &lt;main to &lt;/main&gt;): <code>" +
           Sha256::Hex(section) + "</code></p>\n</footer>\n</body>\n</html>\n";
}

std::string_view CommissioningReport::DataSection(std::string_view html) {
    const std::size_t begin = html.find("<main");
    const std::size_t end = html.find("</main>");
    if (begin == std::string_view::npos || end == std::string_view::npos || end < begin) {
        return {};
    }
    return html.substr(begin, end + 7 - begin);
}

std::string CommissioningReport::SerialText(const ReportData& data) {
    const std::string text = ValueText(data, Quantity::SerialNumber);
    return text.empty() || text.starts_with(kUnavailableText) ? "module" : text;
}

std::string CommissioningReport::FileName(const ReportData& data, double time) {
    const std::time_t seconds = static_cast<std::time_t>(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &local);
    return "KALVO_" + SerialText(data) + "_report_" + stamp;
}

} // namespace kalvo
