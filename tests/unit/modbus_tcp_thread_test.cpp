#include "acquisition/modbus_tcp_thread.h"
#include "scripted_modbus_server.h"

#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <numeric>

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
    EXPECT_EQ(fHost.fRefreshes, 2);
    EXPECT_EQ(fHost.fImage[121], 0xFFFF) << "a failed block leaves the image alone";
}

TEST_F(ModbusTcpThreadTest, StopEndsARunDuringItsPause) {
    ScriptedModbusServer server(ScriptedModbusServer::Serving(fImage));
    auto thread = std::make_unique<TModbusTCPThread>(
        fHost, fStatistics, 1,
        TModbusTCPThread::Parameters{"127.0.0.1", server.Port(), TModbusTCPThread::kRunCycles,
                                     60000, false});
    ASSERT_TRUE(Eventually([this] { return fHost.Log().size() >= 2; }));
    thread->Stop();
    ASSERT_TRUE(fHost.WaitDone());
    EXPECT_FALSE(fHost.fSingleStep);
    EXPECT_EQ(server.Requests().size(), 1u);
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
    EXPECT_LT(elapsed, std::chrono::milliseconds(3500)) << "no pause after the second read";
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(ModbusTcpThreadTest, AbortEndsAReadInFlight) {
    ScriptedModbusServer server([](const Bytes&) { return Segments{}; });
    auto thread = Start(server.Port(), TModbusTCPThread::kRunCycles);
    ASSERT_TRUE(Eventually([&server] { return !server.Requests().empty(); }));
    const auto start = std::chrono::steady_clock::now();
    thread.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2))
        << "the read would otherwise wait its 15 s";
    EXPECT_TRUE(fHost.WaitDone());
    EXPECT_EQ(fHost.Log().back(), "Modbus/TCP reading 121 registers ...");
    EXPECT_EQ(fStatistics.Snapshot().NoResponses, 0) << "an abort is not a failed read";
}

} // namespace
} // namespace kalvo
