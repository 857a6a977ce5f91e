#include "paced_line.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace kalvo::test {

namespace {

void MakeRaw(int fd) {
    termios raw{};
    if (tcgetattr(fd, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(fd, TCSANOW, &raw);
    }
}

void SleepUntil(std::chrono::steady_clock::time_point at) {
    const auto since = at.time_since_epoch();
    timespec when{};
    when.tv_sec =
        static_cast<time_t>(std::chrono::duration_cast<std::chrono::seconds>(since).count());
    when.tv_nsec = static_cast<long>((since - std::chrono::seconds(when.tv_sec)).count());
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr) == EINTR) {
    }
}

} // namespace

PacedLine::PacedLine(const std::string& farDevice, const Settings& settings,
                     const std::string& nearLink)
    : fSettings(settings),
      fByteTime(std::chrono::nanoseconds(1'000'000'000LL * settings.BitsPerByte / settings.Baud)),
      fNearLink(nearLink) {
    fFar = open(farDevice.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fFar < 0) {
        throw std::runtime_error("cannot open " + farDevice);
    }
    MakeRaw(fFar);
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&fNearMaster, &fNearSlave, name, &raw, nullptr) != 0) {
        close(fFar);
        throw std::runtime_error("openpty failed");
    }
    // Holding the near end open keeps the master from reporting a hang-up between clients.
    fcntl(fNearMaster, F_SETFL, fcntl(fNearMaster, F_GETFL) | O_NONBLOCK);
    fNearPath = name;
    if (!fNearLink.empty()) {
        std::filesystem::remove(fNearLink);
        std::filesystem::create_symlink(fNearPath, fNearLink);
    }
    fStop = eventfd(0, EFD_CLOEXEC);
    fRequests = std::thread([this] { RelayRequests(); });
    fReplies = std::thread([this] { RelayReplies(); });
    fStarted.wait();
}

PacedLine::~PacedLine() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(fStop, &one, sizeof one);
    fRequests.join();
    fReplies.join();
    if (!fNearLink.empty()) {
        std::error_code ignored;
        std::filesystem::remove(fNearLink, ignored);
    }
    close(fStop);
    close(fNearSlave);
    close(fNearMaster);
    close(fFar);
}

void PacedLine::SetRealTime() {
    sched_param parameter{};
    parameter.sched_priority = 20;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameter) != 0) {
        fRealTime = false;
    }
    fStarted.count_down();
}

bool PacedLine::WaitReadable(int from, Clock::time_point deadline) const {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - Clock::now() + std::chrono::microseconds(999));
        const int timeout = deadline == Clock::time_point::max()
                                ? 100
                                : static_cast<int>(std::max<std::int64_t>(0, left.count()));
        pollfd fds[2] = {{from, POLLIN, 0}, {fStop, POLLIN, 0}};
        const int ready = poll(fds, 2, timeout);
        if (fds[1].revents != 0) {
            throw std::runtime_error("stopped");
        }
        if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
            return true;
        }
        if (ready > 0) {
            // The other side is not there (a hung-up far end): wait instead of spinning.
            poll(&fds[1], 1, 20);
        }
        if (deadline != Clock::time_point::max() && Clock::now() >= deadline) {
            return false;
        }
    }
}

int PacedLine::ReadSome(int from, unsigned char* bytes, int capacity) const {
    const ssize_t n = read(from, bytes, static_cast<std::size_t>(capacity));
    return n > 0 ? static_cast<int>(n) : 0;
}

void PacedLine::Deliver(int to, const unsigned char* bytes, int count, Clock::time_point at) const {
    SleepUntil(at);
    int written = 0;
    while (written < count) {
        const ssize_t n = write(to, bytes + written, static_cast<std::size_t>(count - written));
        if (n > 0) {
            written += static_cast<int>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        }
    }
}

// Client to device: each byte at its line time after the previous one.
void PacedLine::RelayRequests() {
    SetRealTime();
    try {
        Clock::time_point lineFree = Clock::now();
        unsigned char chunk[512];
        for (;;) {
            WaitReadable(fNearMaster, Clock::time_point::max());
            const int count = ReadSome(fNearMaster, chunk, sizeof chunk);
            // Bytes read together were all there at once: their line times follow each
            // other, however late a sleep wakes.
            const Clock::time_point arrived = Clock::now();
            for (int i = 0; i < count; ++i) {
                fReplyIndex = 0;
                lineFree = std::max(lineFree, arrived) + fByteTime;
                Deliver(fFar, chunk + i, 1, lineFree);
            }
        }
    } catch (const std::runtime_error&) {
        return;
    }
}

// Device to client: each byte at its line time, then either handed over at once or held in
// the emulated adapter until its latency timer runs out or its packet is full.
void PacedLine::RelayReplies() {
    SetRealTime();
    try {
        Clock::time_point lineFree = Clock::now();
        std::vector<unsigned char> held;
        Clock::time_point timerEnds = Clock::time_point::max();
        const auto latency = std::chrono::milliseconds(fSettings.LatencyTimerMs);
        auto flush = [&] {
            Deliver(fNearMaster, held.data(), static_cast<int>(held.size()),
                    std::min(timerEnds, Clock::now()));
            held.clear();
            timerEnds = Clock::time_point::max();
        };
        unsigned char chunk[512];
        for (;;) {
            if (!WaitReadable(fFar, timerEnds)) {
                SleepUntil(timerEnds);
                flush();
                continue;
            }
            const int count = ReadSome(fFar, chunk, sizeof chunk);
            const Clock::time_point arrived = Clock::now();
            for (int i = 0; i < count; ++i) {
                lineFree = std::max(lineFree, arrived) + fByteTime;
                if (fReplyIndex++ == fSettings.PauseBeforeByte && !fPauseDone.exchange(true)) {
                    lineFree += std::chrono::milliseconds(fSettings.PauseMs);
                }
                if (fSettings.LatencyTimerMs <= 0) {
                    Deliver(fNearMaster, chunk + i, 1, lineFree);
                    continue;
                }
                if (!held.empty() && lineFree >= timerEnds) {
                    SleepUntil(timerEnds);
                    flush();
                }
                SleepUntil(lineFree);
                if (held.empty()) {
                    timerEnds = lineFree + latency;
                }
                held.push_back(chunk[i]);
                if (static_cast<int>(held.size()) >= fSettings.PacketBytes) {
                    flush();
                }
            }
        }
    } catch (const std::runtime_error&) {
        return;
    }
}

} // namespace kalvo::test
