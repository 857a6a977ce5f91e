#include "acquisition/modbus_rtu_thread.h"
#include "error_text.h"
#include "modbus_serial/modbus_client.h"
#include "pty_peer.h"

#include <chrono>
#include <gtest/gtest.h>

namespace kalvo {
namespace {

using test::PtyPeer;
using Bytes = PtyPeer::Bytes;
using Chunks = std::vector<PtyPeer::Chunk>;

std::string Message(const std::function<void()>& action) {
    return test::ErrorText(action);
}

// A reply of `count` registers with the given byte count, values 0x0101, 0x0202, ...
Bytes RegistersReply(int count, int byteCount) {
    Bytes reply = {0x01, 0x03, static_cast<std::uint8_t>(byteCount)};
    for (int i = 0; i < count; ++i) {
        reply.push_back(static_cast<std::uint8_t>(i + 1));
        reply.push_back(static_cast<std::uint8_t>(i + 1));
    }
    return PtyPeer::WithCrc(reply);
}

class ModbusClientTest : public ::testing::Test {
protected:
    void Open(PtyPeer& peer) {
        fConnection.SetPort(peer.Path());
        fConnection.SetReceiveTimeout(150);
        fConnection.Open();
        fClient.SetConnection(&fConnection);
        fClient.OnHoldingRegistersRead = [this](TModbusClient&, const TTransactionInfo& info,
                                                std::uint16_t, std::uint16_t, const TRegValues& v) {
            fInfos.push_back(info);
            fValues = v;
        };
        fClient.OnTransactionProcessed = [this](TModbusClient&, const TTransactionInfo& info,
                                                std::uint8_t, bool) { fProcessed.push_back(info); };
    }
    void WaitProcessed(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (fProcessed.size() < count && std::chrono::steady_clock::now() < deadline) {
            fQueue.WaitAndPump(std::chrono::milliseconds(50));
        }
        ASSERT_GE(fProcessed.size(), count);
    }

    ManualMessageQueue fQueue;
    TModbusConnection fConnection{fQueue};
    TModbusClient fClient;
    std::vector<TTransactionInfo> fInfos;
    std::vector<TTransactionInfo> fProcessed;
    TRegValues fValues;
};

TEST_F(ModbusClientTest, RequestsAreBuiltExactlyAndLimitsCheckedInOrder) {
    std::vector<Bytes> sent;
    PtyPeer peer([&sent](const Bytes&) { return Chunks{}; });
    Open(peer);
    fConnection.OnFrameSend = [&sent](TModbusConnection&, const TFrameData& d) {
        sent.push_back(d);
    };
    EXPECT_EQ(Message([&] { fClient.ReadHoldingRegisters(0, 126); }),
              "Register count must be between 1 and 125");
    EXPECT_EQ(Message([&] { fClient.ReadHoldingRegisters(65500, 100); }),
              "Starting register index is invalid (65500)");
    EXPECT_EQ(Message([&] { fClient.ReadCoils(0, 2009); }),
              "Discrete i/o count must be between 1 and 2008");
    EXPECT_EQ(Message([&] { fClient.WriteMultipleCoils(65535, TBitValues(2, true)); }),
              "Starting discrete i/o index is invalid (65535)");
    EXPECT_EQ(Message([&] { fClient.ReadWriteMultipleRegisters(0, 1, 0, TRegValues(122, 0)); }),
              "Register count must be between 1 and 121");
    EXPECT_EQ(Message([&] { fClient.InitCustomTransaction(0x41, Bytes(253, 0), false); }),
              "Invalid request data size (253)");
    EXPECT_EQ(Message([&] { fClient.ReadFileRecord(TModbusFileRecordList()); }),
              "File record list is empty or invalid");
    const std::uint32_t first = fClient.ReadHoldingRegisters(65411, 125);
    fConnection.SetMaxRetries(1);
    struct Case {
        std::function<void()> request;
        Bytes frame;
    };
    TModbusFileRecordList records;
    records.Add(4, 1, TRegValues{0x06AF});
    const Case cases[] = {
        {[&] { fClient.ReadHoldingRegisters(0, 121); }, {1, 3, 0, 0, 0, 0x79}},
        {[&] { fClient.ReadCoils(19, 10); }, {1, 1, 0, 19, 0, 10}},
        {[&] { fClient.WriteSingleCoil(172, true); }, {1, 5, 0, 172, 0xFF, 0}},
        {[&] {
             fClient.WriteMultipleCoils(
                 19, {true, false, true, true, false, false, true, true, true, false});
         },
         {1, 0x0F, 0, 19, 0, 10, 2, 0xCD, 0x01}},
        {[&] {
             fClient.WriteMultipleRegisters(1, {0x000A, 0x0102});
         },
         {1, 0x10, 0, 1, 0, 2, 4, 0, 0x0A, 1, 2}},
        {[&] { fClient.Diagnostics(daRestartCommsOptionAndClearEventLog); }, {1, 8, 0, 1, 0xFF, 0}},
        {[&] { fClient.WriteFileRecord(records); }, {1, 0x15, 9, 6, 0, 4, 0, 1, 0, 1, 0x06, 0xAF}},
        {[&] { fClient.MaskWriteSingleRegister(4, 0xF2, 0x25); },
         {1, 0x16, 0, 4, 0, 0xF2, 0, 0x25}},
        {[&] { fClient.InitCustomTransaction(0x41, {}, false); }, {1, 0x41}},
    };
    for (const Case& c : cases) {
        c.request();
    }
    WaitProcessed(1 + std::size(cases));
    ASSERT_EQ(sent.size(), 1 + std::size(cases));
    EXPECT_EQ(fProcessed[0].ID, first);
    EXPECT_EQ(sent[1], PtyPeer::WithCrc(cases[0].frame));
    EXPECT_EQ(Bytes(sent[1].end() - 2, sent[1].end()), (Bytes{0x84, 0x28}));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(sent[i + 1], PtyPeer::WithCrc(cases[i].frame)) << i;
    }
}

TEST_F(ModbusClientTest, RegisterRepliesAreCheckedAgainstTheQuery) {
    int attempt = 0;
    PtyPeer peer([&attempt](const Bytes&) {
        switch (++attempt) {
        case 1:
            return Chunks{{RegistersReply(121, 242)}};
        case 2:
            return Chunks{{RegistersReply(120, 240)}};
        case 3:
            return Chunks{{RegistersReply(121, 243)}};
        case 4:
            return Chunks{{PtyPeer::WithCrc({0x01, 0x83, 0x02})}};
        default:
            return Chunks{};
        }
    });
    Open(peer);
    fConnection.SetMaxRetries(2);
    for (int i = 0; i < 5; ++i) {
        fClient.ReadHoldingRegisters(0, 121);
    }
    WaitProcessed(5);
    ASSERT_EQ(fInfos.size(), 5u);
    EXPECT_EQ(fInfos[0].Reply, srNormalReply);
    EXPECT_EQ(fInfos[1].Reply, srUnmatchedReply);
    EXPECT_EQ(fInfos[2].Reply, srNormalReply);
    EXPECT_EQ(fInfos[3].Reply, srExceptionReply);
    EXPECT_EQ(fInfos[3].Exception, seIllegalDataAddress);
    EXPECT_EQ(fClient.ExceptionCodeToStr(fInfos[3].ExceptionCode), "Illegal data address");
    EXPECT_EQ(fInfos[4].Reply, srNone);
    EXPECT_EQ(fInfos[4].Retries, 2u);
    EXPECT_EQ(fValues, TRegValues(121, 0));
}

TEST_F(ModbusClientTest, ConsecutiveFailuresFireTheirEvent) {
    PtyPeer peer([](const Bytes& frame) { return frame[1] == 6 ? Chunks{{frame}} : Chunks{}; });
    Open(peer);
    int fired = 0;
    fClient.OnConsecutiveTimeoutLimitExceed = [&fired](TModbusClient&) { ++fired; };
    fClient.SetMaxConsecutiveTimeouts(2);
    fClient.ReadHoldingRegisters(0, 1);
    fClient.ReadHoldingRegisters(0, 1);
    fClient.WriteSingleRegister(1, 2);
    fClient.ReadHoldingRegisters(0, 1);
    fClient.ReadHoldingRegisters(0, 1);
    fClient.ReadHoldingRegisters(0, 1);
    WaitProcessed(6);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(fClient.ConsecutiveTimeoutCount(), 0u);
    fClient.SetMaxConsecutiveTimeouts(0);
    fClient.ReadHoldingRegisters(0, 1);
    fClient.ReadHoldingRegisters(0, 1);
    WaitProcessed(8);
    EXPECT_EQ(fired, 3);
}

TEST_F(ModbusClientTest, WritesDiagnosticsAndCustomRequestsCheckTheirEchoes) {
    PtyPeer peer([](const Bytes& frame) {
        switch (frame[1]) {
        case 0x05:
            return Chunks{{PtyPeer::WithCrc({1, 5, 0, 172, 0, 0})}};
        case 0x08:
            return Chunks{{PtyPeer::WithCrc({1, 8, 0, 0x0B, 0x01, 0x2C})}};
        case 0x14:
            return Chunks{{PtyPeer::WithCrc({1, 0x14, 6, 5, 6, 0x0D, 0xFE, 0x00, 0x20})}};
        default:
            return Chunks{{PtyPeer::WithCrc({9, 0x41, 0x00})}};
        }
    });
    Open(peer);
    bool coil = false;
    std::uint16_t result = 0;
    TRegValues file;
    TModbusTransaction* custom = nullptr;
    std::uint8_t customAddress = 0;
    fClient.OnSingleCoilWrite = [&](TModbusClient&, const TTransactionInfo& info, std::uint16_t,
                                    bool v) {
        coil = v;
        EXPECT_EQ(info.Reply, srUnmatchedReply);
    };
    fClient.OnDiagnostics = [&](TModbusClient&, const TTransactionInfo& info, TDiagnosticAction a,
                                std::uint16_t r) {
        EXPECT_EQ(info.Reply, srNormalReply);
        EXPECT_EQ(a, daReturnBusMessageCount);
        result = r;
    };
    fClient.OnFileRecordRead = [&](TModbusClient&, const TTransactionInfo& info,
                                   const TModbusFileRecordList& list) {
        EXPECT_EQ(info.Reply, srNormalReply);
        file = {list.FileRecord(0).RegValue(0), list.FileRecord(0).RegValue(1)};
    };
    fClient.OnCustomTransactionComplete = [&](TModbusClient&, TModbusTransaction& t, std::uint8_t) {
        custom = &t;
        customAddress = t.Info.Address;
    };
    TModbusFileRecordList records;
    records.Add(4, 1, 2);
    fClient.WriteSingleCoil(172, true);
    fClient.Diagnostics(daReturnBusMessageCount);
    fClient.ReadFileRecord(records);
    fClient.InitCustomTransaction(0x41, {}, true);
    WaitProcessed(4);
    EXPECT_TRUE(coil);
    EXPECT_EQ(result, 0x012C);
    EXPECT_EQ(file, (TRegValues{0x0DFE, 0x0020}));
    EXPECT_NE(custom, nullptr);
    EXPECT_EQ(customAddress, 9);
}

// Records what the RTU poller hands to its host; the test thread pumps the queue.
class RtuHost : public PollingHost {
public:
    void AppendLog(RunId, const std::string& message) override {
        std::lock_guard lock(fMutex);
        Log.push_back(message);
    }
    void FillRegisters(RunId) override {}
    void RefreshDisplay(RunId, RegisterBlock block, std::span<const std::uint16_t>) override {
        std::lock_guard lock(fMutex);
        Blocks.push_back(block);
        ++Refreshes;
    }
    void UpdateDebugWindow(RunId) override {}
    void RestoreIdleControls(RunId) override {}
    void StopRun(RunId) override { Stopped = true; }
    void ThreadDone(RunId, bool) override { Done = true; }
    std::vector<std::string> Lines() {
        std::lock_guard lock(fMutex);
        return Log;
    }

    std::vector<std::string> Log;
    std::vector<RegisterBlock> Blocks;
    std::atomic<int> Refreshes = 0;
    std::atomic<bool> Stopped = false;
    std::atomic<bool> Done = false;

private:
    std::mutex fMutex;
};

class RtuThreadTest : public ::testing::Test {
protected:
    std::unique_ptr<TModbusRTUThread> Start(const std::string& port, std::int32_t address = 1,
                                            std::int32_t speed = 9600) {
        return std::make_unique<TModbusRTUThread>(
            fHost, fStatistics, 1, fQueue,
            TModbusRTUThread::Parameters{address, port, speed, 2, 10, true});
    }
    void RunToEnd() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (!fHost.Done && std::chrono::steady_clock::now() < deadline) {
            fQueue.WaitAndPump(std::chrono::milliseconds(20));
        }
        fQueue.Pump();
    }

    ManualMessageQueue fQueue;
    RtuHost fHost;
    CommStatistics fStatistics;
};

TEST_F(RtuThreadTest, StepLogsEveryFrameAndCountsTheReads) {
    PtyPeer peer([](const Bytes& frame) {
        const int count = frame[5];
        return Chunks{{RegistersReply(count, 2 * count)}};
    });
    auto thread = Start(peer.Path());
    RunToEnd();
    const std::vector<std::string> log = fHost.Lines();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "Send: 0103000000798428");
    EXPECT_EQ(log[1].substr(0, 12), "Recv: 0103F2");
    EXPECT_EQ(log[2].substr(0, 18), "Send: 01030079007C");
    EXPECT_EQ(log[3].substr(0, 12), "Recv: 0103F8");
    EXPECT_EQ(fStatistics.Snapshot().Responses, 2);
    EXPECT_EQ(fHost.Refreshes, 2);
}

TEST_F(RtuThreadTest, SilentModuleIsLoggedEveryCycle) {
    PtyPeer peer([](const Bytes&) { return Chunks{}; });
    auto thread = Start(peer.Path(), 300, 38400);
    EXPECT_EQ(thread->Connection().BaudRate(), br19200);
    RunToEnd();
    const std::vector<std::string> log = fHost.Lines();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].substr(0, 10), "Send: 2C03") << "address 300 goes out as 44";
    EXPECT_EQ(log[1], "No answer from KALVO module!");
    EXPECT_EQ(log[3], "No answer from KALVO module!");
    EXPECT_EQ(fStatistics.Snapshot().NoResponses, 2);
    EXPECT_EQ(fStatistics.Snapshot().ConsecErrors, 2);
}

// The adapter goes away during a Run, after the first reply or in the middle of one: the run
// logs the port's error once, counts it, asks its host to stop, and ends at once.
TEST_F(RtuThreadTest, APortThatHangsUpEndsTheRun) {
    struct Case {
        const char* name;
        Chunks second;
    };
    const Case cases[] = {{"between frames", {{{}, 0, true}}},
                          {"mid-reply", {{Bytes{0x01, 0x03, 0xF8}}, {{}, 5, true}}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RtuHost host;
        CommStatistics statistics;
        int requests = 0;
        PtyPeer peer([&](const Bytes& frame) {
            return ++requests == 1 ? Chunks{{RegistersReply(frame[5], 2 * frame[5])}} : c.second;
        });
        const auto start = std::chrono::steady_clock::now();
        TModbusRTUThread thread(host, statistics, 1, fQueue,
                                {1, peer.Path(), 9600, RunLifecycle::kRunCycles, 10, true});
        while (!host.Done && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
            fQueue.WaitAndPump(std::chrono::milliseconds(20));
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        const std::vector<std::string> log = host.Lines();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), "Serial port " + peer.Path() + ": Input/output error");
        EXPECT_TRUE(host.Stopped);
        const CommStatisticsRecord counts = statistics.Snapshot();
        EXPECT_EQ(counts.Responses, 1);
        EXPECT_EQ(counts.NoResponses, 1) << "the failed read is counted once";
        EXPECT_EQ(counts.ConsecErrors, 1);
    }
}

// Waits up to 20 s for the peer to have seen `count` frames.
bool PeerSaw(const PtyPeer& peer, std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (peer.Frames().size() < count) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Block A's reply completes only after the poller gave up waiting for it (nobody pumped the
// queue for 5 s) and has asked for block B: it is neither counted nor shown; block B is.
TEST_F(RtuThreadTest, ALateCompletionIsNeitherCountedNorShown) {
    PtyPeer peer(
        [](const Bytes& frame) { return Chunks{{RegistersReply(frame[5], 2 * frame[5])}}; });
    auto thread = Start(peer.Path());
    ASSERT_TRUE(PeerSaw(peer, 2));
    RunToEnd();
    EXPECT_EQ(fStatistics.Snapshot().Responses, 1);
    EXPECT_EQ(fHost.Blocks, std::vector<RegisterBlock>{RegisterBlock::B});
}

// A reply that completes after its run was aborted counts and shows nothing.
TEST_F(RtuThreadTest, AnAbortedRunCountsNothingMore) {
    PtyPeer peer(
        [](const Bytes& frame) { return Chunks{{RegistersReply(frame[5], 2 * frame[5])}}; });
    auto thread = Start(peer.Path());
    ASSERT_TRUE(PeerSaw(peer, 1));
    thread->Abort();
    thread->Join();
    // The reply is taken, and its completion run, only now; the completion follows the
    // received frame's log line in the queue.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    auto received = [this] {
        const std::vector<std::string> log = fHost.Lines();
        return std::any_of(log.begin(), log.end(),
                           [](const std::string& line) { return line.starts_with("Recv:"); });
    };
    while (!received() && std::chrono::steady_clock::now() < deadline) {
        fQueue.WaitAndPump(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(received());
    fQueue.WaitAndPump(std::chrono::seconds(1));
    EXPECT_EQ(fStatistics.Snapshot().Responses, 0);
    EXPECT_EQ(fHost.Refreshes, 0);
}

TEST_F(RtuThreadTest, MissingPortIsLoggedAndStopsTheRun) {
    auto thread = Start("ttyKALVO_missing");
    RunToEnd();
    EXPECT_EQ(
        fHost.Lines(),
        std::vector<std::string>{
            "Could not open serial port\r\n/dev/ttyKALVO_missing: No such file or directory"});
    EXPECT_TRUE(fHost.Stopped);
    EXPECT_EQ(fStatistics.Snapshot().NoResponses, 1);
}

} // namespace
} // namespace kalvo
