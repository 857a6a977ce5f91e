#pragma once

#include "modbus_tcp/modbus_response_buffer.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kalvo {

// Modbus/TCP frames for every client of this project, blocking or not: a request built, the
// reply to it found whole in a byte stream, and that reply judged against the request. A
// client that keeps to it reads the same bytes the same way, whatever waits for them.
class TcpFrameCodec {
public:
    // The MBAP header up to and including the length field; the length counts what follows.
    static constexpr std::size_t kPrefixSize = 6;
    static constexpr std::uint16_t kMinLength = 2;
    static constexpr std::uint16_t kMaxLength = 254;
    // The unit a module on the network is asked as: "not addressed", answered by the module
    // itself. Behind a gateway another unit names one device of a serial line.
    static constexpr std::uint8_t kDirectUnit = 255;

    struct Request {
        std::uint16_t Transaction = 0;
        std::uint8_t Unit = kDirectUnit;
        std::uint8_t Function = 0;
        std::uint16_t Address = 0;
        // Registers or bits to read or write; clamped to the function's limit.
        std::uint16_t Count = 0;
        // What a write sends (a coil: 0 or not).
        std::span<const std::uint16_t> Values;
    };
    // Fills `frame` with the request; its size in bytes.
    static std::size_t Build(const Request& request, TModBusResponseBuffer& frame);

    // What the front of a stream holds for a request.
    struct Scan {
        enum class Is {
            // Not yet a whole reply: `Needed` bytes after `Skipped` would tell more.
            Wanting,
            // The reply: `Size` bytes after `Skipped`.
            Reply,
            // A length field outside 2..254 after `Skipped`: the stream is out of step.
            BadLength,
        };
        Is State = Is::Wanting;
        // Whole frames of other transactions or protocols at the front: they answer nothing.
        std::size_t Skipped = 0;
        std::size_t Needed = kPrefixSize;
        std::size_t Size = 0;
        std::uint16_t Length = 0;
    };
    static Scan Find(std::span<const std::uint8_t> stream, const TModBusResponseBuffer& request);
    // The bytes of the whole frames at the front of a stream, up to a part of one or a length
    // field out of range.
    static std::size_t WholeFrames(std::span<const std::uint8_t> stream);
    // "Invalid Modbus/TCP reply", CR LF, "Length field N outside 2..254."
    static std::string BadLengthText(std::uint16_t length);

    enum class Fit { Good, Exception, Mismatch };
    // A reply of the request's transaction: good when its unit, function, length, byte count
    // or echo fit the request; an exception when it is one of the right length.
    static Fit Judge(const TModBusResponseBuffer& request, const TModBusResponseBuffer& reply);
    // The registers or bits of a good reply to a read (bits as 1 or 0), as many as `values`
    // holds; nothing for a write.
    static void Decode(const TModBusResponseBuffer& request, const TModBusResponseBuffer& reply,
                       std::span<std::uint16_t> values);

    static constexpr std::uint16_t kMaxReadRegisters = 125;
    static constexpr std::uint16_t kMaxBits = 250;
    static constexpr std::uint16_t kMaxWriteRegisters = 123;

private:
    static std::uint16_t ExpectedLength(const TModBusResponseBuffer& request);
    static bool Fits(const TModBusResponseBuffer& request, const TModBusResponseBuffer& reply);
};

} // namespace kalvo
