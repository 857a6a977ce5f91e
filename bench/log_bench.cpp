// The window's log: appending a line to a full log (101 lines) of a shown window, with the
// layout and paint it causes, as a Run at the shortest interval does a few times a read.
#include "app/main_form.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

void AppendLogLine(benchmark::State& state) {
    QTemporaryDir folder;
    kalvo::MainFormEnvironment environment;
    environment.ConfigPath = folder.filePath("kalvo-client.ini");
    environment.ListSerialPorts = [] { return QStringList(); };
    kalvo::TmainForm form(environment);
    form.resize(947, 660);
    form.show();
    for (int line = 0; line < 101; ++line) {
        form.AppendLog("Modbus/TCP reading 121 registers ...");
    }
    QApplication::processEvents();
    int line = 0;
    for (auto _ : state) {
        form.AppendLog(++line % 2 == 0 ? "Modbus/TCP reading 121 registers ..."
                                       : "Successfully read 121 registers - pause 200 msec");
        QApplication::processEvents();
    }
}
BENCHMARK(AppendLogLine)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
