// Serial engine timing on a pseudo-terminal: how long after the last reply byte a transaction
// completes (the frame-end gap), and the CPU the process uses while a request waits on a
// silent line.
#include "modbus_serial/frame_codec.h"
#include "modbus_serial/modbus_connection.h"
#include "paced_line.h"
#include "pty_peer.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <modbus.h>
#include <sys/resource.h>

namespace {

using kalvo::test::PtyPeer;

class CountingClient : public kalvo::TransactionClient {
public:
    std::uint8_t ServerAddress() const override { return 1; }
    void DoneTransaction(kalvo::TModbusTransaction&) override { ++Done; }
    int Done = 0;
};

void Enqueue(kalvo::TModbusConnection& connection, CountingClient& client) {
    auto transaction = std::make_unique<kalvo::TModbusTransaction>(256);
    kalvo::TModbusBuffer& query = transaction->QueryBuffer();
    query.PutByte(1);
    query.PutByte(3);
    query.PutWordHiLo(0);
    query.PutWordHiLo(121);
    connection.EmitErrorCheck(query);
    transaction->Info.Address = 1;
    connection.EnqueueTransaction(std::move(transaction), &client);
}

// Runs one request and pumps the queue until its completion.
void RoundTrip(kalvo::TModbusConnection& connection, kalvo::ManualMessageQueue& queue,
               CountingClient& client) {
    const int before = client.Done;
    Enqueue(connection, client);
    while (client.Done == before) {
        queue.WaitAndPump(std::chrono::milliseconds(100));
    }
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// 121 registers answered at once: the completion comes one silent interval after the reply.
void ReplyToCompletion(benchmark::State& state) {
    std::vector<std::uint8_t> reply = {1, 3, 242};
    reply.resize(3 + 242, 0x11);
    const PtyPeer::Bytes framed = PtyPeer::WithCrc(reply);
    PtyPeer peer(
        [&framed](const PtyPeer::Bytes&) { return std::vector<PtyPeer::Chunk>{{framed}}; });
    kalvo::ManualMessageQueue queue;
    CountingClient client;
    kalvo::TModbusConnection connection(queue);
    connection.SetPort(peer.Path());
    connection.SetBaudRate(kalvo::br9600);
    connection.SetParity(kalvo::psNone);
    connection.RegisterClient(&client);
    connection.Open();
    for (auto _ : state) {
        RoundTrip(connection, queue, client);
    }
    state.counters["silent_interval_ms"] = connection.RealSilentInterval();
}
BENCHMARK(ReplyToCompletion)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

// The same transaction with libmodbus's RTU master on the same kind of pair: it knows the
// reply's length from the request and stops reading there, without a silent interval.
void LibmodbusReplyToCompletion(benchmark::State& state) {
    std::vector<std::uint8_t> reply = {1, 3, 242};
    reply.resize(3 + 242, 0x11);
    const PtyPeer::Bytes framed = PtyPeer::WithCrc(reply);
    PtyPeer peer(
        [&framed](const PtyPeer::Bytes&) { return std::vector<PtyPeer::Chunk>{{framed}}; });
    modbus_t* context = modbus_new_rtu(peer.Path().c_str(), 9600, 'N', 8, 1);
    modbus_set_slave(context, 1);
    if (modbus_connect(context) != 0) {
        state.SkipWithError("libmodbus cannot open the pseudo-terminal");
    }
    std::uint16_t values[121];
    for (auto _ : state) {
        if (modbus_read_registers(context, 0, 121, values) != 121) {
            state.SkipWithError("libmodbus read failed");
        }
    }
    modbus_close(context);
    modbus_free(context);
}
BENCHMARK(LibmodbusReplyToCompletion)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

// A read cycle of 121 registers through a line paced at the benchmark's baud rate: the
// request's 8 and the reply's 247 bytes at their line time are the bound, the test peer adds
// its own 5 ms frame-end gap.
PtyPeer::Bytes BlockAReply() {
    std::vector<std::uint8_t> reply = {1, 3, 242};
    reply.resize(3 + 242, 0x11);
    return PtyPeer::WithCrc(reply);
}

void ReportLine(benchmark::State& state, const kalvo::test::PacedLine& line,
                std::chrono::steady_clock::duration elapsed) {
    const double lineMs = static_cast<double>((8 + 247) * line.ByteTime().count()) / 1e6;
    const double cycleMs = std::chrono::duration<double, std::milli>(elapsed).count() /
                           static_cast<double>(state.iterations());
    state.counters["line_ms"] = lineMs;
    state.counters["cycle_per_line"] = cycleMs / lineMs;
}

kalvo::TBaudRate BaudRate(std::int64_t baud) {
    return baud == 19200 ? kalvo::br19200 : kalvo::br9600;
}

// The test peer answering block A, behind a line paced at the benchmark's baud rate.
struct PacedPeer {
    explicit PacedPeer(std::int64_t baud)
        : Reply(BlockAReply()),
          Peer([this](const PtyPeer::Bytes&) { return std::vector<PtyPeer::Chunk>{{Reply}}; }),
          Line(Peer.Path(), Settings(baud)) {}
    static kalvo::test::PacedLine::Settings Settings(std::int64_t baud) {
        kalvo::test::PacedLine::Settings settings;
        settings.Baud = static_cast<int>(baud);
        return settings;
    }

    PtyPeer::Bytes Reply;
    PtyPeer Peer;
    kalvo::test::PacedLine Line;
};

void PacedReadCycle(benchmark::State& state) {
    PacedPeer paced(state.range(0));
    const kalvo::test::PacedLine& line = paced.Line;
    kalvo::ManualMessageQueue queue;
    CountingClient client;
    kalvo::TModbusConnection connection(queue);
    connection.SetPort(line.NearPath());
    connection.SetBaudRate(BaudRate(state.range(0)));
    connection.SetParity(kalvo::psNone);
    connection.RegisterClient(&client);
    connection.Open();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        RoundTrip(connection, queue, client);
    }
    ReportLine(state, line, std::chrono::steady_clock::now() - start);
}
BENCHMARK(PacedReadCycle)
    ->Arg(9600)
    ->Arg(19200)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);

void LibmodbusPacedReadCycle(benchmark::State& state) {
    PacedPeer paced(state.range(0));
    const kalvo::test::PacedLine& line = paced.Line;
    modbus_t* context =
        modbus_new_rtu(line.NearPath().c_str(), static_cast<int>(state.range(0)), 'N', 8, 1);
    modbus_set_slave(context, 1);
    if (modbus_connect(context) != 0) {
        state.SkipWithError("libmodbus cannot open the paced line");
    }
    std::uint16_t values[121];
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (modbus_read_registers(context, 0, 121, values) != 121) {
            state.SkipWithError("libmodbus read failed");
        }
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    modbus_close(context);
    modbus_free(context);
    ReportLine(state, line, elapsed);
}
BENCHMARK(LibmodbusPacedReadCycle)
    ->Arg(9600)
    ->Arg(19200)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);

void WaitOnSilentLine(benchmark::State& state) {
    PtyPeer peer([](const PtyPeer::Bytes&) { return std::vector<PtyPeer::Chunk>{}; });
    kalvo::ManualMessageQueue queue;
    CountingClient client;
    kalvo::TModbusConnection connection(queue);
    connection.SetPort(peer.Path());
    connection.SetReceiveTimeout(2000);
    connection.RegisterClient(&client);
    connection.Open();
    double cpu = 0;
    for (auto _ : state) {
        const double before = CpuSeconds();
        RoundTrip(connection, queue, client);
        cpu += CpuSeconds() - before;
    }
    state.counters["cpu_ms_per_2s_wait"] = 1000.0 * cpu / static_cast<double>(state.iterations());
}
BENCHMARK(WaitOnSilentLine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

} // namespace
