#include "modbus_serial/rtu_frame_length.h"

#include "modbus_serial/modbus_checks.h"
#include "registers/modbus_function.h"

#include <span>

namespace kalvo {

namespace {

namespace fn = ModbusFunction;
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
    if ((function & fn::ExceptionFlag) != 0) {
        return 3 + kCrcSize;
    }
    switch (function) {
    case fn::ReadCoils:
    case fn::ReadDiscreteInputs:
    case fn::ReadHoldingRegisters:
    case fn::ReadInputRegisters:
    case fn::GetCommEventLog:
    case fn::ReportServerID:
    case fn::ReadFileRecord:
    case fn::WriteFileRecord:
    case fn::ReadWriteRegisters:
        return size < 3 ? kNeedMore : 3 + bytes[2] + kCrcSize;
    case fn::ReadExceptionStatus:
        return 3 + kCrcSize;
    case fn::WriteSingleCoil:
    case fn::WriteSingleRegister:
    case fn::Diagnostics:
    case fn::GetCommEventCounter:
    case fn::WriteMultipleCoils:
    case fn::WriteMultipleRegisters:
        return 6 + kCrcSize;
    case fn::MaskWriteRegister:
        return 8 + kCrcSize;
    default:
        return kUnknown;
    }
}

// Address, function, start and count (or value); writes of several items add a byte count
// and that many bytes.
int RtuFrameLength::Request(const std::uint8_t* bytes, int size) {
    switch (bytes[1]) {
    case fn::ReadCoils:
    case fn::ReadDiscreteInputs:
    case fn::ReadHoldingRegisters:
    case fn::ReadInputRegisters:
    case fn::WriteSingleCoil:
    case fn::WriteSingleRegister:
        return 6 + kCrcSize;
    case fn::WriteMultipleCoils:
    case fn::WriteMultipleRegisters:
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
