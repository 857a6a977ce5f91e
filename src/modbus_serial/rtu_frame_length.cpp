#include "modbus_serial/rtu_frame_length.h"

#include "modbus_serial/modbus_checks.h"

#include <span>

namespace kalvo {

namespace {

constexpr int kCrcSize = 2;

} // namespace

int RtuFrameLength::Expected(Kind kind, const std::uint8_t* bytes, int size) {
    if (size < 2) {
        return kNeedMore;
    }
    return kind == Kind::Reply ? Reply(bytes, size) : Request(bytes, size);
}

// Address, function, then: an exception code; a byte count and that many bytes; or a fixed
// echo or answer.
int RtuFrameLength::Reply(const std::uint8_t* bytes, int size) {
    const std::uint8_t function = bytes[1];
    if ((function & 0x80) != 0) {
        return 3 + kCrcSize;
    }
    switch (function) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x0C:
    case 0x11:
    case 0x14:
    case 0x15:
    case 0x17:
        return size < 3 ? kNeedMore : 3 + bytes[2] + kCrcSize;
    case 0x07:
        return 3 + kCrcSize;
    case 0x05:
    case 0x06:
    case 0x08:
    case 0x0B:
    case 0x0F:
    case 0x10:
        return 6 + kCrcSize;
    case 0x16:
        return 8 + kCrcSize;
    default:
        return kUnknown;
    }
}

// Address, function, start and count (or value); writes of several items add a byte count
// and that many bytes.
int RtuFrameLength::Request(const std::uint8_t* bytes, int size) {
    switch (bytes[1]) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
        return 6 + kCrcSize;
    case 0x0F:
    case 0x10:
        return size < 7 ? kNeedMore : 7 + bytes[6] + kCrcSize;
    default:
        return kUnknown;
    }
}

bool RtuFrameLength::CrcMatches(const std::uint8_t* bytes, int size) {
    if (size < 2 + kCrcSize) {
        return false;
    }
    const std::uint16_t crc = Crc16(std::span(bytes, static_cast<std::size_t>(size - kCrcSize)));
    return bytes[size - 2] == (crc & 0xFF) && bytes[size - 1] == (crc >> 8);
}

} // namespace kalvo
