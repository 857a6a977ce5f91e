#include "acquisition/modbus_tcp_thread.h"
#include "scripted_modbus_server.h"

#include <arpa/inet.h>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <numeric>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace kalvo {
namespace {

using test::ScriptedModbusServer;
using Bytes = ScriptedModbusServer::Bytes;
using Segments = std::vector<ScriptedModbusServer::Segment>;

// Records what a poller hands to its host.
class FakeHost : public PollingHost {
public:
    void AppendLog(RunId, const std::string& message) override {
        std::lock_guard lock(fMutex);
        fLog.push_back(message);
    }
    void FillRegisters(RunId) override { fImage.Fill(); }
    void RefreshDisplay(RunId, RegisterBlock block,
                        std::span<const std::uint16_t> registers) override {
        fImage.Store(SpanOf(block).First, registers);
        ++fRefreshes;
    }
    void UpdateDebugWindow(RunId) override {}
    void RestoreIdleControls(RunId) override {}
    void StopRun(RunId) override {}
    void ThreadDone(RunId, bool singleStep) override {
        std::lock_guard lock(fMutex);
        fDone = true;
        fSingleStep = singleStep;
        fDoneSignal.notify_all();
    }

    bool WaitDone() {
        std::unique_lock lock(fMutex);
        return fDoneSignal.wait_for(lock, std::chrono::seconds(20), [this] { return fDone; });
    }
    std::vector<std::string> Log() {
        std::lock_guard lock(fMutex);
        return fLog;
    }

    ModbusRegisters fImage;
    int fRefreshes = 0;
    bool fSingleStep = false;

private:
    std::mutex fMutex;
    std::condition_variable fDoneSignal;
    std::vector<std::string> fLog;
    bool fDone = false;
};

// Polls `condition` for up to 10 s.
bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class ModbusTcpThreadTest : public ::testing::Test {
protected:
    ModbusTcpThreadTest() { std::iota(fImage.begin(), fImage.end(), std::uint16_t{0x2000}); }

    std::unique_ptr<TModbusTCPThread> Start(std::uint16_t port, std::uint32_t cycles) {
        return std::make_unique<TModbusTCPThread>(
            fHost, fStatistics, 1,
            TModbusTCPThread::Parameters{"127.0.0.1", port, cycles, 10, true});
    }

    std::array<std::uint16_t, 251> fImage{};
    FakeHost fHost;
    CommStatistics fStatistics;
};

TEST_F(ModbusTcpThreadTest, StepReadsBothBlocksAndLogsEachRead) {
    ScriptedModbusServer server(ScriptedModbusServer::Serving(fImage));
    auto thread = Start(server.Port(), TModbusTCPThread::kStepCycles);
    ASSERT_TRUE(fHost.WaitDone());
    EXPECT_TRUE(fHost.fSingleStep);
    const std::vector<std::string> expected = {
        "Modbus/TCP reading 121 registers ...", "Successfully read 121 registers - pause 10 msec",
        "Modbus/TCP reading 124 registers ...", "Successfully read 124 registers - pause 10 msec"};
    EXPECT_EQ(fHost.Log(), expected);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(Bytes(requests[1].begin() + 7, requests[1].end()), (Bytes{3, 0, 121, 0, 124}));
    EXPECT_EQ(fHost.fRefreshes, 2);
    EXPECT_EQ(fHost.fImage[0], 0x2000);
    EXPECT_EQ(fHost.fImage[244], 0x2000 + 244);
    EXPECT_EQ(fHost.fImage[245], 0xFFFF);
    const CommStatisticsRecord counts = fStatistics.Snapshot();
    EXPECT_EQ(counts.Requests, 2);
    EXPECT_EQ(counts.Responses, 2);
    EXPECT_EQ(counts.NoResponses, 0);
}

TEST_F(ModbusTcpThreadTest, StepEndsAfterOneRaisedError) {
    fStatistics.CountRequest();
    auto thread = Start(1, TModbusTCPThread::kStepCycles);
    ASSERT_TRUE(fHost.WaitDone());
    EXPECT_EQ(fHost.Log(), std::vector<std::string>{"Socket Error # 111  -  Connection refused."});
    const CommStatisticsRecord counts = fStatistics.Snapshot();
    EXPECT_EQ(counts.Requests, 1) << "reset at the start of the run";
    EXPECT_EQ(counts.NoResponses, 1);
    EXPECT_EQ(counts.ConsecErrors, 1);
}

TEST_F(ModbusTcpThreadTest, CountsEachFailedOutcome) {
    // Block A is answered normally, block B with an exception, then a mismatch.
    int blockB = 0;
    ScriptedModbusServer server([&](const Bytes& request) {
        if (request[9] == 0) {
            return Segments{{ScriptedModbusServer::ImageReply(request, fImage)}};
        }
        const Bytes pdu = ++blockB == 1 ? Bytes{0x83, 0x02} : Bytes{0x04, 0x00};
        const auto id = static_cast<std::uint16_t>((request[0] << 8) | request[1]);
        return Segments{{ScriptedModbusServer::Frame(id, 255, pdu)}};
    });
    fImage[121] = 0x1234;
    auto thread = Start(server.Port(), 4);
    ASSERT_TRUE(fHost.WaitDone());
    const CommStatisticsRecord counts = fStatistics.Snapshot();
    EXPECT_EQ(counts.Requests, 4);
    EXPECT_EQ(counts.Responses, 2);
    EXPECT_EQ(counts.Invalid, 1);
    EXPECT_EQ(counts.Unmatched, 1);
    EXPECT_EQ(counts.NoResponses, 2);
    EXPECT_EQ(counts.ConsecErrors, 1);
    EXPECT_EQ(counts.MaxConsecErrors, 1);
    EXPECT_EQ(fHost.Log().at(3), "Failed to read 124 registers - pause 10 msec");
    EXPECT_EQ(fHost.Log().at(4), "Modbus/TCP reading 121 registers ...")
        << "an answer that is no reply is no silence";
    EXPECT_EQ(fHost.fRefreshes, 2);
    EXPECT_EQ(fHost.fImage[121], 0xFFFF) << "a failed block leaves the image alone";
}

// A read that meets silence says how long it waited.
TEST_F(ModbusTcpThreadTest, ASilentModuleIsNamedWithTheTimeWaited) {
    ScriptedModbusServer silent([](const Bytes&) { return Segments{}; });
    auto thread = std::make_unique<TModbusTCPThread>(
        fHost, fStatistics, 1,
        TModbusTCPThread::Parameters{"127.0.0.1", silent.Port(), TModbusTCPThread::kStepCycles, 10,
                                     false, 200});
    ASSERT_TRUE(fHost.WaitDone());
    const std::vector<std::string> log = fHost.Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[1], "Failed to read 121 registers - pause 10 msec");
    EXPECT_EQ(log[2], "No reply within 200 ms");
}

// A step pauses between its two reads and ends with the second: the pause after it would only
// keep the controls locked.
TEST_F(ModbusTcpThreadTest, StepEndsWithItsSecondRead) {
    ScriptedModbusServer server(ScriptedModbusServer::Serving(fImage));
    const auto start = std::chrono::steady_clock::now();
    auto thread = std::make_unique<TModbusTCPThread>(
        fHost, fStatistics, 1,
        TModbusTCPThread::Parameters{"127.0.0.1", server.Port(), TModbusTCPThread::kStepCycles,
                                     2000, false});
    ASSERT_TRUE(fHost.WaitDone());
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(1900)) << "the pause between the reads stays";
    EXPECT_LT(elapsed, std::chrono::milliseconds(3900)) << "no pause after the second read";
    EXPECT_EQ(server.Requests().size(), 2u);
}

// A listener with no room left: its backlog of one is taken, so a connect to it is never
// answered and waits in SYN_SENT.
class UnansweredListener {
public:
    UnansweredListener() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        bind(fListener, reinterpret_cast<const sockaddr*>(&address), size);
        listen(fListener, 0);
        getsockname(fListener, reinterpret_cast<sockaddr*>(&address), &size);
        fPort = ntohs(address.sin_port);
        connect(fFiller, reinterpret_cast<const sockaddr*>(&address), size);
    }
    ~UnansweredListener() {
        close(fFiller);
        close(fListener);
    }
    std::uint16_t Port() const { return fPort; }
    // Whether a connect to it is waiting for its answer.
    bool ConnectPending() const {
        std::ifstream table("/proc/net/tcp");
        char port[8];
        std::snprintf(port, sizeof port, ":%04X", fPort);
        for (std::string line; std::getline(table, line);) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            if (remote.ends_with(port) && state == "02") {
                return true;
            }
        }
        return false;
    }

private:
    int fListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int fFiller = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::uint16_t fPort = 0;
};

// Every wait of a run against every way of ending it that must not wait: each waits 10 s
// (the connect 5 s) by itself and ends within a second. Stop lets a read in flight finish, so
// it ends only the pause. Nothing of it counts as a failed read.
TEST_F(ModbusTcpThreadTest, EveryWaitEndsPromptly) {
    enum class Point { Connect, Read, Pause };
    enum class Ending { Stop, Abort, Close };
    struct Case {
        const char* name;
        Point point;
        Ending ending;
    };
    const Case cases[] = {{"pause, stop", Point::Pause, Ending::Stop},
                          {"pause, abort", Point::Pause, Ending::Abort},
                          {"pause, close", Point::Pause, Ending::Close},
                          {"read, abort", Point::Read, Ending::Abort},
                          {"read, close", Point::Read, Ending::Close},
                          {"connect, abort", Point::Connect, Ending::Abort},
                          {"connect, close", Point::Connect, Ending::Close}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        CommStatistics statistics;
        ScriptedModbusServer serving(ScriptedModbusServer::Serving(fImage));
        ScriptedModbusServer silent([](const Bytes&) { return Segments{}; });
        UnansweredListener unanswered;
        const std::uint16_t port = c.point == Point::Connect ? unanswered.Port()
                                   : c.point == Point::Read  ? silent.Port()
                                                             : serving.Port();
        auto thread = std::make_unique<TModbusTCPThread>(
            host, statistics, 1,
            TModbusTCPThread::Parameters{"127.0.0.1", port, TModbusTCPThread::kRunCycles, 10000,
                                         false, 10000});
        const std::function<bool()> ready[] = {
            [&unanswered] { return unanswered.ConnectPending(); },
            [&silent] { return !silent.Requests().empty(); },
            [&host] { return host.Log().size() >= 2; }};
        ASSERT_TRUE(Eventually(ready[static_cast<int>(c.point)]));
        const auto start = std::chrono::steady_clock::now();
        if (c.ending == Ending::Close) {
            thread.reset();
        } else {
            c.ending == Ending::Stop ? thread->Stop() : thread->Abort();
            thread->Join();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        EXPECT_TRUE(host.WaitDone());
        EXPECT_EQ(statistics.Snapshot().NoResponses, 0);
        EXPECT_LE(serving.Requests().size(), 1u);
    }
}

} // namespace
} // namespace kalvo
