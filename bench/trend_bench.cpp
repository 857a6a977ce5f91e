// The trend with a day of readings at the shortest interval: appending one reading, reducing
// a history to pixel columns afresh, and the redraw at 1280 x 600 with 8 lines of 432 000
// points against one with 1 000: of the same view (the columns kept), and after a new reading
// with the view following it (the newest column reduced again).
#include "trend/trend_chart.h"
#include "trend/trend_colours.h"
#include "trend/trend_columns.h"
#include "trend/trend_series.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <qcustomplot.h>
#include <vector>

namespace {

constexpr int kLines = 8;
constexpr double kIntervalSeconds = 0.2;

// Shape 0 looks the same at every length: three slow swings across the history and a little
// noise, as a voltage over a day. Shape 1 swings every ten minutes whatever the length: at a
// day's view every column shows its whole envelope, and painting that is most of the cost.
std::vector<kalvo::TrendSeries> History(int points, int shape = 0) {
    std::vector<kalvo::TrendSeries> lines(kLines);
    std::uint32_t noise = 12345;
    for (int line = 0; line < kLines; ++line) {
        for (int i = 0; i < points; ++i) {
            noise = noise * 1664525U + 1013904223U;
            const double value =
                shape == 0 ? std::sin(6 * M_PI * i / points + line) + 0.02 * (noise >> 24) / 255.0
                           : std::sin(i / 500.0 + line);
            lines[static_cast<std::size_t>(line)].Append(1.8e9 + kIntervalSeconds * i,
                                                         230 + line + value);
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

// A new zoom or width reduces the whole view again (the chart keeps its columns' storage).
void ReduceTheWholeView(benchmark::State& state) {
    std::vector<kalvo::TrendSeries> lines = History(static_cast<int>(state.range(0)));
    std::vector<kalvo::TrendColumns> columns(lines.size());
    int width = 1200;
    for (auto _ : state) {
        width = width == 1200 ? 1199 : 1200;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            benchmark::DoNotOptimize(
                columns[i]
                    .Points(lines[i], lines[i].FirstTime(), lines[i].LastTime(), width)
                    .data());
        }
    }
}
BENCHMARK(ReduceTheWholeView)->Arg(1000)->Arg(432000)->Unit(benchmark::kMillisecond);

struct Chart {
    explicit Chart(std::vector<kalvo::TrendSeries>& lines) {
        chart.resize(1280, 600);
        std::vector<kalvo::TrendChart::Line> shown;
        for (int line = 0; line < kLines; ++line) {
            shown.push_back({&lines[static_cast<std::size_t>(line)],
                             QString("line %1").arg(line),
                             line < 4 ? "V" : "A",
                             kalvo::TrendColours::SlotColour(line),
                             {}});
        }
        chart.SetLines(shown);
        chart.SetRange(lines[0].FirstTime(), lines[0].LastTime());
    }
    void Draw() {
        chart.Redraw();
        QCPPainter painter(&target);
        chart.Plot()->toPainter(&painter, 1280, 600);
    }
    kalvo::TrendChart chart;
    QPixmap target{1280, 600};
};

double Megabytes(const std::vector<kalvo::TrendSeries>& lines) {
    std::size_t bytes = 0;
    for (const kalvo::TrendSeries& line : lines) {
        bytes += line.Bytes();
    }
    return static_cast<double>(bytes) / 1e6;
}

void FullRedraw(benchmark::State& state) {
    std::vector<kalvo::TrendSeries> lines =
        History(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    Chart chart(lines);
    for (auto _ : state) {
        chart.Draw();
    }
    state.counters["history_MB"] = Megabytes(lines);
}
// Arguments: points per line, shape.
BENCHMARK(FullRedraw)->ArgsProduct({{1000, 100000, 432000}, {0, 1}})->Unit(benchmark::kMillisecond);

void RedrawAfterAReading(benchmark::State& state) {
    std::vector<kalvo::TrendSeries> lines =
        History(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    Chart chart(lines);
    const double span = lines[0].LastTime() - lines[0].FirstTime();
    double time = lines[0].LastTime();
    for (auto _ : state) {
        time += kIntervalSeconds;
        for (kalvo::TrendSeries& line : lines) {
            line.Append(time, 230.5);
        }
        chart.chart.SetRange(time - span, time);
        chart.Draw();
    }
}
BENCHMARK(RedrawAfterAReading)
    ->ArgsProduct({{1000, 100000, 432000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
