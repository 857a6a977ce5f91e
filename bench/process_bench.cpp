// Whole programs: kalvo-poll reading kalvo-sim over Modbus/TCP as fast as it can, against a
// libmodbus client doing the same reads of the same simulator in the same run.
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <modbus.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kReads = 2000;

// kalvo-sim on a free loopback port, for as long as the object lives.
class Simulator {
public:
    Simulator() {
        int banner[2] = {-1, -1};
        if (pipe(banner) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, banner[1], STDOUT_FILENO);
        const char* argv[] = {KALVO_SIM, "--listen",        "127.0.0.1:0",
                              "--fixed", KALVO_FIXED_IMAGE, nullptr};
        posix_spawn(&fPid, KALVO_SIM, &actions, nullptr, const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(banner[1]);
        char text[256] = {};
        FILE* output = fdopen(banner[0], "r");
        if (output != nullptr && std::fgets(text, sizeof text, output) != nullptr) {
            const std::string line = text;
            fPort = std::atoi(line.substr(line.rfind(':') + 1).c_str());
        }
        fOutput = output;
    }
    ~Simulator() {
        if (fPid > 0) {
            kill(fPid, SIGTERM);
            waitpid(fPid, nullptr, 0);
        }
        if (fOutput != nullptr) {
            std::fclose(fOutput);
        }
    }
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;
    int Port() const { return fPort; }

private:
    pid_t fPid = -1;
    FILE* fOutput = nullptr;
    int fPort = 0;
};

int RunProcess(const std::string& command) {
    return std::system(command.c_str());
}

// `options` after the reads; `redirect` where its output and its log go.
void KalvoPollProcess(benchmark::State& state, const std::string& options,
                      const std::string& redirect) {
    Simulator sim;
    const std::string command =
        std::string(KALVO_POLL) + " --tcp 127.0.0.1:" + std::to_string(sim.Port()) + " --run " +
        std::to_string(kReads) + " --interval 0 " + options + " " + redirect;
    for (auto _ : state) {
        if (RunProcess(command) != 0) {
            state.SkipWithError("kalvo-poll failed");
        }
    }
    state.counters["us_per_read"] = benchmark::Counter(
        kReads, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK_CAPTURE(KalvoPollProcess, log_discarded, "--format csv", ">/dev/null 2>&1")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10);
// A log read by another program, as a pipeline or a service manager takes it.
BENCHMARK_CAPTURE(KalvoPollProcess, log_to_a_pipe, "--format csv",
                  "2>&1 >/dev/null | cat >/dev/null")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10);
BENCHMARK_CAPTURE(KalvoPollProcess, recording_log_to_a_pipe,
                  "--record /tmp/kalvo_bench_recording.csv",
                  "2>&1 >/dev/null | cat >/dev/null; rm -f /tmp/kalvo_bench_recording.csv")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10);

// The same reads by a libmodbus client; with `path`, each read's registers are written as a
// row of numbers to that file through stdio, as a small C recorder would.
void LibmodbusSameReads(benchmark::State& state, const char* path) {
    Simulator sim;
    std::uint16_t values[125];
    for (auto _ : state) {
        modbus_t* context = modbus_new_tcp("127.0.0.1", sim.Port());
        if (modbus_connect(context) != 0) {
            state.SkipWithError("libmodbus cannot connect");
        }
        FILE* rows = path != nullptr ? std::fopen(path, "w") : nullptr;
        for (int read = 0; read < kReads; ++read) {
            const bool blockB = read % 2 == 1;
            const int count = blockB ? 124 : 121;
            if (modbus_read_registers(context, blockB ? 121 : 0, count, values) < 0) {
                state.SkipWithError("libmodbus read failed");
                break;
            }
            if (rows != nullptr) {
                std::fprintf(rows, "%ld", static_cast<long>(time(nullptr)));
                for (int i = 0; i < count; ++i) {
                    std::fprintf(rows, ",%u", values[i]);
                }
                std::fputs("\r\n", rows);
            }
        }
        if (rows != nullptr) {
            std::fclose(rows);
            std::remove(path);
        }
        modbus_close(context);
        modbus_free(context);
    }
    state.counters["us_per_read"] = benchmark::Counter(
        kReads, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK_CAPTURE(LibmodbusSameReads, no_output, nullptr)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10);
BENCHMARK_CAPTURE(LibmodbusSameReads, rows_to_a_file, "/tmp/kalvo_bench_libmodbus_rows.csv")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10);

} // namespace
