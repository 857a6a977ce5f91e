#include "paced_line.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace kalvo::test {
namespace {

using Clock = std::chrono::steady_clock;

// A device end: the master of a pseudo-terminal whose slave the paced line opens.
struct Device {
    Device() {
        termios raw{};
        cfmakeraw(&raw);
        char name[256] = {};
        openpty(&Master, &Slave, name, &raw, nullptr);
        Path = name;
    }
    ~Device() {
        close(Slave);
        close(Master);
    }
    int Master = -1;
    int Slave = -1;
    std::string Path;
};

int OpenNear(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios raw{};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
    return fd;
}

// The arrival time of each of `count` bytes read from `fd`, in ms after `start`.
std::vector<double> Arrivals(int fd, int count, Clock::time_point start) {
    std::vector<double> times;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (static_cast<int>(times.size()) < count && Clock::now() < deadline) {
        pollfd readable{fd, POLLIN, 0};
        poll(&readable, 1, 100);
        unsigned char bytes[256];
        const ssize_t n = read(fd, bytes, sizeof bytes);
        const double at = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        for (ssize_t i = 0; i < n; ++i) {
            times.push_back(at);
        }
    }
    return times;
}

// A 200-byte reply at 9600 baud 8N1 takes 200 x 1.0417 ms, byte by byte, in either direction.
TEST(PacedLine, HandsEachByteOverAtItsLineTime) {
    Device device;
    PacedLine line(device.Path, {});
    const int near = OpenNear(line.NearPath());
    const std::vector<unsigned char> burst(200, 0x55);
    const auto start = Clock::now();
    ASSERT_EQ(write(device.Master, burst.data(), burst.size()), 200);
    const std::vector<double> times = Arrivals(near, 200, start);
    ASSERT_EQ(times.size(), 200u);
    double jitter = 0;
    for (std::size_t i = 0; i < times.size(); ++i) {
        const double ideal = times[0] + 1.0417 * static_cast<double>(i);
        jitter = std::max(jitter, std::abs(times[i] - ideal));
    }
    std::printf("paced line: 200 bytes in %.1f ms (ideal 208.3), first byte after %.2f ms, "
                "worst byte %.2f ms off its pace%s\n",
                times.back(), times[0], jitter, line.RealTime() ? ", real-time" : "");
    EXPECT_NEAR(times.back(), 208.3, 20.0);
    EXPECT_GT(times[99], 90.0) << "not handed over in one piece";
    close(near);
}

// An FTDI-type adapter with its 16 ms latency timer hands a reply over in chunks about
// 16 ms apart, with silences between them longer than an RTU frame gap.
TEST(PacedLine, AnAdapterHandsBytesOverInChunks) {
    Device device;
    PacedLine::Settings settings;
    settings.LatencyTimerMs = 16;
    PacedLine line(device.Path, settings);
    const int near = OpenNear(line.NearPath());
    const std::vector<unsigned char> burst(100, 0x55);
    const auto start = Clock::now();
    ASSERT_EQ(write(device.Master, burst.data(), burst.size()), 100);
    const std::vector<double> times = Arrivals(near, 100, start);
    ASSERT_EQ(times.size(), 100u);
    int chunks = 1;
    for (std::size_t i = 1; i < times.size(); ++i) {
        if (times[i] - times[i - 1] > 10.0) {
            ++chunks;
        }
    }
    EXPECT_GE(chunks, 5);
    EXPECT_LE(chunks, 8);
    EXPECT_NEAR(times.back(), 120.0, 25.0);
    close(near);
}

} // namespace
} // namespace kalvo::test
