#include "modbus_serial/rtu_frame_receiver.h"

#include "modbus_serial/serial_port.h"

#include <algorithm>
#include <chrono>

namespace kalvo {

namespace {

using Clock = std::chrono::steady_clock;

int ElapsedMs(Clock::time_point since) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

} // namespace

int RtuFrameReceiver::FirstBytes(SerialPort& line, std::uint8_t* area, int capacity,
                                 int timeoutMs) {
    if (!fCarry.empty()) {
        const int size = std::min(capacity, static_cast<int>(fCarry.size()));
        std::copy_n(fCarry.begin(), size, area);
        fCarry.erase(fCarry.begin(), fCarry.begin() + size);
        return size;
    }
    if (timeoutMs == 0 || !line.WaitForRxChar(timeoutMs)) {
        return 0;
    }
    return line.ReadAvailable(area, capacity);
}

int RtuFrameReceiver::ReadMore(SerialPort& line, std::uint8_t* area, int size, int capacity) {
    int added = 0;
    do {
        added = line.ReadAvailable(area + size, capacity - size);
        size += added;
    } while (added > 0 && size < capacity);
    return size;
}

int RtuFrameReceiver::CompleteAt(const Rule& rule, const std::uint8_t* area, int size,
                                 int capacity) {
    if (!rule.KnownLengths) {
        return 0;
    }
    const int expected = RtuFrameLength::Expected(rule.Kind, area, size);
    if (expected <= 0 || expected > capacity || size < expected) {
        return 0;
    }
    // A frame whose CRC fails at its length was misjudged or damaged: the silence decides.
    return RtuFrameLength::CrcMatches(area, expected) ? expected : 0;
}

bool RtuFrameReceiver::AwaitsLength(const Rule& rule, const std::uint8_t* area, int size,
                                    int capacity) {
    if (!rule.KnownLengths) {
        return false;
    }
    const int expected = RtuFrameLength::Expected(rule.Kind, area, size);
    return expected == RtuFrameLength::kNeedMore || (expected > size && expected <= capacity);
}

int RtuFrameReceiver::Receive(SerialPort& line, std::uint8_t* area, int capacity, int timeoutMs,
                              const Rule& rule, const Timing& timing) {
    int size = FirstBytes(line, area, capacity, timeoutMs);
    auto lastByte = Clock::now();
    while (size > 0 && size < capacity) {
        if (const int end = CompleteAt(rule, area, size, capacity); end > 0) {
            fCarry.assign(area + end, area + size);
            return end;
        }
        if (line.WaitForRxChar(timing.SilentIntervalMs)) {
            size = ReadMore(line, area, size, capacity);
            lastByte = Clock::now();
            continue;
        }
        // A silence. It ends the frame unless the frame's length says more is to come; then
        // only the inter-character time-out does, or a CRC that agrees for a station we do
        // not trust to keep to the rule.
        const bool trusted = rule.Trusted && rule.Trusted(area[0]);
        if (line.Interrupted() || !AwaitsLength(rule, area, size, capacity) ||
            (!trusted && RtuFrameLength::CrcMatches(area, size))) {
            break;
        }
        const int left = timing.InterCharTimeoutMs - ElapsedMs(lastByte);
        if (left <= 0 || !line.WaitForRxChar(left)) {
            break;
        }
        size = ReadMore(line, area, size, capacity);
        lastByte = Clock::now();
    }
    return size;
}

} // namespace kalvo
