// A full paint of the phasor diagram at 930 x 500, against the shortest polling interval.
#include "phasor/polar_diagram.h"

#include <QApplication>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>

namespace {

constexpr double kThird = 2.0943951023931957;
constexpr double kShortestPollMs = 200.0;

void FullPaint(benchmark::State& state) {
    kalvo::ModbusRegisters registers;
    registers.PutLongWord(0, 12345678);
    QWidget panel;
    panel.resize(930, 500);
    auto* diagram = new kalvo::TPolarDiagram(&panel, registers);
    diagram->SetVoltage(kalvo::P_L1, "L1", "VL1", 230.1, 0, 1, Qt::SolidLine);
    diagram->SetVoltage(kalvo::P_L2, "L2", "VL2", 231.4, kThird, 1, Qt::SolidLine);
    diagram->SetVoltage(kalvo::P_L3, "L3", "VL3", 229.8, 2 * kThird, 1, Qt::SolidLine);
    diagram->SetCurrent(kalvo::P_L1, "L1", "CL1", 9.5, 0.4, 1, Qt::DotLine);
    diagram->SetCurrent(kalvo::P_L2, "L2", "CL2", 8.2, -0.3, 1, Qt::DotLine);
    diagram->SetCurrent(kalvo::P_L3, "L3", "CL3", 11.1, 0.6, 1, Qt::DotLine);
    diagram->SetFrequency(49.98);
    diagram->SetInstantPower(5.4);
    diagram->SetAvailableData(true, true, true, true, true, true);
    panel.show();
    QImage target(930, 500, QImage::Format_RGB32);
    double totalMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        diagram->render(&target);
        totalMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    }
    const double meanMs =
        totalMs / static_cast<double>(std::max<std::int64_t>(1, state.iterations()));
    state.counters["percent_of_200ms_poll"] = 100.0 * meanMs / kShortestPollMs;
}
BENCHMARK(FullPaint)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
