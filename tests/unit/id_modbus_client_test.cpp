#include "modbus_tcp/id_modbus_client.h"
#include "modbus_tcp/tcp_connection.h"
#include "modbus_tcp/tcp_error.h"
#include "scripted_modbus_server.h"

#include <array>
#include <atomic>
#include <bit>
#include <functional>
#include <gtest/gtest.h>
#include <numeric>
#include <optional>
#include <thread>

namespace kalvo {
namespace {

using test::ScriptedModbusServer;
using Bytes = ScriptedModbusServer::Bytes;
using Segments = std::vector<ScriptedModbusServer::Segment>;

std::uint16_t TransactionOf(const Bytes& frame) {
    return static_cast<std::uint16_t>((frame[0] << 8) | frame[1]);
}

std::uint16_t WordAt(const Bytes& frame, std::size_t offset) {
    return static_cast<std::uint16_t>((frame[offset] << 8) | frame[offset + 1]);
}

// Sets `client` up for `server`, counting the mismatched replies in `mismatches`.
void CountMismatches(TIdModBusClient& client, const ScriptedModbusServer& server, int timeoutMs,
                     int& mismatches) {
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.SetTimeOut(static_cast<std::uint32_t>(timeoutMs));
    client.OnResponseMismatch = [&mismatches](auto, auto, const auto&) { ++mismatches; };
}

class IdModBusClientTest : public ::testing::Test {
protected:
    IdModBusClientTest() { std::iota(fImage.begin(), fImage.end(), std::uint16_t{0x1000}); }

    void Connect(ScriptedModbusServer& server) {
        fClient.SetHost("127.0.0.1");
        fClient.SetPort(server.Port());
        fClient.SetAutoConnect(false);
        fClient.Connect();
    }

    std::array<std::uint16_t, 251> fImage{};
    TIdModBusClient fClient;
};

TEST_F(IdModBusClientTest, ReadsABlockWithTheExactRequestBytes) {
    ScriptedModbusServer server(ScriptedModbusServer::Serving(fImage));
    Connect(server);
    std::array<std::uint16_t, 121> values{};
    ASSERT_TRUE(fClient.ReadHoldingRegisters(1, 121, values));
    EXPECT_EQ(server.Requests().at(0),
              (Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0xFF, 0x03, 0x00, 0x00, 0x00, 0x79}));
    EXPECT_EQ(values[0], 0x1000);
    EXPECT_EQ(values[120], 0x1000 + 120);
    EXPECT_EQ(fClient.LastTransactionID(), 1);

    fClient.SetBaseRegister(0);
    ASSERT_TRUE(fClient.ReadHoldingRegisters(1, 2, values));
    EXPECT_EQ(WordAt(server.Requests().at(1), 8), 1);
    EXPECT_EQ(values[0], 0x1001);
}

TEST_F(IdModBusClientTest, ClampsCountsToTheFunctionLimits) {
    ScriptedModbusServer server([](const Bytes& request) {
        return Segments{
            {ScriptedModbusServer::Frame(TransactionOf(request), 255, {request[7], 0})}};
    });
    Connect(server);
    std::array<std::uint16_t, 300> words{};
    std::array<bool, 300> bits{};
    fClient.ReadHoldingRegisters(1, 200, words);
    fClient.ReadCoils(1, 300, bits);
    fClient.ReadInputBits(1, 300, bits);
    fClient.WriteCoils(1, bits);
    const auto requests = server.Requests();
    EXPECT_EQ(WordAt(requests.at(0), 10), 125);
    EXPECT_EQ(WordAt(requests.at(1), 10), 250);
    EXPECT_EQ(WordAt(requests.at(2), 10), 250);
    EXPECT_EQ(WordAt(requests.at(3), 10), 250);
    EXPECT_EQ(requests.at(3).size(), 13u + 32u);
}

TEST_F(IdModBusClientTest, TransactionIdentifierWrapsAfter65535AndRestartsOnConnect) {
    ScriptedModbusServer server(ScriptedModbusServer::Serving(fImage));
    Connect(server);
    std::uint16_t value = 0;
    for (int i = 0; i < 65535; ++i) {
        ASSERT_TRUE(fClient.ReadHoldingRegister(1, value));
    }
    EXPECT_EQ(fClient.LastTransactionID(), 65535);
    ASSERT_TRUE(fClient.ReadHoldingRegister(1, value));
    EXPECT_EQ(TransactionOf(server.Requests().back()), 0);
    fClient.Disconnect();
    fClient.Connect();
    EXPECT_EQ(fClient.LastTransactionID(), 0);
    ASSERT_TRUE(fClient.ReadHoldingRegister(1, value));
    EXPECT_EQ(TransactionOf(server.Requests().back()), 1);
}

TEST_F(IdModBusClientTest, ExceptionAndMismatchRepliesReachTheirEvents) {
    ScriptedModbusServer server([](const Bytes& request) {
        const Bytes pdu = request[8] == 0 ? Bytes{0x83, 0x02} : Bytes{0x04, 0x02, 0x00, 0x01};
        return Segments{{ScriptedModbusServer::Frame(TransactionOf(request), 255, pdu)}};
    });
    Connect(server);
    std::optional<std::pair<int, int>> error;
    std::optional<std::pair<int, int>> mismatch;
    fClient.OnResponseError = [&](std::uint8_t code, std::uint8_t exception,
                                  const TModBusResponseBuffer& reply) {
        error = {code, exception};
        EXPECT_EQ(reply.FunctionCode(), 0x83);
    };
    fClient.OnResponseMismatch = [&](std::uint8_t request, std::uint8_t response,
                                     const TModBusResponseBuffer&) {
        mismatch = {request, response};
    };
    std::array<std::uint16_t, 4> values{};
    values.fill(7);
    EXPECT_FALSE(fClient.ReadHoldingRegisters(1, 4, values));
    EXPECT_EQ(error, (std::pair<int, int>{3, 2}));
    EXPECT_EQ(values, (std::array<std::uint16_t, 4>{}));
    EXPECT_FALSE(fClient.ReadHoldingRegisters(0x0101, 4, values));
    EXPECT_EQ(mismatch, (std::pair<int, int>{3, 4}));
}

// Replies to a read of two registers at 1 that must not pass for it, and two that must.
TEST_F(IdModBusClientTest, OnlyAWellFormedReplyToThisRequestIsTaken) {
    enum class Outcome { Read, Mismatch, TimedOut };
    struct Case {
        const char* name;
        std::function<Segments(const Bytes& request)> reply;
        Outcome outcome;
    };
    const Bytes good = {0x03, 0x04, 0x12, 0x34, 0x56, 0x78};
    auto frame = [](std::uint16_t id, const Bytes& pdu) {
        return ScriptedModbusServer::Frame(id, 255, pdu);
    };
    const Case cases[] = {
        {"one register short",
         [&](const Bytes& r) {
             return Segments{{frame(TransactionOf(r), {0x03, 0x02, 0x12, 0x34})}};
         },
         Outcome::Mismatch},
        {"byte count beyond the frame",
         [&](const Bytes& r) {
             return Segments{{frame(TransactionOf(r), {0x03, 0x06, 0x12, 0x34, 0x56, 0x78})}};
         },
         Outcome::Mismatch},
        {"frame longer than its byte count",
         [&](const Bytes& r) {
             return Segments{{frame(TransactionOf(r), {0x03, 0x04, 0x12, 0x34, 0x56, 0x78, 0})}};
         },
         Outcome::Mismatch},
        {"an exception reply with a byte more",
         [&](const Bytes& r) {
             return Segments{{frame(TransactionOf(r), {0x83, 0x02, 0x00})}};
         },
         Outcome::Mismatch},
        {"another transaction",
         [&](const Bytes& r) {
             return Segments{{frame(static_cast<std::uint16_t>(TransactionOf(r) + 1), good)}};
         },
         Outcome::TimedOut},
        {"another protocol",
         [&](const Bytes& r) {
             Bytes reply = frame(TransactionOf(r), good);
             reply[3] = 1;
             return Segments{{reply}};
         },
         Outcome::TimedOut},
        {"a stale reply, then the right one",
         [&](const Bytes& r) {
             const Bytes stale = frame(static_cast<std::uint16_t>(TransactionOf(r) + 7),
                                       {0x03, 0x04, 0xDE, 0xAD, 0xBE, 0xEF});
             return Segments{{stale}, {frame(TransactionOf(r), good), 20}};
         },
         Outcome::Read},
        {"another unit identifier",
         [&](const Bytes& r) {
             return Segments{{ScriptedModbusServer::Frame(TransactionOf(r), 9, good)}};
         },
         Outcome::Read},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedModbusServer server(c.reply);
        int mismatches = 0;
        TIdModBusClient client;
        CountMismatches(client, server, 200, mismatches);
        std::array<std::uint16_t, 2> values{};
        const bool read = client.ReadHoldingRegisters(1, 2, values);
        EXPECT_EQ(read, c.outcome == Outcome::Read);
        EXPECT_EQ(mismatches, c.outcome == Outcome::Mismatch ? 1 : 0);
        const std::array<std::uint16_t, 2> expected =
            read ? std::array<std::uint16_t, 2>{0x1234, 0x5678} : std::array<std::uint16_t, 2>{};
        EXPECT_EQ(values, expected);
    }
}

// A write counts as done only when the reply echoes the request's address and its value (5,
// 6) or quantity (15, 16); an echo that differs in any of them is a mismatch.
TEST_F(IdModBusClientTest, WritesAreConfirmedOnlyByTheirExactEcho) {
    struct Case {
        const char* name;
        std::function<bool(TIdModBusClient&)> write;
        std::size_t corrupt; // offset of the echo byte to change; 0: none
    };
    const std::array<std::uint16_t, 3> words = {1, 2, 3};
    const std::array<bool, 10> bits = {true, false, true};
    const Case cases[] = {
        {"register", [](TIdModBusClient& c) { return c.WriteRegister(5, 0x1234); }, 0},
        {"register, other value", [](TIdModBusClient& c) { return c.WriteRegister(5, 0x1234); },
         11},
        {"register, other address", [](TIdModBusClient& c) { return c.WriteRegister(5, 7); }, 9},
        {"coil", [](TIdModBusClient& c) { return c.WriteCoil(5, true); }, 0},
        {"coil, other state", [](TIdModBusClient& c) { return c.WriteCoil(5, true); }, 10},
        {"registers", [&](TIdModBusClient& c) { return c.WriteRegisters(9, words); }, 0},
        {"registers, other quantity",
         [&](TIdModBusClient& c) { return c.WriteRegisters(9, words); }, 11},
        {"registers, other address", [&](TIdModBusClient& c) { return c.WriteRegisters(9, words); },
         8},
        {"coils", [&](TIdModBusClient& c) { return c.WriteCoils(9, bits); }, 0},
        {"coils, other quantity", [&](TIdModBusClient& c) { return c.WriteCoils(9, bits); }, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedModbusServer server([&c](const Bytes& request) {
            Bytes echo(request.begin(), request.begin() + 12);
            echo[5] = 6;
            if (c.corrupt != 0) {
                echo[c.corrupt] ^= 0x01;
            }
            return Segments{{echo}};
        });
        int mismatches = 0;
        TIdModBusClient client;
        CountMismatches(client, server, 500, mismatches);
        EXPECT_EQ(c.write(client), c.corrupt == 0);
        EXPECT_EQ(mismatches, c.corrupt == 0 ? 0 : 1);
    }
}

// The tail of a reply that comes after its time-out must not be taken for the next reply's
// header: the next read, answered on time, succeeds.
TEST_F(IdModBusClientTest, ALateTailDoesNotCostTheNextRead) {
    ScriptedModbusServer server([this](const Bytes& request) {
        const Bytes reply = ScriptedModbusServer::ImageReply(request, fImage);
        if (TransactionOf(request) != 1) {
            return Segments{{reply}};
        }
        return Segments{{Bytes(reply.begin(), reply.begin() + 9)},
                        {Bytes(reply.begin() + 9, reply.end()), 300}};
    });
    Connect(server);
    fClient.SetTimeOut(150);
    std::array<std::uint16_t, 4> values{};
    EXPECT_FALSE(fClient.ReadHoldingRegisters(1, 4, values));
    if (!fClient.Connected()) {
        fClient.Connect();
    }
    fClient.SetTimeOut(2000);
    EXPECT_TRUE(fClient.ReadHoldingRegisters(1, 4, values));
    EXPECT_EQ(values[3], 0x1003);
}

TEST_F(IdModBusClientTest, ReassemblesAReplySplitOverSegments) {
    ScriptedModbusServer server([this](const Bytes& request) {
        const Bytes reply = ScriptedModbusServer::ImageReply(request, fImage);
        const auto third = static_cast<long>(reply.size() / 3);
        return Segments{{Bytes(reply.begin(), reply.begin() + 5)},
                        {Bytes(reply.begin() + 5, reply.begin() + third), 30},
                        {Bytes(reply.begin() + third, reply.end()), 30}};
    });
    Connect(server);
    std::array<std::uint16_t, 124> values{};
    ASSERT_TRUE(fClient.ReadHoldingRegisters(122, 124, values));
    EXPECT_EQ(values[0], 0x1000 + 121);
    EXPECT_EQ(values[123], 0x1000 + 244);
}

TEST_F(IdModBusClientTest, DiscardsTheLateReplyOfATimedOutRequest) {
    ScriptedModbusServer server([this](const Bytes& request) {
        if (TransactionOf(request) == 1) {
            return Segments{};
        }
        Bytes late = ScriptedModbusServer::Frame(1, 255, {0x03, 0x02, 0xDE, 0xAD});
        return Segments{{late}, {ScriptedModbusServer::ImageReply(request, fImage), 20}};
    });
    Connect(server);
    fClient.SetTimeOut(150);
    std::uint16_t value = 0;
    EXPECT_FALSE(fClient.ReadHoldingRegister(1, value));
    EXPECT_TRUE(fClient.ReadHoldingRegister(3, value));
    EXPECT_EQ(value, 0x1002);
}

TEST_F(IdModBusClientTest, SilentServerTimesOutWithoutAnEvent) {
    ScriptedModbusServer server([](const Bytes&) { return Segments{}; });
    Connect(server);
    fClient.SetTimeOut(100);
    bool evented = false;
    fClient.OnResponseError = [&](auto, auto, const auto&) { evented = true; };
    fClient.OnResponseMismatch = [&](auto, auto, const auto&) { evented = true; };
    std::array<std::uint16_t, 2> values{};
    EXPECT_FALSE(fClient.ReadHoldingRegisters(1, 2, values));
    EXPECT_FALSE(evented);
}

TEST_F(IdModBusClientTest, ProtocolAndConnectionErrorsRaise) {
    ScriptedModbusServer badLength([](const Bytes& request) {
        Bytes frame = ScriptedModbusServer::Frame(TransactionOf(request), 255, {0x03});
        frame[5] = 1;
        return Segments{{frame}};
    });
    Connect(badLength);
    std::uint16_t value = 0;
    EXPECT_THROW(fClient.ReadHoldingRegister(1, value), ETcpError);

    ScriptedModbusServer closing([](const Bytes&) { return Segments{{{}, 0, true}}; });
    TIdModBusClient second;
    second.SetHost("127.0.0.1");
    second.SetPort(closing.Port());
    second.SetAutoConnect(false);
    second.Connect();
    EXPECT_THROW(second.ReadHoldingRegister(1, value), ETcpError);
    EXPECT_THROW(second.ReadHoldingRegister(1, value), ETcpError) << "not connected any more";

    TIdModBusClient refused;
    refused.SetHost("127.0.0.1");
    refused.SetPort(1);
    try {
        refused.Connect();
        FAIL() << "connect to a closed port succeeded";
    } catch (const ETcpError& error) {
        EXPECT_STREQ(error.what(), "Socket Error # 111\r\nConnection refused.");
    }
}

TEST_F(IdModBusClientTest, AutoConnectOpensAndClosesPerOperation) {
    ScriptedModbusServer server(ScriptedModbusServer::Serving(fImage));
    fClient.SetHost("127.0.0.1");
    fClient.SetPort(server.Port());
    std::uint16_t value = 0;
    ASSERT_TRUE(fClient.ReadHoldingRegister(6, value));
    EXPECT_EQ(value, 0x1005);
    EXPECT_FALSE(fClient.Connected());
    EXPECT_EQ(fClient.Version(), "1.5.1");
}

TEST_F(IdModBusClientTest, TypedConversionsAndStrings) {
    const std::array<std::uint16_t, 8> image = {0x1234, 0x5678, 0x0000, 0x3F80,
                                                0x4142, 0x4344, 0x4546, 0};
    ScriptedModbusServer server([&image](const Bytes& request) {
        if (request[7] == 16 || request[7] == 15) {
            const Bytes echo(request.begin() + 7, request.begin() + 12);
            return Segments{{ScriptedModbusServer::Frame(TransactionOf(request), 255, echo)}};
        }
        return Segments{{ScriptedModbusServer::ImageReply(request, image)}};
    });
    Connect(server);
    fClient.SetBaseRegister(0);
    std::uint32_t dword = 0;
    float single = 0;
    ASSERT_TRUE(fClient.ReadDWord(0, dword));
    EXPECT_EQ(dword, 0x12345678u);
    ASSERT_TRUE(fClient.ReadSingle(2, single));
    EXPECT_EQ(single, 1.0f);
    EXPECT_EQ(fClient.ReadString(4, 5), "ABCDE");

    EXPECT_FALSE(fClient.WriteString(0, ""));
    ASSERT_TRUE(fClient.WriteString(0, "ABC"));
    ASSERT_TRUE(fClient.WriteDouble(0, std::bit_cast<double>(0x1111222233334444ull)));
    const std::array<bool, 9> coils = {true, false, true, false, false, false, false, true, true};
    ASSERT_TRUE(fClient.WriteCoils(0, coils));
    const auto requests = server.Requests();
    const Bytes& text = requests.at(requests.size() - 3);
    EXPECT_EQ(Bytes(text.begin() + 12, text.end()), (Bytes{4, 0x41, 0x42, 0x43, 0x00}));
    EXPECT_EQ(WordAt(text, 4), 4 + 7);
    const Bytes& dbl = requests.at(requests.size() - 2);
    EXPECT_EQ(WordAt(dbl, 13), 0x4444);
    EXPECT_EQ(WordAt(dbl, 19), 0x1111);
    const Bytes& bits = requests.back();
    EXPECT_EQ(Bytes(bits.begin() + 10, bits.end()), (Bytes{0, 9, 2, 0x85, 0x01}));
}

// A name server that does not answer holds up no abort: the lookup runs on a thread of its
// own and an interrupt ends the wait for it.
TEST(TcpConnectionTest, AnInterruptEndsASlowNameLookup) {
    auto started = std::make_shared<std::atomic<bool>>(false);
    TcpConnection connection;
    connection.SetLookup([started](const std::string&, std::uint16_t) -> sockaddr_in {
        *started = true;
        std::this_thread::sleep_for(std::chrono::seconds(10));
        throw ETcpError("answered too late");
    });
    std::jthread interrupter([&connection, started] {
        while (!*started) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        connection.Interrupt();
    });
    const auto start = std::chrono::steady_clock::now();
    try {
        connection.Connect("module.invalid", 502, 5000);
        ADD_FAILURE() << "connected";
    } catch (const ETcpError& error) {
        EXPECT_STREQ(error.what(), "Operation aborted");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

} // namespace
} // namespace kalvo
