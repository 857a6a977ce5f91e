// kalvo-poll as a whole over Modbus RTU, against libmodbus doing the same in a process of its
// own: a Step through a line paced at 9600 baud, and the CPU used while a read waits on a
// silent line. The peers run in this process; only the child's time and CPU are counted.
#include "paced_line.h"
#include "pty_peer.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <fcntl.h>
#include <modbus.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using kalvo::test::PtyPeer;

// A module answering every read of holding registers with as many registers as asked.
PtyPeer::Handler Answering() {
    return [](const PtyPeer::Bytes& frame) {
        const int count = frame.size() > 5 ? frame[5] : 0;
        PtyPeer::Bytes reply = {frame[0], 3, static_cast<std::uint8_t>(2 * count)};
        reply.resize(3 + 2 * static_cast<std::size_t>(count), 0x11);
        return std::vector<PtyPeer::Chunk>{{PtyPeer::WithCrc(reply)}};
    };
}

struct ChildUsage {
    double WallMs = 0;
    double CpuMs = 0;
    int Status = -1;
};

ChildUsage Measure(pid_t child, std::chrono::steady_clock::time_point start) {
    ChildUsage usage;
    rusage resources{};
    wait4(child, &usage.Status, 0, &resources);
    usage.WallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    usage.CpuMs =
        1000.0 * static_cast<double>(resources.ru_utime.tv_sec + resources.ru_stime.tv_sec) +
        static_cast<double>(resources.ru_utime.tv_usec + resources.ru_stime.tv_usec) / 1000.0;
    return usage;
}

ChildUsage RunKalvoPoll(const std::string& device, const char* cycles) {
    const char* argv[] = {KALVO_POLL,   "--rtu", device.c_str(), "--baud", "9600", "--run", cycles,
                          "--interval", "0",     "--format",     "csv",    nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = -1;
    posix_spawn(&child, KALVO_POLL, &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    return Measure(child, start);
}

// The same reads by libmodbus in a child process; `timeoutS` is its reply time-out.
ChildUsage RunLibmodbus(const std::string& device, int reads, int timeoutS) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        modbus_t* context = modbus_new_rtu(device.c_str(), 9600, 'N', 8, 1);
        modbus_set_slave(context, 1);
        modbus_set_response_timeout(context, static_cast<std::uint32_t>(timeoutS), 0);
        int failed = modbus_connect(context) != 0 ? 1 : 0;
        std::uint16_t values[125];
        for (int read = 0; read < reads && failed == 0; ++read) {
            const bool blockB = read % 2 == 1;
            failed =
                modbus_read_registers(context, blockB ? 121 : 0, blockB ? 124 : 121, values) < 0;
        }
        modbus_close(context);
        modbus_free(context);
        _exit(failed);
    }
    return Measure(child, start);
}

void Report(benchmark::State& state, const ChildUsage& usage) {
    state.SetIterationTime(usage.WallMs / 1000.0);
    state.counters["cpu_ms"] = usage.CpuMs;
}

// A Step (both blocks) through the paced 9600 line, the process from start to exit.
void KalvoPollPacedStep(benchmark::State& state) {
    PtyPeer peer(Answering());
    kalvo::test::PacedLine line(peer.Path(), {});
    for (auto _ : state) {
        const ChildUsage usage = RunKalvoPoll(line.NearPath(), "2");
        if (usage.Status != 0) {
            state.SkipWithError("kalvo-poll failed");
        }
        Report(state, usage);
    }
}
BENCHMARK(KalvoPollPacedStep)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

void LibmodbusPacedStep(benchmark::State& state) {
    PtyPeer peer(Answering());
    kalvo::test::PacedLine line(peer.Path(), {});
    for (auto _ : state) {
        const ChildUsage usage = RunLibmodbus(line.NearPath(), 2, 1);
        if (usage.Status != 0) {
            state.SkipWithError("libmodbus failed");
        }
        Report(state, usage);
    }
}
BENCHMARK(LibmodbusPacedStep)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// Reads on a silent line, each waited out to its end (1 s for kalvo-poll's engine; libmodbus
// is given the same total as one time-out). The CPU of a second of waiting is the difference
// between the runs of 1 and 6 seconds, start-up costs aside.
void KalvoPollSilentWait(benchmark::State& state) {
    PtyPeer peer([](const PtyPeer::Bytes&) { return std::vector<PtyPeer::Chunk>{}; });
    const std::string reads = std::to_string(state.range(0));
    for (auto _ : state) {
        Report(state, RunKalvoPoll(peer.Path(), reads.c_str()));
    }
}
BENCHMARK(KalvoPollSilentWait)
    ->Arg(1)
    ->Arg(6)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

void LibmodbusSilentWait(benchmark::State& state) {
    PtyPeer peer([](const PtyPeer::Bytes&) { return std::vector<PtyPeer::Chunk>{}; });
    for (auto _ : state) {
        Report(state, RunLibmodbus(peer.Path(), 1, static_cast<int>(state.range(0))));
    }
}
BENCHMARK(LibmodbusSilentWait)
    ->Arg(1)
    ->Arg(6)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

} // namespace
