// Modbus/TCP reads on loopback: our client against libmodbus on the same server, and the CPU
// a read costs while it waits for a server that never answers.
#include "modbus_tcp/id_modbus_client.h"
#include "scripted_modbus_server.h"

#include <array>
#include <benchmark/benchmark.h>
#include <ctime>
#include <modbus.h>
#include <numeric>

namespace {

using kalvo::TIdModBusClient;
using kalvo::test::ScriptedModbusServer;

constexpr int kReadsPerIteration = 1000;

const std::array<std::uint16_t, 251>& Image() {
    static const std::array<std::uint16_t, 251> image = [] {
        std::array<std::uint16_t, 251> words{};
        std::iota(words.begin(), words.end(), std::uint16_t{1});
        return words;
    }();
    return image;
}

void KalvoRead121(benchmark::State& state) {
    ScriptedModbusServer server(ScriptedModbusServer::Serving(Image()));
    TIdModBusClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.SetAutoConnect(false);
    client.Connect();
    std::array<std::uint16_t, 121> values{};
    for (auto _ : state) {
        for (int i = 0; i < kReadsPerIteration; ++i) {
            if (!client.ReadHoldingRegisters(1, 121, values)) {
                state.SkipWithError("read failed");
            }
        }
    }
}
BENCHMARK(KalvoRead121)->Unit(benchmark::kMillisecond)->UseRealTime();

void LibmodbusRead121(benchmark::State& state) {
    ScriptedModbusServer server(ScriptedModbusServer::Serving(Image()));
    modbus_t* context = modbus_new_tcp("127.0.0.1", server.Port());
    modbus_set_slave(context, 255);
    if (modbus_connect(context) != 0) {
        state.SkipWithError("libmodbus cannot connect");
    }
    std::array<std::uint16_t, 121> values{};
    for (auto _ : state) {
        for (int i = 0; i < kReadsPerIteration; ++i) {
            if (modbus_read_registers(context, 0, 121, values.data()) != 121) {
                state.SkipWithError("read failed");
            }
        }
    }
    modbus_close(context);
    modbus_free(context);
}
BENCHMARK(LibmodbusRead121)->Unit(benchmark::kMillisecond)->UseRealTime();

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void WaitOnSilentServer(benchmark::State& state) {
    ScriptedModbusServer server([](const ScriptedModbusServer::Bytes&) {
        return std::vector<ScriptedModbusServer::Segment>{};
    });
    TIdModBusClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.SetAutoConnect(false);
    client.SetTimeOut(2000);
    client.Connect();
    std::array<std::uint16_t, 121> values{};
    double cpu = 0;
    for (auto _ : state) {
        const double before = ThreadCpuSeconds();
        benchmark::DoNotOptimize(client.ReadHoldingRegisters(1, 121, values));
        cpu += ThreadCpuSeconds() - before;
    }
    state.counters["cpu_percent_of_wait"] =
        100.0 * cpu / (2.0 * static_cast<double>(state.iterations()));
}
BENCHMARK(WaitOnSilentServer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace
