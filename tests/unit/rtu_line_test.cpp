#include "acquisition/rtu_line.h"
#include "fleet_observer.h"
#include "pty_peer.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace kalvo {
namespace {

using test::FleetObserver;
using test::PtyPeer;
using Bytes = PtyPeer::Bytes;
using Chunks = std::vector<PtyPeer::Chunk>;
using namespace std::chrono_literals;

// A bus of devices behind one pseudo-terminal, each answering after `delayMs`: addresses 1
// and 2 with their registers (address * 1000 + register), 3 never, 4 with exception 2.
PtyPeer::Handler Bus(int delayMs) {
    return [delayMs](const Bytes& frame) -> Chunks {
        if (frame.size() != 8 || frame[1] != 0x03 || frame[0] == 3) {
            return {};
        }
        if (frame[0] == 4) {
            return {{PtyPeer::WithCrc({4, 0x83, 0x02}), delayMs}};
        }
        const int first = (frame[2] << 8) | frame[3];
        const int count = (frame[4] << 8) | frame[5];
        Bytes reply = {frame[0], 0x03, static_cast<std::uint8_t>(2 * count)};
        for (int i = 0; i < count; ++i) {
            const int value = frame[0] * 1000 + first + i;
            reply.push_back(static_cast<std::uint8_t>(value >> 8));
            reply.push_back(static_cast<std::uint8_t>(value));
        }
        return {{PtyPeer::WithCrc(reply), delayMs}};
    };
}

std::uint16_t FirstOf(const Bytes& request) {
    return static_cast<std::uint16_t>((request[2] << 8) | request[3]);
}

// The modules on one line ask in turn, block A then B, and a slow reply is waited for
// before anyone else asks: the bus never carries two talkers. A silent module and one that
// answers with an exception hold up no other; each module's image is its own device's.
TEST(RtuLineTest, ModulesTakeTurnsOneRequestOnTheLineAtATime) {
    PtyPeer peer(Bus(30));
    FleetObserver seen(4);
    RtuLine line({peer.Path(), 9600, {1, 3, 4, 2}, 10ms, {}}, seen.Events());
    line.Start();
    EXPECT_TRUE(seen.WaitFor([&] { return seen.fGood[3] >= 2; }));
    line.Stop();
    line.Join();

    EXPECT_EQ(peer.Overlaps(), 0);
    const std::vector<Bytes> frames = peer.Frames();
    const int a = SpanOf(RegisterBlock::A).First;
    const int b = SpanOf(RegisterBlock::B).First;
    const std::vector<std::pair<int, int>> round = {{1, a}, {1, b}, {3, a}, {4, a}, {2, a}, {2, b}};
    ASSERT_GE(frames.size(), 2 * round.size());
    for (std::size_t i = 0; i < 2 * round.size(); ++i) {
        EXPECT_EQ(std::make_pair(int(frames[i][0]), int(FirstOf(frames[i]))),
                  round[i % round.size()])
            << i;
    }
    std::lock_guard lock(seen.fMutex);
    for (const auto& [module, address] : {std::pair{0, 1}, std::pair{3, 2}}) {
        EXPECT_EQ(seen.fImages[module][b + 3], address * 1000 + b + 3);
        EXPECT_TRUE(seen.fFailures[module].empty());
        // The stop may have come with a request in flight.
        const CommStatisticsRecord statistics = line.Statistics(module);
        EXPECT_GE(statistics.Responses, 2 * seen.fGood[module]);
        EXPECT_EQ(statistics.NoResponses, 0);
    }
    EXPECT_EQ(seen.fFailures[1].front(), "No reply");
    EXPECT_EQ(line.Statistics(1).NoResponses, static_cast<std::int32_t>(seen.fFailures[1].size()));
    EXPECT_EQ(seen.fFailures[2].front(), "Modbus exception 2");
    EXPECT_EQ(line.Statistics(2).Exceptions, static_cast<std::int32_t>(seen.fFailures[2].size()));
}

// A USB adapter pulled out and plugged back in: the reads fail while it is away, naming why,
// and the line opens the port again at the next turn.
TEST(RtuLineTest, APortThatGoesAwayIsOpenedAgain) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("rtu_line_test." + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path link = folder / "ttyUSB0";
    auto peer = std::make_unique<PtyPeer>(Bus(0));
    std::filesystem::create_symlink(peer->Path(), link);
    FleetObserver seen(1);
    RtuLine line({link.string(), 9600, {1}, 20ms, {}}, seen.Events());
    line.Start();
    EXPECT_TRUE(seen.WaitFor([&] { return seen.fGood[0] >= 1; }));
    // Unplugged: the device goes away with its name.
    peer->HangUp();
    peer.reset();
    std::filesystem::remove(link);
    EXPECT_TRUE(seen.WaitFor([&] {
        return !seen.fFailures[0].empty() &&
               seen.fFailures[0].back().find("Could not open serial port: ") != std::string::npos;
    })) << (seen.fFailures[0].empty() ? "" : seen.fFailures[0].back());
    peer = std::make_unique<PtyPeer>(Bus(0));
    std::filesystem::create_symlink(peer->Path(), link);
    int good = 0;
    {
        std::lock_guard lock(seen.fMutex);
        good = seen.fGood[0];
    }
    EXPECT_TRUE(seen.WaitFor([&] { return seen.fGood[0] >= good + 2; }));
    line.Stop();
    line.Join();
    std::filesystem::remove_all(folder);
}

// A read given up for stuck completes late, while the next module waits for its own: the
// late completion is never taken for another module's read.
TEST(RtuLineTest, ALateCompletionReachesNoOtherModule) {
    PtyPeer peer(Bus(150));
    FleetObserver seen(2);
    RtuLine line({peer.Path(), 9600, {1, 2}, 10ms, {}, 100ms}, seen.Events());
    line.Start();
    EXPECT_TRUE(seen.WaitFor([&] { return seen.fFailures[1].size() >= 3; }));
    line.Stop();
    line.Join();
    std::lock_guard lock(seen.fMutex);
    for (int module = 0; module < 2; ++module) {
        for (int i = 0; i < ModbusRegisters::kCount; ++i) {
            const int value = seen.fImages[static_cast<std::size_t>(module)][i];
            ASSERT_TRUE(value == 0 || value / 1000 == module + 1) << module << ' ' << i;
        }
    }
}

// Stop wakes the pause between rounds: it does not wait out the interval.
TEST(RtuLineTest, StopEndsThePauseAtOnce) {
    PtyPeer peer(Bus(0));
    FleetObserver seen(1);
    RtuLine line({peer.Path(), 9600, {1}, 60000ms, {}}, seen.Events());
    line.Start();
    EXPECT_TRUE(seen.WaitFor([&] { return seen.fGood[0] >= 1; }));
    const auto stopped = std::chrono::steady_clock::now();
    line.Stop();
    line.Join();
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 2s);
}

} // namespace
} // namespace kalvo
