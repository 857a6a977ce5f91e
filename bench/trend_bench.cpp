// The trend with a day of readings at the shortest interval: appending one reading, and a
// full redraw at 1280 x 600 with 8 lines of 432 000 points against one with 1 000.
#include "recording/trend_series.h"
#include "trend/trend_chart.h"
#include "trend/trend_colours.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <qcustomplot.h>
#include <vector>

namespace {

constexpr int kLines = 8;
constexpr double kIntervalSeconds = 0.2;

std::vector<kalvo::TrendSeries> History(int points) {
    std::vector<kalvo::TrendSeries> lines(kLines);
    for (int line = 0; line < kLines; ++line) {
        for (int i = 0; i < points; ++i) {
            lines[static_cast<std::size_t>(line)].Append(1.8e9 + kIntervalSeconds * i,
                                                         230 + line + std::sin(i / 500.0 + line));
        }
    }
    return lines;
}

void AppendOneReading(benchmark::State& state) {
    std::vector<kalvo::TrendSeries> lines = History(1000);
    double time = 1.9e9;
    for (auto _ : state) {
        time += kIntervalSeconds;
        for (kalvo::TrendSeries& line : lines) {
            line.Append(time, 230.5);
        }
    }
}
BENCHMARK(AppendOneReading);

void DecimateOnly(benchmark::State& state) {
    std::vector<kalvo::TrendSeries> lines = History(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        for (const kalvo::TrendSeries& line : lines) {
            benchmark::DoNotOptimize(line.Decimated(line.FirstTime(), line.LastTime(), 1200));
        }
    }
}
BENCHMARK(DecimateOnly)->Arg(1000)->Arg(432000)->Unit(benchmark::kMillisecond);

void FullRedraw(benchmark::State& state) {
    std::vector<kalvo::TrendSeries> lines = History(static_cast<int>(state.range(0)));
    kalvo::TrendChart chart;
    chart.resize(1280, 600);
    std::vector<kalvo::TrendChart::Line> shown;
    std::size_t bytes = 0;
    for (int line = 0; line < kLines; ++line) {
        shown.push_back({&lines[static_cast<std::size_t>(line)],
                         QString("line %1").arg(line),
                         line < 4 ? "V" : "A",
                         kalvo::TrendColours::SlotColour(line),
                         {}});
        bytes += lines[static_cast<std::size_t>(line)].Bytes();
    }
    chart.SetLines(shown);
    chart.SetRange(lines[0].FirstTime(), lines[0].LastTime());
    QPixmap target(1280, 600);
    for (auto _ : state) {
        chart.Redraw();
        QCPPainter painter(&target);
        chart.Plot()->toPainter(&painter, 1280, 600);
    }
    state.counters["history_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(FullRedraw)->Arg(1000)->Arg(100000)->Arg(432000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
