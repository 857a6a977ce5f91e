#pragma once

#include "modbus_serial/modbus_buffer.h"
#include "modbus_serial/modbus_types.h"

#include <cstdint>

namespace kalvo {

// Turns buffers into line bytes and back, for one transmission mode, checking frames with
// CRC-16 (RTU) or LRC-8 (ASCII).
class FrameCodec {
public:
    FrameCodec(TTransmissionMode mode, TConnectionMode connection)
        : fMode(mode), fConnection(connection) {}

    // The smallest frame worth decoding in this connection mode, before transport framing.
    int MinimumFrame() const;
    // Returns the count of line bytes written into `raw`; raises "Failed to encode frame".
    int EncodeFrame(const TModbusBuffer& buffer, std::uint8_t* raw, int capacity) const;
    // False when the bytes do not form a valid frame; raises "Failed to decode frame" when
    // they would not fit the buffer.
    bool DecodeFrame(const std::uint8_t* raw, int count, TModbusBuffer& buffer) const;
    bool CheckFrame(TModbusBuffer& buffer) const;
    // Puts the error check of everything before the cursor.
    void EmitErrorCheck(TModbusBuffer& buffer) const;

private:
    TTransmissionMode fMode;
    TConnectionMode fConnection;
};

} // namespace kalvo
