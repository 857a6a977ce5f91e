#include "modbus_serial/serial_port.h"

#include "modbus_serial/brindel_error.h"
#include "modbus_serial/serial_port_error.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace kalvo {

namespace {

// The kernel's termios2, for rates termios has no constant for.
struct Termios2 {
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};
constexpr unsigned long kGetTermios2 = _IOR('T', 0x2A, Termios2);
constexpr unsigned long kSetTermios2 = _IOW('T', 0x2B, Termios2);
constexpr tcflag_t kBaudMask = 0010017;
constexpr tcflag_t kBaudOther = 0010000;

speed_t StandardSpeed(std::uint32_t baud) {
    switch (baud) {
    case 110:
        return B110;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    default:
        return B0;
    }
}

std::system_error SystemError(const char* what) {
    return std::system_error(errno, std::generic_category(), what);
}

// A pseudo-terminal has no modem lines; that is not an error for us.
bool NoModemLines(int error) {
    return error == ENOTTY || error == EINVAL || error == ENOTSUP;
}

// A pseudo-terminal keeps no parity; glibc then reports the setting as refused although
// everything else took effect. That is accepted, as the other end of a pty has no line.
bool OnlyParityIgnored(int fd, const termios& wanted) {
    termios got{};
    constexpr tcflag_t kParity = PARENB | PARODD;
    return errno == EINVAL && tcgetattr(fd, &got) == 0 &&
           (got.c_cflag & ~kParity) == (wanted.c_cflag & ~kParity);
}

void ApplyTermios(int fd, const LineSettings& s) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        throw EBrindelError("Failed to update device control block");
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= s.DataBits == db7 ? CS7 : CS8;
    tio.c_cflag |= s.Parity == psNone ? 0 : PARENB;
    tio.c_cflag |= s.Parity == psOdd ? PARODD : 0;
    tio.c_cflag |= s.StopBits == sb2 ? CSTOPB : 0;
    tio.c_cflag |= s.FlowControl == fcRtsCts ? CRTSCTS : 0;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = StandardSpeed(s.Baud);
    if (speed != B0) {
        cfsetspeed(&tio, speed);
    }
    if (tcsetattr(fd, TCSANOW, &tio) != 0 && !OnlyParityIgnored(fd, tio)) {
        throw EBrindelError("Failed to update device control block");
    }
    if (speed == B0) {
        Termios2 tio2{};
        if (ioctl(fd, kGetTermios2, &tio2) != 0) {
            throw EBrindelError("Failed to update device control block");
        }
        tio2.c_cflag = (tio2.c_cflag & ~kBaudMask) | kBaudOther;
        tio2.c_ispeed = tio2.c_ospeed = s.Baud;
        if (ioctl(fd, kSetTermios2, &tio2) != 0) {
            throw EBrindelError("Failed to update device control block");
        }
    }
}

} // namespace

SerialPort::SerialPort() : fBreak(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fBreak < 0) {
        throw SystemError("eventfd");
    }
}

SerialPort::~SerialPort() {
    Close();
    close(fBreak);
}

std::string SerialPort::DevicePath(const std::string& name) {
    return !name.empty() && name.front() == '/' ? name : "/dev/" + name;
}

void SerialPort::Open(const std::string& name) {
    if (name.empty()) {
        throw EBrindelError("Could not open serial port\r\nNo serial port selected");
    }
    const std::string path = DevicePath(name);
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0 && !isatty(fd)) {
        close(fd);
        throw EBrindelError("Could not open serial port\r\n" + path + ": Not a serial port");
    }
    if (fd >= 0 && (ioctl(fd, TIOCEXCL) != 0 && !NoModemLines(errno))) {
        error = errno;
    }
    // TIOCEXCL does not stop root; the lock does.
    if (fd >= 0 && error == 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? EBUSY : errno;
    }
    if (error != 0) {
        if (fd >= 0) {
            close(fd);
        }
        throw EBrindelError("Could not open serial port\r\n" + path + ": " + std::strerror(error));
    }
    fFd = fd;
    fHooked = false;
    fPath = path;
    ClearBreak();
    AskLowLatency();
}

// USB-serial drivers shorten their latency timer for this flag (16 ms to 1 ms on FTDI-type
// adapters). Best effort: a pseudo-terminal or a driver without it refuses, and that is fine.
void SerialPort::AskLowLatency() {
    serial_struct serial{};
    if (ioctl(fFd, TIOCGSERIAL, &serial) == 0 && (serial.flags & ASYNC_LOW_LATENCY) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ioctl(fFd, TIOCSSERIAL, &serial);
    }
}

void SerialPort::Hook(int fd) {
    if (fd < 0) {
        throw EBrindelError("Could not open serial port");
    }
    // Reads must return at once whatever is queued, whoever opened the descriptor.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fFd = fd;
    fHooked = true;
    fPath = "descriptor " + std::to_string(fd);
    ClearBreak();
}

// A break meant for the previous opening must not cut short the first wait of this one.
void SerialPort::ClearBreak() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = read(fBreak, &count, sizeof count);
}

void SerialPort::Fail(int error) const {
    throw ESerialPortError(error, fPath);
}

void SerialPort::Close() {
    if (fFd >= 0 && !fHooked) {
        close(fFd);
    }
    fFd = -1;
    fHooked = false;
}

void SerialPort::Apply(const LineSettings& settings) {
    if (fFd < 0) {
        return;
    }
    const int bits = 1 + (settings.DataBits == db7 ? 7 : 8) + (settings.Parity == psNone ? 0 : 1) +
                     (settings.StopBits == sb1 ? 1 : 2);
    fCharMicros = static_cast<int>(1'000'000LL * bits / std::max<std::uint32_t>(settings.Baud, 1));
    ApplyTermios(fFd, settings);
    const bool dtrOwned = settings.FlowControl == fcDtrDsr;
    const bool rtsOwned = settings.FlowControl == fcRtsToggle || settings.FlowControl == fcRtsCts;
    if (!dtrOwned) {
        SetDTR(settings.DTREnabled);
    }
    if (!rtsOwned) {
        SetRTS(settings.RTSEnabled);
    } else if (settings.FlowControl == fcRtsToggle) {
        SetRTS(false);
    }
}

void SerialPort::SetModemLine(int line, bool on) {
    if (ioctl(fFd, on ? TIOCMBIS : TIOCMBIC, &line) != 0 && !NoModemLines(errno)) {
        throw SystemError("modem line");
    }
}

void SerialPort::SetDTR(bool on) {
    SetModemLine(TIOCM_DTR, on);
}

void SerialPort::SetRTS(bool on) {
    SetModemLine(TIOCM_RTS, on);
}

void SerialPort::Purge() {
    tcflush(fFd, TCIOFLUSH);
}

bool SerialPort::WaitWritable(int timeoutMs) {
    pollfd fds[2] = {{fFd, POLLOUT, 0}, {fBreak, POLLIN, 0}};
    const int ready = poll(fds, 2, timeoutMs);
    if (ready < 0 && errno != EINTR) {
        Fail(errno);
    }
    if (!fHooked && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        Fail(EIO);
    }
    return ready > 0 && (fds[0].revents & POLLOUT) != 0;
}

bool SerialPort::Write(const std::uint8_t* bytes, int count, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto remaining = [&deadline] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<std::int64_t>(0, left.count()));
    };
    int written = 0;
    while (written < count) {
        const ssize_t n = write(fFd, bytes + written, static_cast<std::size_t>(count - written));
        if (n > 0) {
            written += static_cast<int>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            Fail(errno);
        } else if (remaining() == 0 || !WaitWritable(remaining())) {
            tcflush(fFd, TCOFLUSH);
            return false;
        }
    }
    return Drain(remaining());
}

// tcdrain has no time limit and cannot be woken; the output queue is watched instead, so a
// wedged adapter cannot hold the worker: the bytes queued leave at the line's pace, so the
// wait is the time they take, on the break event, and then the queue is looked at again.
bool SerialPort::Drain(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int queued = 0;
        if (ioctl(fFd, TIOCOUTQ, &queued) != 0) {
            return tcdrain(fFd) == 0;
        }
        if (queued == 0) {
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            tcflush(fFd, TCOFLUSH);
            return false;
        }
        const std::int64_t micros =
            std::min<std::int64_t>(left.count(), static_cast<std::int64_t>(queued) * fCharMicros);
        if (!WaitMicros(micros)) {
            tcflush(fFd, TCOFLUSH);
            return false;
        }
    }
}

// Waits on the break event only; the break stays set for the wait it was meant for.
bool SerialPort::WaitMicros(std::int64_t micros) {
    pollfd wake{fBreak, POLLIN, 0};
    const timespec span{static_cast<time_t>(micros / 1'000'000),
                        static_cast<long>(micros % 1'000'000) * 1000};
    int ready = 0;
    do {
        ready = ppoll(&wake, 1, &span, nullptr);
    } while (ready < 0 && errno == EINTR);
    return ready == 0;
}

bool SerialPort::Pause(int ms) {
    return ms <= 0 || WaitMicros(static_cast<std::int64_t>(ms) * 1000);
}

bool SerialPort::WaitForRxChar(int timeoutMs) {
    pollfd fds[2] = {{fFd, POLLIN, 0}, {fBreak, POLLIN, 0}};
    fInterrupted = false;
    int ready = poll(fds, 2, timeoutMs);
    if (ready < 0) {
        if (errno == EINTR) {
            return false;
        }
        Fail(errno);
    }
    if (fds[1].revents != 0) {
        ClearBreak();
        fInterrupted = true;
        return false;
    }
    constexpr short kHungUp = POLLHUP | POLLERR | POLLNVAL;
    if (!fHooked && (fds[0].revents & kHungUp) != 0) {
        Fail(EIO);
    }
    if ((fds[0].revents & POLLIN) != 0) {
        return true;
    }
    if ((fds[0].revents & kHungUp) != 0) {
        // Nobody on the other side of a hooked master: wait out the time on the break event
        // alone, and look again now and then when the wait has no limit, since the other side
        // may come.
        constexpr int kRecheckMs = 50;
        pollfd wake{fBreak, POLLIN, 0};
        poll(&wake, 1, timeoutMs < 0 ? kRecheckMs : timeoutMs);
    }
    return false;
}

// EAGAIN is "nothing queued". A hooked master reports EIO while nobody holds its other side;
// on a port we opened, EIO is the device gone.
int SerialPort::ReadAvailable(std::uint8_t* area, int count) {
    int total = 0;
    while (total < count) {
        const ssize_t n = read(fFd, area + total, static_cast<std::size_t>(count - total));
        if (n > 0) {
            total += static_cast<int>(n);
        } else if (n == 0 || errno == EAGAIN || (errno == EIO && fHooked)) {
            break;
        } else if (errno != EINTR) {
            Fail(errno);
        }
    }
    return total;
}

void SerialPort::Break() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(fBreak, &one, sizeof one);
}

} // namespace kalvo
