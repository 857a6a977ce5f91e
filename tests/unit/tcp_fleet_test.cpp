#include "acquisition/tcp_fleet.h"
#include "fleet_observer.h"
#include "scripted_modbus_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <condition_variable>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <numeric>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace kalvo {
namespace {

using Observed = test::FleetObserver;
using test::ScriptedModbusServer;
using Bytes = ScriptedModbusServer::Bytes;
using Segments = std::vector<ScriptedModbusServer::Segment>;
using namespace std::chrono_literals;

std::uint16_t WordAt(const Bytes& frame, std::size_t offset) {
    return static_cast<std::uint16_t>((frame[offset] << 8) | frame[offset + 1]);
}

std::uint16_t TransactionOf(const Bytes& frame) {
    return WordAt(frame, 0);
}

// A listening socket on a free loopback port, for a peer the test plays itself.
int LoopbackListener(std::uint16_t& port) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
    EXPECT_EQ(listen(listener, 1), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    return listener;
}

class TcpFleetTest : public ::testing::Test {
protected:
    TcpFleetTest() { std::iota(fImage.begin(), fImage.end(), std::uint16_t{0x4000}); }

    void Start(TcpFleet& fleet) {
        fThread = std::thread([&fleet] { fleet.Run(); });
    }
    void StopAndJoin(TcpFleet& fleet) {
        fleet.Stop();
        fThread.join();
    }

    std::array<std::uint16_t, ModbusRegisters::kCount> fImage{};
    std::thread fThread;
};

// Modules on their own servers are all read, both blocks, again and again; each image holds
// exactly what its server sent.
TEST_F(TcpFleetTest, ReadsEveryModuleWholeAndAgain) {
    std::vector<std::unique_ptr<ScriptedModbusServer>> servers;
    std::vector<TcpFleet::Target> targets;
    for (int i = 0; i < 3; ++i) {
        servers.push_back(
            std::make_unique<ScriptedModbusServer>(ScriptedModbusServer::Serving(fImage)));
        targets.push_back({"127.0.0.1", servers.back()->Port()});
    }
    Observed seen(3);
    TcpFleet fleet(targets, {50ms, 1000ms}, seen.Events());
    Start(fleet);
    EXPECT_TRUE(seen.WaitFor(
        [&] { return std::ranges::all_of(seen.fGood, [](int good) { return good >= 3; }); }));
    StopAndJoin(fleet);
    for (std::size_t m = 0; m < 3; ++m) {
        for (int i = 0; i < 245; ++i) {
            ASSERT_EQ(seen.fImages[m][i], fImage[static_cast<std::size_t>(i)]) << m << ' ' << i;
        }
        const CommStatisticsRecord statistics = fleet.Statistics(m);
        EXPECT_EQ(statistics.Requests, statistics.Responses);
        EXPECT_TRUE(seen.fFailures[m].empty());
    }
}

// Each way a read can fail is counted as the single-module client counts it, named in the
// failure, and the module is read again at its next cycle once its server behaves.
TEST_F(TcpFleetTest, FailuresAreCountedAndTheModuleRecovers) {
    struct Case {
        const char* name;
        std::function<Segments(const Bytes&)> bad;
        std::int32_t CommStatisticsRecord::*counter;
        const char* reason;
    };
    const auto serve = ScriptedModbusServer::Serving(fImage);
    const Case cases[] = {
        {"silence", [](const Bytes&) { return Segments{}; }, &CommStatisticsRecord::NoResponses,
         "No reply within 200 ms"},
        {"another transaction",
         [&](const Bytes& r) {
             Bytes reply = ScriptedModbusServer::ImageReply(r, fImage);
             reply[1] ^= 0x55;
             return Segments{{reply}};
         },
         &CommStatisticsRecord::NoResponses, "No reply within 200 ms"},
        {"an exception",
         [](const Bytes& r) {
             return Segments{{ScriptedModbusServer::Frame(TransactionOf(r), 1, {0x83, 0x02})}};
         },
         &CommStatisticsRecord::Exceptions, "Modbus exception 2"},
        {"a short reply",
         [](const Bytes& r) {
             return Segments{
                 {ScriptedModbusServer::Frame(TransactionOf(r), 1, {0x03, 0x02, 0x12, 0x34})}};
         },
         &CommStatisticsRecord::Unmatched, "Reply does not match the request"},
        {"a length out of range",
         [](const Bytes& r) {
             return Segments{{Bytes{r[0], r[1], 0, 0, 0x01, 0x00, 1, 3}}};
         },
         &CommStatisticsRecord::Invalid, "Invalid Modbus/TCP reply"},
        {"a closed connection",
         [](const Bytes&) {
             return Segments{{{}, 0, true}};
         },
         &CommStatisticsRecord::NoResponses, "Connection Closed Gracefully."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<int> requests = 0;
        ScriptedModbusServer server(
            [&](const Bytes& r) { return ++requests == 1 ? c.bad(r) : serve(r); });
        Observed seen(1);
        TcpFleet fleet({{"127.0.0.1", server.Port()}}, {50ms, 200ms}, seen.Events());
        Start(fleet);
        EXPECT_TRUE(seen.WaitFor([&] { return seen.fGood[0] >= 1; }));
        StopAndJoin(fleet);
        ASSERT_EQ(seen.fFailures[0].size(), 1U);
        EXPECT_EQ(seen.fFailures[0][0].rfind(c.reason, 0), 0U) << seen.fFailures[0][0];
        EXPECT_EQ(fleet.Statistics(0).*c.counter, 1);
    }
}

// The module is asked as the direct unit, as a single module is; and a peer that sends the
// next reply before it is asked (here with other data) is not read ahead of time: what
// waits when a request goes out answers nothing.
TEST_F(TcpFleetTest, AsksTheDirectUnitAndTakesNoReplySentBeforeItsRequest) {
    ScriptedModbusServer server([this](const Bytes& request) {
        Bytes reply = ScriptedModbusServer::ImageReply(request, fImage);
        if (WordAt(request, 10) == SpanOf(RegisterBlock::A).Count) {
            Bytes early(2 + 2 * static_cast<std::size_t>(SpanOf(RegisterBlock::B).Count), 0xDE);
            early[0] = 0x03;
            early[1] = static_cast<std::uint8_t>(early.size() - 2);
            const Bytes next = ScriptedModbusServer::Frame(
                static_cast<std::uint16_t>(TransactionOf(request) + 1), 255, early);
            reply.insert(reply.end(), next.begin(), next.end());
        }
        return Segments{{reply}};
    });
    Observed seen(1);
    TcpFleet fleet({{"127.0.0.1", server.Port()}}, {50ms, 1000ms}, seen.Events());
    Start(fleet);
    EXPECT_TRUE(seen.WaitFor([&] { return seen.fGood[0] >= 3; }));
    StopAndJoin(fleet);
    for (int i = 0; i < 245; ++i) {
        ASSERT_EQ(seen.fImages[0][i], fImage[static_cast<std::size_t>(i)]) << i;
    }
    for (const Bytes& request : server.Requests()) {
        EXPECT_EQ(request[6], 255);
    }
}

// A module that does not answer holds up no other: while one waits out its time-out, the
// others go on being read at their interval.
TEST_F(TcpFleetTest, ASilentModuleHoldsUpNoOther) {
    ScriptedModbusServer silent([](const Bytes&) { return Segments{}; });
    ScriptedModbusServer good(ScriptedModbusServer::Serving(fImage));
    Observed seen(3);
    TcpFleet fleet({{"127.0.0.1", silent.Port()}, {"127.0.0.1", good.Port()}, {"127.0.0.1", 1}},
                   {20ms, 5000ms}, seen.Events());
    Start(fleet);
    EXPECT_TRUE(seen.WaitFor([&] { return seen.fGood[1] >= 10 && !seen.fFailures[2].empty(); }));
    StopAndJoin(fleet);
    EXPECT_TRUE(seen.fFailures[0].empty());
    EXPECT_EQ(seen.fGood[0], 0);
    EXPECT_EQ(fleet.Statistics(2).NoResponses, static_cast<std::int32_t>(seen.fFailures[2].size()));
}

// A peer that sends without end (frames that answer nothing) holds up no other module and
// does not fill the memory: the fleet reads it a bounded amount at a time.
TEST_F(TcpFleetTest, APeerThatNeverStopsSendingHoldsUpNoOther) {
    std::uint16_t port = 0;
    const int listener = LoopbackListener(port);
    std::atomic<int> peer = -1;
    std::thread flood([&] {
        peer = accept(listener, nullptr, nullptr);
        // A reply to transaction 0xFFFF, which the fleet never asks for first.
        std::vector<std::uint8_t> frames;
        for (int i = 0; i < 4096; ++i) {
            frames.insert(frames.end(), {0xFF, 0xFF, 0, 0, 0, 3, 1, 3, 0});
        }
        while (send(peer, frames.data(), frames.size(), MSG_NOSIGNAL) > 0) {
        }
    });
    ScriptedModbusServer good(ScriptedModbusServer::Serving(fImage));
    Observed seen(2);
    TcpFleet fleet({{"127.0.0.1", port}, {"127.0.0.1", good.Port()}}, {20ms, 60000ms},
                   seen.Events());
    Start(fleet);
    EXPECT_TRUE(seen.WaitFor([&] { return seen.fGood[1] >= 10; }));
    StopAndJoin(fleet);
    // The fleet reads no more: the flood's send would wait for ever.
    shutdown(peer, SHUT_RDWR);
    flood.join();
    close(peer);
    close(listener);
}

long ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:")) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

// What a module sends while nothing is asked is dropped as it comes, not kept until the next
// cycle: a peer that answers, then floods the line for the rest of the interval, leaves the
// memory as it was.
TEST_F(TcpFleetTest, WhatComesBetweenCyclesIsNotKept) {
    std::uint16_t port = 0;
    const int listener = LoopbackListener(port);
    std::atomic<bool> flooding = true;
    std::atomic<int> client = -1;
    std::thread peer([&] {
        client = accept(listener, nullptr, nullptr);
        // Whole frames that answer nothing (transaction 0xFFFF), sent whole.
        Bytes junk;
        for (int i = 0; i < 1024; ++i) {
            junk.insert(junk.end(), {0xFF, 0xFF, 0, 0, 0, 3, 1, 3, 0});
        }
        Bytes request;
        while (flooding) {
            pollfd watch{client, POLLIN | POLLOUT, 0};
            poll(&watch, 1, 100);
            if ((watch.revents & POLLIN) != 0) {
                std::uint8_t chunk[12];
                const ssize_t count = recv(client, chunk, sizeof chunk, 0);
                if (count <= 0) {
                    break;
                }
                request.insert(request.end(), chunk, chunk + count);
                if (request.size() == 12) {
                    const Bytes reply = ScriptedModbusServer::ImageReply(request, fImage);
                    send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
                    request.clear();
                }
            } else if ((watch.revents & POLLOUT) != 0) {
                send(client, junk.data(), junk.size(), MSG_NOSIGNAL);
            }
        }
    });
    Observed seen(1);
    TcpFleet fleet({{"127.0.0.1", port}}, {1000ms, 60000ms}, seen.Events());
    const long before = ResidentKilobytes();
    Start(fleet);
    EXPECT_TRUE(seen.WaitFor([&] { return seen.fGood[0] >= 2; }));
    const long grown = ResidentKilobytes() - before;
    StopAndJoin(fleet);
    // The fleet reads no more: a send of the peer's would wait for ever.
    flooding = false;
    shutdown(client, SHUT_RDWR);
    peer.join();
    close(client);
    close(listener);
    EXPECT_LT(grown, 100'000) << "kB";
}

// Stop ends Run at once, also while every module waits on a long time-out.
TEST_F(TcpFleetTest, StopEndsTheRunAtOnce) {
    ScriptedModbusServer silent([](const Bytes&) { return Segments{}; });
    Observed seen(1);
    TcpFleet fleet({{"127.0.0.1", silent.Port()}}, {10ms, 15000ms}, seen.Events());
    Start(fleet);
    std::this_thread::sleep_for(100ms);
    const auto before = std::chrono::steady_clock::now();
    StopAndJoin(fleet);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
}

} // namespace
} // namespace kalvo
