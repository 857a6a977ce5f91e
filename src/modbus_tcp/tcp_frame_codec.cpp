#include "modbus_tcp/tcp_frame_codec.h"

#include "registers/modbus_function.h"

#include <algorithm>

namespace kalvo {

namespace {

namespace fn = ModbusFunction;

constexpr std::size_t kAddressOffset = 8;
constexpr std::size_t kCountOffset = 10;
constexpr std::size_t kByteCountOffset = 12;
// Unit identifier, function code and exception code.
constexpr std::uint16_t kExceptionLength = 3;
// Unit identifier, function code, address and value or quantity.
constexpr std::uint16_t kEchoLength = 6;

std::uint16_t WordAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

} // namespace

std::size_t TcpFrameCodec::Build(const Request& request, TModBusResponseBuffer& frame) {
    frame.Bytes.fill(0);
    frame.SetWord(0, request.Transaction);
    frame.SetWord(2, 0);
    frame.Bytes[6] = request.Unit;
    frame.Bytes[7] = request.Function;
    frame.SetWord(kAddressOffset, request.Address);
    const std::uint16_t first = request.Values.empty() ? 0 : request.Values[0];
    std::uint16_t length = kEchoLength;
    switch (request.Function) {
    case fn::ReadCoils:
    case fn::ReadDiscreteInputs:
        frame.SetWord(kCountOffset, std::min(request.Count, kMaxBits));
        break;
    case fn::ReadHoldingRegisters:
    case fn::ReadInputRegisters:
        frame.SetWord(kCountOffset, std::min(request.Count, kMaxReadRegisters));
        break;
    case fn::WriteSingleCoil:
        frame.SetWord(kCountOffset, first != 0 ? 0xFF00 : 0x0000);
        break;
    case fn::WriteSingleRegister:
        frame.SetWord(kCountOffset, first);
        break;
    case fn::WriteMultipleCoils: {
        const std::uint16_t quantity = std::min(request.Count, kMaxBits);
        const auto byteCount = static_cast<std::uint8_t>((quantity + 7) / 8);
        frame.SetWord(kCountOffset, quantity);
        frame.Bytes[kByteCountOffset] = byteCount;
        for (std::size_t i = 0; i < quantity && i < request.Values.size(); ++i) {
            if (request.Values[i] != 0) {
                frame.Bytes[kByteCountOffset + 1 + i / 8] |=
                    static_cast<std::uint8_t>(1 << (i % 8));
            }
        }
        length = static_cast<std::uint16_t>(byteCount + 7);
        break;
    }
    case fn::WriteMultipleRegisters: {
        const std::uint16_t quantity = std::min(request.Count, kMaxWriteRegisters);
        frame.SetWord(kCountOffset, quantity);
        frame.Bytes[kByteCountOffset] = static_cast<std::uint8_t>(2 * quantity);
        for (std::size_t i = 0; i < quantity; ++i) {
            frame.SetWord(kByteCountOffset + 1 + 2 * i,
                          i < request.Values.size() ? request.Values[i] : 0);
        }
        length = static_cast<std::uint16_t>(2 * quantity + 7);
        break;
    }
    default:
        break;
    }
    frame.SetWord(4, length);
    return kPrefixSize + length;
}

// Frames are taken whole by their length field, so the stream stays in step whatever they
// hold; one that answers another request, or another protocol, is passed over.
TcpFrameCodec::Scan TcpFrameCodec::Find(std::span<const std::uint8_t> stream,
                                        const TModBusResponseBuffer& request) {
    Scan scan;
    for (;;) {
        const std::span<const std::uint8_t> rest = stream.subspan(scan.Skipped);
        if (rest.size() < kPrefixSize) {
            scan.Needed = kPrefixSize;
            return scan;
        }
        scan.Length = WordAt(rest, 4);
        if (scan.Length < kMinLength || scan.Length > kMaxLength) {
            scan.State = Scan::Is::BadLength;
            return scan;
        }
        const std::size_t size = kPrefixSize + scan.Length;
        if (rest.size() < size) {
            scan.Needed = size;
            return scan;
        }
        if (WordAt(rest, 0) == request.TransactionID() && WordAt(rest, 2) == 0) {
            scan.State = Scan::Is::Reply;
            scan.Size = size;
            return scan;
        }
        scan.Skipped += size;
    }
}

std::size_t TcpFrameCodec::WholeFrames(std::span<const std::uint8_t> stream) {
    std::size_t whole = 0;
    while (stream.size() - whole >= kPrefixSize) {
        const std::uint16_t length = WordAt(stream, whole + 4);
        if (length < kMinLength || length > kMaxLength ||
            stream.size() - whole < kPrefixSize + length) {
            break;
        }
        whole += kPrefixSize + length;
    }
    return whole;
}

std::string TcpFrameCodec::BadLengthText(std::uint16_t length) {
    return "Invalid Modbus/TCP reply\r\nLength field " + std::to_string(length) +
           " outside 2..254.";
}

// The length a reply must have, in length-field terms, for the request it answers.
std::uint16_t TcpFrameCodec::ExpectedLength(const TModBusResponseBuffer& request) {
    const std::uint16_t quantity = request.Word(kCountOffset);
    switch (request.FunctionCode()) {
    case fn::ReadCoils:
    case fn::ReadDiscreteInputs:
        return static_cast<std::uint16_t>(3 + (quantity + 7) / 8);
    case fn::ReadHoldingRegisters:
    case fn::ReadInputRegisters:
        return static_cast<std::uint16_t>(3 + 2 * quantity);
    default:
        return kEchoLength;
    }
}

// A read's reply carries the byte count its request implies; a write's echoes the request's
// address and value or quantity.
bool TcpFrameCodec::Fits(const TModBusResponseBuffer& request, const TModBusResponseBuffer& reply) {
    const std::uint16_t expected = ExpectedLength(request);
    if (reply.RecLength() != expected) {
        return false;
    }
    if (expected != kEchoLength) {
        return reply.MBPData()[0] == expected - 3;
    }
    return reply.Word(kAddressOffset) == request.Word(kAddressOffset) &&
           reply.Word(kCountOffset) == request.Word(kCountOffset);
}

// A module asked as the direct unit may answer with its own; a unit asked by number (a device
// behind a gateway) must be the one that answers.
TcpFrameCodec::Fit TcpFrameCodec::Judge(const TModBusResponseBuffer& request,
                                        const TModBusResponseBuffer& reply) {
    if (request.UnitID() != kDirectUnit && reply.UnitID() != request.UnitID()) {
        return Fit::Mismatch;
    }
    const std::uint8_t function = request.FunctionCode();
    if (reply.FunctionCode() == static_cast<std::uint8_t>(function | fn::ExceptionFlag) &&
        reply.RecLength() == kExceptionLength) {
        return Fit::Exception;
    }
    return reply.FunctionCode() == function && Fits(request, reply) ? Fit::Good : Fit::Mismatch;
}

void TcpFrameCodec::Decode(const TModBusResponseBuffer& request, const TModBusResponseBuffer& reply,
                           std::span<std::uint16_t> values) {
    const auto data = reply.MBPData();
    const std::size_t byteCount = data[0];
    switch (request.FunctionCode()) {
    case fn::ReadCoils:
    case fn::ReadDiscreteInputs: {
        const std::size_t bits = std::min<std::size_t>({byteCount * 8, kMaxBits, values.size()});
        for (std::size_t i = 0; i < bits; ++i) {
            values[i] = (data[1 + i / 8] >> (i % 8)) & 1;
        }
        break;
    }
    case fn::ReadHoldingRegisters:
    case fn::ReadInputRegisters: {
        const std::size_t words =
            std::min<std::size_t>({byteCount / 2, kMaxReadRegisters, values.size()});
        for (std::size_t i = 0; i < words; ++i) {
            values[i] = static_cast<std::uint16_t>((data[1 + 2 * i] << 8) | data[2 + 2 * i]);
        }
        break;
    }
    default:
        break;
    }
}

} // namespace kalvo
