#include "pty_peer.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace kalvo::test {

namespace {

constexpr int kFrameGapMs = 5;

} // namespace

PtyPeer::PtyPeer(Handler handler) : fHandler(std::move(handler)) {
    int slave = -1;
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&fMaster, &slave, name, &raw, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    close(slave);
    fcntl(fMaster, F_SETFL, fcntl(fMaster, F_GETFL) | O_NONBLOCK);
    fPath = name;
    fStop = eventfd(0, EFD_CLOEXEC);
    fThread = std::thread([this] { Run(); });
}

PtyPeer::~PtyPeer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(fStop, &one, sizeof one);
    if (fThread.joinable()) {
        fThread.join();
    }
    close(fStop);
    CloseMaster();
}

void PtyPeer::CloseMaster() {
    std::lock_guard lock(fMasterLock);
    if (fMaster >= 0) {
        close(fMaster);
        fMaster = -1;
    }
}

void PtyPeer::HangUp() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(fStop, &one, sizeof one);
    if (fThread.joinable()) {
        fThread.join();
    }
    CloseMaster();
}

std::vector<PtyPeer::Bytes> PtyPeer::Frames() const {
    std::lock_guard lock(fMutex);
    return fFrames;
}

void PtyPeer::Send(const Bytes& bytes) {
    std::lock_guard lock(fMasterLock);
    if (fMaster >= 0) {
        [[maybe_unused]] const ssize_t n = write(fMaster, bytes.data(), bytes.size());
    }
}

bool PtyPeer::WaitReadable(int timeoutMs) const {
    pollfd fds[2] = {{fMaster, POLLIN, 0}, {fStop, POLLIN, 0}};
    poll(fds, 2, timeoutMs);
    if ((fds[0].revents & (POLLIN | POLLHUP)) == POLLHUP) {
        // Nobody holds the near end open yet: sleep on the stop event instead of spinning.
        poll(&fds[1], 1, timeoutMs);
    }
    if (fds[1].revents != 0) {
        throw std::runtime_error("stopped");
    }
    return (fds[0].revents & POLLIN) != 0;
}

void PtyPeer::Run() {
    try {
        for (;;) {
            // Without a reader on the near end the master reports hang-up; wait it out.
            if (!WaitReadable(20)) {
                continue;
            }
            Bytes frame;
            do {
                std::uint8_t chunk[512];
                const ssize_t n = read(fMaster, chunk, sizeof chunk);
                if (n > 0) {
                    frame.insert(frame.end(), chunk, chunk + n);
                }
            } while (WaitReadable(kFrameGapMs));
            if (frame.empty()) {
                continue;
            }
            {
                std::lock_guard lock(fMutex);
                fFrames.push_back(frame);
            }
            for (const Chunk& chunk : fHandler(frame)) {
                pollfd stop{fStop, POLLIN, 0};
                if (poll(&stop, 1, chunk.DelayMsBefore) > 0) {
                    return;
                }
                pollfd input{fMaster, POLLIN, 0};
                if (poll(&input, 1, 0) > 0 && (input.revents & POLLIN) != 0) {
                    ++fOverlaps;
                }
                Send(chunk.Data);
                if (chunk.HangUpAfter) {
                    CloseMaster();
                    return;
                }
            }
        }
    } catch (const std::runtime_error&) {
        return;
    }
}

PtyPeer::Bytes PtyPeer::WithCrc(Bytes bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                                 : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
    return bytes;
}

} // namespace kalvo::test
