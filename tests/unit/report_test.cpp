#include "checks/module_checks.h"
#include "registers/markup_text.h"
#include "registers/register_map.h"
#include "report/commissioning_report.h"
#include "report/phasor_picture.h"
#include "report/run_journal.h"
#include "report/sha256.h"
#include "report/trend_picture.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>

namespace kalvo {
namespace {

constexpr double kStart = 1'796'904'000; // 2026-12-10 12:00:00 UTC
constexpr double kGap = std::numeric_limits<double>::quiet_NaN();

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// FIPS 180-4 examples, and lengths on both sides of where the length field needs a second
// block.
TEST(Sha256, KnownDigests) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(1'000'000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [message, digest] : cases) {
        EXPECT_EQ(Sha256::Hex(message), digest) << message.size() << " bytes";
    }
}

ReportData SampleData() {
    ReportData data;
    data.Image.Fill();
    data.Image.Put(Quantity::SerialNumber, 20261210);
    data.Image.Put(Quantity::VoltageL1, 230.5);
    data.AnyBlockRead = true;
    data.Connection = "Modbus/TCP 10.0.0.7:502";
    data.Started = kStart;
    data.Ended = kStart + 60;
    auto check = [](CheckId id, Verdict verdict, const char* finding) {
        return CheckResult::Of(id).Conclude(verdict, finding);
    };
    data.Checks = {check(CheckId::Clock, Verdict::Passed, ""),
                   check(CheckId::Voltages, Verdict::Warning, "L1 high"),
                   check(CheckId::PhaseSequence, Verdict::Failed, "phase sequence <reversed>"),
                   check(CheckId::ClockRuns, Verdict::Waiting, "needs a longer run")};
    data.Statistics.Requests = 7;
    data.Statistics.Responses = 6;
    data.Statistics.NoResponses = 1;
    data.Failures = {{kStart + 30, "Block B: Read timeout"}};
    return data;
}

// The first lines say what failed and why; the table puts failures, then warnings, first;
// the footer's digest is that of the data section; nothing is fetched and nothing runs.
TEST(CommissioningReport, LeadsWithWhatFailedAndSealsItsData) {
    const std::string html = CommissioningReport::Html(SampleData(), kStart + 90);
    const std::size_t findings = html.find("<ul class=\"findings\">");
    ASSERT_NE(findings, std::string::npos);
    EXPECT_LT(findings, html.find("Module serial number"));
    EXPECT_NE(html.find("Phase sequence: phase sequence &lt;reversed&gt;</li>"), std::string::npos);
    EXPECT_EQ(html.find("<reversed>"), std::string::npos);
    const std::size_t table = html.find("<table class=\"checks\">");
    EXPECT_LT(html.find("<td>Phase sequence</td>", table), html.find("<td>Voltages</td>", table));
    EXPECT_LT(html.find("<td>Voltages</td>", table), html.find("<td>Clock</td>", table));
    EXPECT_LT(html.find("<td>Clock</td>", table), html.find("<td>Clock runs</td>", table));
    EXPECT_NE(html.find("4 checks: 1 passed, 1 warning, 1 failed, 1 waiting"), std::string::npos);
    EXPECT_NE(html.find("<td>20261210</td>"), std::string::npos);
    EXPECT_NE(html.find("<td>Time-outs</td><td>1</td>"), std::string::npos);
    EXPECT_NE(html.find("Block B: Read timeout"), std::string::npos);
    const std::string_view data = CommissioningReport::DataSection(html);
    ASSERT_TRUE(data.starts_with("<main") && data.ends_with("</main>"));
    EXPECT_NE(html.find("<code>" + Sha256::Hex(data) + "</code>"), std::string::npos);
    for (const char* outside : {"http", "src=", "<script", "url(", "@import", "<link"}) {
        EXPECT_EQ(html.find(outside), std::string::npos) << outside;
    }
    EXPECT_EQ(Count(html, "<section class=\"page\">"), 4U);
}

TEST(CommissioningReport, BeforeAnyReadItSaysSo) {
    ReportData data;
    const std::string html = CommissioningReport::Html(data, kStart);
    EXPECT_NE(html.find("<td>Run</td><td>none</td>"), std::string::npos);
    EXPECT_NE(html.find("<p class=\"summary\">No checks</p>"), std::string::npos);
    EXPECT_EQ(CommissioningReport::SerialText(data), "module");
    EXPECT_TRUE(
        CommissioningReport::FileName(data, kStart).starts_with("KALVO_module_report_2026"));
}

// A failed read breaks the line; a lone reading between failures is a dot; a single reading
// sits in the middle; a quantity never read says so.
TEST(TrendPicture, BreaksWhereReadsFailed) {
    TrendSeries series;
    for (const double value : {1.0, 2.0, 3.0, kGap, 4.0, kGap, 5.0, 6.0}) {
        series.Append(kStart + static_cast<double>(series.Size()), value);
    }
    const std::string svg = TrendPicture::Svg(series, kStart, kStart + 7, "V", ".");
    EXPECT_EQ(Count(svg, "<polyline"), 2U);
    EXPECT_EQ(Count(svg, "<circle"), 1U);

    TrendSeries single;
    single.Append(kStart, 230);
    const std::string one = TrendPicture::Svg(single, kStart, kStart, "V", ".");
    EXPECT_NE(one.find("<circle cx=\"390.0\""), std::string::npos);
    EXPECT_NE(one.find(">230</text>"), std::string::npos);

    TrendSeries unread;
    unread.Append(kStart, kGap);
    EXPECT_NE(TrendPicture::Svg(unread, kStart, kStart, "V", ".").find(">not read<"),
              std::string::npos);
}

// The tip of each arrow, by the diagram's rules: 0° up, angles clockwise, each circle scaled
// to its largest phasor, currents on the inner circle.
TEST(PhasorPicture, ArrowsPointAsTheDiagramDraws) {
    PhasorSet set;
    set.Phases[0] = {230, 0, 10, std::numbers::pi / 2};
    set.Phases[1] = {230, 2 * std::numbers::pi / 3, 5, 0};
    set.Phases[2] = {115, 4 * std::numbers::pi / 3, 0, 0};
    const std::string svg = PhasorPicture::Svg(set);
    // Each head's first point is its tip.
    std::vector<std::pair<double, double>> tips;
    for (std::size_t at = svg.find("<polygon"); at != std::string::npos;
         at = svg.find("<polygon", at + 1)) {
        const std::size_t x = svg.find("points=\"", at) + 8;
        const std::size_t comma = svg.find(',', x);
        tips.emplace_back(std::stod(svg.substr(x, comma - x)), std::stod(svg.substr(comma + 1)));
    }
    // U1, I1, U2, I2, U3 (no current on L3).
    ASSERT_EQ(tips.size(), 5U);
    const double c = PhasorPicture::kSize / 2.0;
    const double r = c - PhasorPicture::kSize / PhasorSet::kBorderDivisor;
    const std::pair<double, double> expected[] = {
        {c, c - r},
        {c + 0.8 * r, c},
        {c + r * std::sin(2 * std::numbers::pi / 3), c - r * std::cos(2 * std::numbers::pi / 3)},
        {c + 0.4 * r * std::sin(2 * std::numbers::pi / 3),
         c - 0.4 * r * std::cos(2 * std::numbers::pi / 3)},
        {c + 0.5 * r * std::sin(4 * std::numbers::pi / 3),
         c - 0.5 * r * std::cos(4 * std::numbers::pi / 3)}};
    for (std::size_t k = 0; k < tips.size(); ++k) {
        EXPECT_NEAR(tips[k].first, expected[k].first, 0.06) << k;
        EXPECT_NEAR(tips[k].second, expected[k].second, 0.06) << k;
    }
}

// The journal keeps the clocks of the first read, a failure with the log line that explains
// it (up to its limit), and the followed quantities with a break where a read failed.
TEST(RunJournal, KeepsWhatTheReportNeeds) {
    RunJournal journal;
    journal.Start(kStart, {Quantity::Frequency, Quantity::VoltageL1});
    ModbusRegisters image;
    image.Fill();
    image.Put(Quantity::VoltageL1, 231);
    image.Put(Quantity::Frequency, 50);
    journal.LogLine("Modbus/TCP reading 121 registers ...");
    journal.BlockRead(RegisterOf(Quantity::VoltageL1).Block, kStart + 1, image);
    journal.LogLine("Read timeout");
    journal.ReadFailed(RegisterOf(Quantity::VoltageL1).Block, kStart + 2);
    journal.BlockRead(RegisterOf(Quantity::VoltageL1).Block, kStart + 3, image);
    for (std::size_t k = 1; k < RunJournal::kMostFailures + 5; ++k) {
        journal.ReadFailed(RegisterBlock::B, kStart + 4);
    }
    journal.End(kStart + 5);
    ReportData data;
    journal.Fill(data);
    EXPECT_TRUE(data.AnyBlockRead);
    EXPECT_EQ(data.ModuleClock, "no valid date and time");
    EXPECT_EQ(data.Started, kStart);
    EXPECT_EQ(data.Ended, kStart + 5);
    ASSERT_EQ(data.Failures.size(), RunJournal::kMostFailures + 1);
    const char block = SpanOf(RegisterOf(Quantity::VoltageL1).Block).Letter;
    EXPECT_EQ(data.Failures[0].Text, std::string("Block ") + block + ": Read timeout");
    EXPECT_EQ(data.Failures.back().Text, "5 later failures are not listed");
    ASSERT_EQ(data.Trends.size(), 2U);
    EXPECT_EQ(data.Trends[0].Name, "14.7.0 Frequency");
    EXPECT_EQ(data.Trends[1].Name, "32.7.0 L1 voltage");
    const TrendSeries& volts = data.Trends[1].Series;
    ASSERT_GE(volts.Size(), 3U);
    EXPECT_EQ(volts.ValueAt(0), 231);
    EXPECT_TRUE(std::isnan(volts.ValueAt(1)));
    EXPECT_EQ(volts.ValueAt(2), 231);
}

TEST(MarkupText, EscapesMarkup) {
    EXPECT_EQ(MarkupText(R"(<a href="x">'&'</a>)"),
              "&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
}

} // namespace
} // namespace kalvo
