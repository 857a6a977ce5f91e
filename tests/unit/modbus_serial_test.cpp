#include "error_text.h"
#include "modbus_serial/brindel_error.h"
#include "modbus_serial/frame_codec.h"
#include "modbus_serial/modbus_connection.h"
#include "pty_peer.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace kalvo {
namespace {

using namespace std::chrono_literals;

using test::PtyPeer;
using Bytes = PtyPeer::Bytes;
using Chunks = std::vector<PtyPeer::Chunk>;

// A client that records what reaches it.
class RecordingClient : public TransactionClient {
public:
    explicit RecordingClient(std::uint8_t address) : fAddress(address) {}
    std::uint8_t ServerAddress() const override { return fAddress; }
    void DoneTransaction(TModbusTransaction& transaction) override {
        Done.push_back(transaction.Info);
    }
    std::uint8_t fAddress;
    std::vector<TTransactionInfo> Done;
};

TModbusBuffer ReadRequest(std::uint8_t address, std::uint16_t start, std::uint16_t count,
                          TTransmissionMode mode) {
    TModbusBuffer buffer(FrameGeometry::TransactionCapacity(mode));
    buffer.PutByte(address);
    buffer.PutByte(3);
    buffer.PutWordHiLo(start);
    buffer.PutWordHiLo(count);
    FrameCodec(mode, cmClient).EmitErrorCheck(buffer);
    return buffer;
}

Bytes Contents(const TModbusBuffer& buffer) {
    return Bytes(buffer.StartPtr(), buffer.StartPtr() + buffer.Size());
}

std::string Message(const std::function<void()>& action) {
    return test::ErrorText(action);
}

TEST(ModbusFrames, RtuAndAsciiRequestsCarryTheirChecks) {
    EXPECT_EQ(Contents(ReadRequest(1, 0, 10, tmRTU)),
              (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));
    const Bytes blockA = Contents(ReadRequest(1, 0, 121, tmRTU));
    const Bytes blockB = Contents(ReadRequest(1, 121, 124, tmRTU));
    EXPECT_EQ(Bytes(blockA.end() - 2, blockA.end()), (Bytes{0x84, 0x28}));
    EXPECT_EQ(Bytes(blockB.end() - 2, blockB.end()), (Bytes{0x95, 0xF2}));

    const TModbusBuffer ascii = ReadRequest(1, 0, 10, tmASCII);
    std::uint8_t raw[513];
    const int size = FrameCodec(tmASCII, cmClient).EncodeFrame(ascii, raw, 513);
    EXPECT_EQ(std::string(raw, raw + size), ":01030000000AF2\r\n");
    TModbusBuffer decoded(255);
    EXPECT_TRUE(FrameCodec(tmASCII, cmServer).DecodeFrame(raw, size, decoded));
    EXPECT_EQ(Contents(decoded), Contents(ascii));
    EXPECT_EQ(FrameCodec(tmRTU, cmClient).EncodeFrame(TModbusBuffer(256), raw, 256), 0);
    EXPECT_EQ(FrameCodec(tmASCII, cmClient).EncodeFrame(TModbusBuffer(255), raw, 513), 0);
}

TEST(ModbusFrames, DecodeRejectsShortAndBadlyFramedInput) {
    const Bytes four = PtyPeer::WithCrc({0x01, 0x07});
    TModbusBuffer buffer(256);
    EXPECT_FALSE(FrameCodec(tmRTU, cmClient).DecodeFrame(four.data(), 4, buffer));
    EXPECT_TRUE(FrameCodec(tmRTU, cmServer).DecodeFrame(four.data(), 4, buffer));
    EXPECT_TRUE(FrameCodec(tmRTU, cmMonitor).DecodeFrame(four.data(), 4, buffer));
    Bytes badCrc = PtyPeer::WithCrc({0x01, 0x03, 0x02, 0x12, 0x34});
    badCrc.back() ^= 0xFF;
    EXPECT_FALSE(FrameCodec(tmRTU, cmClient).DecodeFrame(badCrc.data(), 7, buffer));
    const std::string cases[] = {":01030000000AF2\r", "01030000000AF2\r\n", ":01030000000AF2\n\r",
                                 ":01030000000AF3\r\n"};
    TModbusBuffer ascii(255);
    for (const std::string& text : cases) {
        EXPECT_FALSE(FrameCodec(tmASCII, cmClient)
                         .DecodeFrame(reinterpret_cast<const std::uint8_t*>(text.data()),
                                      static_cast<int>(text.size()), ascii))
            << text;
    }
}

TEST(ModbusBuffer, CursorAndSizeRules) {
    TModbusBuffer buffer(4);
    buffer.PutWordHiLo(0x1234);
    buffer.Seek(smBufStart);
    EXPECT_EQ(buffer.GetByte(), 0x12);
    EXPECT_EQ(buffer.GetByte(), 0x12);
    EXPECT_EQ(buffer.GetWordLoHi(), 0x3412);
    EXPECT_EQ(Message([&] { buffer.Seek(smPriorByte); }), "Buffer position is invalid (-1)");
    buffer.Seek(smBufEnd);
    buffer.SetSize(1);
    EXPECT_EQ(buffer.Position(), 1);
    EXPECT_EQ(Message([&] { buffer.SetSize(5); }), "Buffer size is invalid (5)");
    buffer.PutBlock(reinterpret_cast<const std::uint8_t*>("abc"), 3);
    EXPECT_EQ(Message([&] { buffer.PutByte(0); }),
              "There is not enough space in the buffer to perform the requested action");
    buffer.SetPosition(2);
    EXPECT_NO_THROW(buffer.GetWordHiLo()) << "reads within the capacity succeed";
}

class SerialConnectionTest : public ::testing::Test {
protected:
    void Open(PtyPeer& peer) {
        fConnection.SetPort(peer.Path());
        fConnection.SetBaudRate(br9600);
        fConnection.SetParity(psNone);
        fConnection.SetReceiveTimeout(200);
        fConnection.OnFrameSend = [this](TModbusConnection&, const TFrameData& data) {
            fSent.push_back(data);
        };
        fConnection.OnFrameReceive = [this](TModbusConnection&, const TFrameData& data) {
            fReceived.push_back(data);
        };
        fConnection.OnThreadError = [this](TModbusConnection&, const std::string& message) {
            fErrors.push_back(message);
        };
        fConnection.RegisterClient(&fClient);
        fConnection.Open();
    }
    // Queues a read of `count` registers from address `address`.
    void Request(std::uint8_t address, std::uint16_t count = 2) {
        auto transaction = std::make_unique<TModbusTransaction>(256);
        transaction->QueryBuffer() = ReadRequest(address, 0, count, tmRTU);
        transaction->Info.Address = address;
        transaction->Info.ID = fConnection.GetNextUniqueID();
        fConnection.EnqueueTransaction(std::move(transaction), &fClient);
    }
    bool WaitDone(std::size_t count = 1) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (fClient.Done.size() < count && std::chrono::steady_clock::now() < deadline) {
            fQueue.WaitAndPump(std::chrono::milliseconds(50));
        }
        return fClient.Done.size() >= count;
    }

    ManualMessageQueue fQueue;
    RecordingClient fClient{1};
    TModbusConnection fConnection{fQueue};
    std::vector<TFrameData> fSent;
    std::vector<TFrameData> fReceived;
    std::vector<std::string> fErrors;
};

const Bytes kReply = PtyPeer::WithCrc({0x01, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78});

TEST_F(SerialConnectionTest, RealSilentIntervalFollowsTheLine) {
    PtyPeer peer([](const Bytes&) { return Chunks{}; });
    Open(peer);
    struct Case {
        TBaudRate baud;
        TParityScheme parity;
        std::uint32_t expected;
    };
    const Case cases[] = {{br2400, psNone, 16},  {br4800, psNone, 16}, {br9600, psNone, 16},
                          {br19200, psNone, 16}, {br2400, psEven, 17}, {br1200, psEven, 34},
                          {br110, psEven, 364}};
    for (const Case& c : cases) {
        fConnection.SetParity(c.parity);
        fConnection.SetBaudRate(c.baud);
        EXPECT_EQ(fConnection.RealSilentInterval(), c.expected) << c.baud;
    }
}

TEST_F(SerialConnectionTest, PropertyRules) {
    PtyPeer peer([](const Bytes&) { return Chunks{}; });
    EXPECT_EQ(Message([&] {
                  fConnection.EnqueueTransaction(std::make_unique<TModbusTransaction>(256),
                                                 nullptr);
              }),
              "Connection MUST be active for the requested action to be performed");
    fConnection.SetFlowControl(fcRtsToggle);
    Open(peer);
    EXPECT_NO_THROW(fConnection.SetPort(peer.Path()));
    EXPECT_EQ(Message([&] { fConnection.SetPort("ttyS9"); }),
              "Connection must NOT be active for the requested action to be performed");
    EXPECT_EQ(Message([&] { fConnection.ChangeRTS(true); }),
              "Flow control is not valid for the requested action to be performed");
    EXPECT_NO_THROW(fConnection.ChangeDTR(true));
    EXPECT_EQ(Message([&] { fConnection.SetMaxRetries(0); }),
              "Value must be between 1 and 4294967295");
    EXPECT_EQ(Message([&] { fConnection.SetCustomBaudRate(0); }),
              "Value must be between 1 and 4294967295");
    fConnection.SetCustomBaudRate(250000);
    EXPECT_EQ(fConnection.BaudRate(), brCustom);
    EXPECT_EQ(fConnection.RealSilentInterval(), 16u);
}

TEST_F(SerialConnectionTest, SilentServerGivesNoneAfterEachAttempt) {
    PtyPeer peer([](const Bytes&) { return Chunks{}; });
    Open(peer);
    Request(1);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(fClient.Done[0].Reply, srNone);
    EXPECT_EQ(fClient.Done[0].Retries, 1u);
    EXPECT_EQ(peer.Frames().size(), 1u);
    fConnection.SetMaxRetries(3);
    Request(1);
    ASSERT_TRUE(WaitDone(2));
    EXPECT_EQ(fClient.Done[1].Retries, 3u);
    EXPECT_EQ(peer.Frames().size(), 4u);
}

TEST_F(SerialConnectionTest, BadCrcIsResentAndOtherAddressesAreIgnored) {
    int attempt = 0;
    PtyPeer peer([&attempt](const Bytes&) {
        Bytes bad = kReply;
        bad.back() ^= 0x55;
        const Bytes other = PtyPeer::WithCrc({0x07, 0x03, 0x02, 0x00, 0x01});
        return ++attempt == 1 ? Chunks{{bad}} : Chunks{{other}, {kReply, 60}};
    });
    Open(peer);
    fConnection.SetMaxRetries(2);
    Request(1);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(fClient.Done[0].Reply, srNormalReply);
    EXPECT_EQ(fClient.Done[0].Retries, 2u);
    ASSERT_EQ(fReceived.size(), 3u);
    EXPECT_EQ(fReceived[1][0], 0x07);
    EXPECT_EQ(fReceived[2], kReply);
    EXPECT_EQ(fSent.size(), 2u);
}

// A reply arrives in pieces, as a USB adapter hands it over: its length, known from its
// header, decides where it ends, not a silence inside it; only a silence longer than the
// inter-character time-out ends it as incomplete.
TEST_F(SerialConnectionTest, AReplyOfKnownLengthEndsAtItsLength) {
    const Bytes other = PtyPeer::WithCrc({0x07, 0x03, 0x02, 0x00, 0x01});
    Bytes otherThenReply = other;
    otherThenReply.insert(otherThenReply.end(), kReply.begin(), kReply.end());
    const Bytes head(kReply.begin(), kReply.begin() + 2);
    const Bytes middle(kReply.begin() + 2, kReply.begin() + 5);
    const Bytes tail(kReply.begin() + 5, kReply.end());
    struct Case {
        const char* name;
        Chunks reply;
        TServerReply outcome;
        std::size_t frames;
    };
    const Case cases[] = {
        {"chunks 40 ms apart", {{head}, {middle, 40}, {tail, 40}}, srNormalReply, 1},
        {"one pause of 300 ms",
         {{head}, {Bytes(kReply.begin() + 2, kReply.end()), 300}},
         srNormalReply,
         1},
        {"another device, then the reply at once", {{otherThenReply}}, srNormalReply, 2},
        {"a pause past the inter-character time-out", {{head}, {middle, 700}}, srInvalidFrame, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fClient.Done.clear();
        fReceived.clear();
        PtyPeer peer([&c](const Bytes&) { return c.reply; });
        Open(peer);
        fConnection.SetReceiveTimeout(1000);
        Request(1);
        ASSERT_TRUE(WaitDone());
        EXPECT_EQ(fClient.Done[0].Reply, c.outcome);
        EXPECT_EQ(fReceived.size(), c.frames);
        if (c.outcome == srNormalReply) {
            EXPECT_EQ(fReceived.back(), kReply);
        }
        fConnection.Close();
    }
}

TEST_F(SerialConnectionTest, ExceptionRepliesOfFiveAndSixBytes) {
    int attempt = 0;
    PtyPeer peer([&attempt](const Bytes&) {
        return ++attempt == 1 ? Chunks{{PtyPeer::WithCrc({0x01, 0x83, 0x02})}}
                              : Chunks{{PtyPeer::WithCrc({0x01, 0x83, 0x02, 0x00})}};
    });
    Open(peer);
    Request(1);
    Request(1);
    ASSERT_TRUE(WaitDone(2));
    EXPECT_EQ(fClient.Done[0].Reply, srExceptionReply);
    EXPECT_EQ(fClient.Done[0].ExceptionCode, 2);
    EXPECT_EQ(fClient.Done[0].Exception, seIllegalDataAddress);
    EXPECT_EQ(fClient.Done[1].Reply, srNormalReply);
}

TEST_F(SerialConnectionTest, BroadcastIsSentOnceWithoutCompletion) {
    PtyPeer peer([](const Bytes&) { return Chunks{}; });
    Open(peer);
    Request(0);
    Request(1);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(fClient.Done.size(), 1u);
    EXPECT_EQ(fClient.Done[0].Address, 1);
    EXPECT_EQ(peer.Frames().size(), 2u);
}

TEST_F(SerialConnectionTest, EchoIsRemovedBeforeTheReply) {
    PtyPeer peer([](const Bytes& frame) { return Chunks{{frame}, {kReply, 2}}; });
    fConnection.SetEchoQueryBeforeReply(true);
    Open(peer);
    Request(1);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(fClient.Done[0].Reply, srNormalReply);
    ASSERT_EQ(fReceived.size(), 1u);
    EXPECT_EQ(fReceived[0], kReply);
}

TEST_F(SerialConnectionTest, CompletionsAreDroppedAfterCloseOrAddressChange) {
    PtyPeer peer([](const Bytes&) { return Chunks{{kReply, 20}}; });
    Open(peer);
    Request(1);
    Request(1);
    Request(1);
    fConnection.Close();
    fQueue.Pump();
    EXPECT_TRUE(fClient.Done.empty());
    EXPECT_LE(peer.Frames().size(), 1u);

    fConnection.Open();
    Request(1);
    fClient.fAddress = 2;
    // The completion follows the received frame's message in the queue.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (fReceived.empty() && std::chrono::steady_clock::now() < deadline) {
        fQueue.WaitAndPump(50ms);
    }
    ASSERT_FALSE(fReceived.empty());
    fQueue.WaitAndPump(1s);
    EXPECT_TRUE(fClient.Done.empty());
}

TEST_F(SerialConnectionTest, WorkerSurvivesAnErrorAndReportsIt) {
    PtyPeer peer([](const Bytes&) { return Chunks{{kReply}}; });
    int calls = 0;
    fConnection.OnBeforeFrameSendAsync = [&calls](TModbusConnection&) {
        if (++calls == 1) {
            throw EBrindelError("send hook failed");
        }
    };
    Open(peer);
    Request(1);
    Request(1);
    ASSERT_TRUE(WaitDone(2));
    EXPECT_EQ(fErrors, std::vector<std::string>{"send hook failed"});
    EXPECT_EQ(fClient.Done[0].Reply, srNone) << "the failed transaction still completes";
    EXPECT_EQ(fClient.Done[1].Reply, srNormalReply);
    EXPECT_EQ(fSent.size(), 1u) << "a frame that never went out is not reported as sent";
}

// The far end goes away in the middle of a reply, or between two requests: each attempt ends
// at once with the port's error and a failed completion, and nothing spins on the dead port.
TEST_F(SerialConnectionTest, AHungUpPortEndsTheAttemptWithItsError) {
    struct Case {
        const char* name;
        Chunks reply;
        // The far end goes away once the first reply has been taken: a hang-up scripted
        // right after the reply could come after a slow (instrumented) build sent the next.
        bool hangUpBetween;
    };
    const Case cases[] = {
        {"mid-reply", {{Bytes(kReply.begin(), kReply.begin() + 4)}, {{}, 5, true}}, false},
        {"between frames", {{kReply}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManualMessageQueue queue;
        RecordingClient client(1);
        TModbusConnection connection(queue);
        std::vector<std::string> errors;
        int sent = 0;
        PtyPeer peer([&c](const Bytes&) { return c.reply; });
        connection.SetPort(peer.Path());
        connection.SetReceiveTimeout(5000);
        connection.OnThreadError = [&errors](TModbusConnection&, const std::string& message) {
            errors.push_back(message);
        };
        connection.OnFrameSend = [&sent](TModbusConnection&, const TFrameData&) { ++sent; };
        connection.RegisterClient(&client);
        connection.Open();
        const auto start = std::chrono::steady_clock::now();
        // The second request is queued once the first has completed and the peer is gone.
        for (std::size_t i = 1; i <= 2; ++i) {
            if (i == 2 && c.hangUpBetween) {
                peer.HangUp();
            }
            auto transaction = std::make_unique<TModbusTransaction>(256);
            transaction->QueryBuffer() = ReadRequest(1, 0, 2, tmRTU);
            transaction->Info.Address = 1;
            connection.EnqueueTransaction(std::move(transaction), &client);
            while (client.Done.size() < i && std::chrono::steady_clock::now() - start < 4s) {
                queue.WaitAndPump(50ms);
            }
        }
        ASSERT_EQ(client.Done.size(), 2u);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << "not the 5 s reply time-out";
        EXPECT_NE(client.Done[1].Reply, srNormalReply);
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(errors.back(), "Serial port " + peer.Path() + ": Input/output error");
        EXPECT_EQ(sent, 1) << "the second request never went out";
        const auto closing = std::chrono::steady_clock::now();
        connection.Close();
        EXPECT_LT(std::chrono::steady_clock::now() - closing, 3s);
    }
}

// Another device that keeps talking must neither stretch an attempt past its reply time-out
// nor hold up a close.
TEST_F(SerialConnectionTest, AChattyBusBoundsTheAttemptAndTheClose) {
    PtyPeer peer([](const Bytes&) { return Chunks{}; });
    std::jthread chatter([&peer](std::stop_token stop) {
        const Bytes other = PtyPeer::WithCrc({0x07, 0x03, 0x02, 0x00, 0x01});
        while (!stop.stop_requested()) {
            peer.Send(other);
            std::this_thread::sleep_for(20ms);
        }
    });
    Open(peer);
    fConnection.SetReceiveTimeout(300);
    const auto start = std::chrono::steady_clock::now();
    Request(1);
    ASSERT_TRUE(WaitDone());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(fClient.Done[0].Reply, srNone);
    EXPECT_GT(fReceived.size(), 3u) << "the other device's frames are still reported";

    fConnection.SetReceiveTimeout(10000);
    const std::size_t heard = peer.Frames().size();
    Request(1);
    const auto sent = std::chrono::steady_clock::now() + 10s;
    while (peer.Frames().size() == heard && std::chrono::steady_clock::now() < sent) {
        std::this_thread::sleep_for(5ms);
    }
    const auto closing = std::chrono::steady_clock::now();
    fConnection.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, 3s);
}

// Waits up to 10 s for `condition`.
bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Closing ends whatever the worker waits for at once, where the wait itself would take 10 s:
// a silent module, another device talking all the time, the pause before a resend, the
// turnaround after a broadcast. Each case closes once its request is on the line.
TEST(SerialConnectionClose, EndsEveryWaitPromptly) {
    struct Case {
        const char* name;
        std::uint8_t address;
        bool chatty;
        std::function<void(TModbusConnection&)> configure;
    };
    const Case cases[] = {
        // The wait for the reply takes the close's break; the pause after it must end too.
        {"silent module", 1, false,
         [](TModbusConnection& c) {
             c.SetReceiveTimeout(10000);
             c.SetRefetchDelay(10000);
         }},
        {"chatty bus", 1, true, [](TModbusConnection& c) { c.SetReceiveTimeout(10000); }},
        {"pause before a resend", 1, false,
         [](TModbusConnection& c) {
             c.SetReceiveTimeout(1);
             c.SetRefetchDelay(10000);
             c.SetMaxRetries(3);
         }},
        {"turnaround after a broadcast", 0, false,
         [](TModbusConnection& c) { c.SetTurnaroundDelay(10000); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPeer peer([](const Bytes&) { return Chunks{}; });
        std::jthread chatter([&peer, chatty = c.chatty](std::stop_token stop) {
            while (chatty && !stop.stop_requested()) {
                peer.Send(PtyPeer::WithCrc({0x07, 0x03, 0x02, 0x00, 0x01}));
                std::this_thread::sleep_for(20ms);
            }
        });
        ManualMessageQueue queue;
        RecordingClient client(c.address);
        TModbusConnection connection(queue);
        connection.SetPort(peer.Path());
        c.configure(connection);
        connection.RegisterClient(&client);
        connection.Open();
        auto transaction = std::make_unique<TModbusTransaction>(256);
        transaction->QueryBuffer() = ReadRequest(c.address, 0, 2, tmRTU);
        transaction->Info.Address = c.address;
        connection.EnqueueTransaction(std::move(transaction), &client);
        ASSERT_TRUE(Eventually([&peer] { return !peer.Frames().empty(); }));
        const auto closing = std::chrono::steady_clock::now();
        connection.Close();
        EXPECT_LT(std::chrono::steady_clock::now() - closing, 3s);
    }
}

TEST_F(SerialConnectionTest, MessagesOfADestroyedConnectionAreDropped) {
    ManualMessageQueue queue;
    RecordingClient client(1);
    {
        PtyPeer peer([](const Bytes&) { return Chunks{{kReply}}; });
        TModbusConnection connection(queue);
        connection.SetPort(peer.Path());
        connection.OnFrameReceive = [&client](TModbusConnection&, const TFrameData&) {
            client.Done.emplace_back();
        };
        connection.RegisterClient(&client);
        connection.Open();
        auto transaction = std::make_unique<TModbusTransaction>(256);
        transaction->QueryBuffer() = ReadRequest(1, 0, 2, tmRTU);
        transaction->Info.Address = 1;
        connection.EnqueueTransaction(std::move(transaction), &client);
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (queue.Pending() == 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
        }
    }
    EXPECT_GT(queue.Pump(), 0);
    EXPECT_TRUE(client.Done.empty());
}

TEST_F(SerialConnectionTest, OpenErrorsNameTheDeviceAndTheReason) {
    TModbusConnection missing(fQueue);
    missing.SetPort("ttyKALVO_missing");
    EXPECT_EQ(Message([&] { missing.Open(); }),
              "Could not open serial port\r\n/dev/ttyKALVO_missing: No such file or directory");
    EXPECT_FALSE(missing.Active());

    PtyPeer peer([](const Bytes&) { return Chunks{}; });
    Open(peer);
    TModbusConnection second(fQueue);
    second.SetPort(peer.Path());
    EXPECT_EQ(Message([&] { second.Open(); }).substr(0, 26), "Could not open serial port");

    TModbusConnection notSerial(fQueue);
    notSerial.SetPort("/dev/null");
    EXPECT_EQ(Message([&] { notSerial.Open(); }),
              "Could not open serial port\r\n/dev/null: Not a serial port");

    TModbusConnection hooked(fQueue);
    hooked.SetHookExistingPort(true);
    EXPECT_EQ(Message([&] { hooked.Open(); }), "Could not open serial port");
}

} // namespace
} // namespace kalvo
