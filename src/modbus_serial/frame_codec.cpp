#include "modbus_serial/frame_codec.h"

#include "modbus_serial/brindel_error.h"

#include <algorithm>
#include <cstring>

namespace kalvo {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

std::uint8_t CharValue(std::uint8_t c) {
    return static_cast<std::uint8_t>(c < 'A' ? c - '0' : c - 55);
}

} // namespace

int FrameCodec::MinimumFrame() const {
    switch (fConnection) {
    case cmClient:
        return FrameGeometry::MinReply(fMode);
    case cmServer:
        return FrameGeometry::MinRequest(fMode);
    case cmMonitor:
        break;
    }
    return std::min(FrameGeometry::MinReply(fMode), FrameGeometry::MinRequest(fMode));
}

int FrameCodec::EncodeFrame(const TModbusBuffer& buffer, std::uint8_t* raw, int capacity) const {
    const int n = buffer.Size();
    if (n == 0) {
        return 0;
    }
    const int size = fMode == tmRTU ? n : 2 * n + 3;
    if (size > capacity) {
        throw EBrindelError("Failed to encode frame");
    }
    if (fMode == tmRTU) {
        std::memcpy(raw, buffer.StartPtr(), static_cast<std::size_t>(n));
        return n;
    }
    raw[0] = ':';
    for (int i = 0; i < n; ++i) {
        raw[1 + 2 * i] = static_cast<std::uint8_t>(kHex[buffer.StartPtr()[i] >> 4]);
        raw[2 + 2 * i] = static_cast<std::uint8_t>(kHex[buffer.StartPtr()[i] & 0xF]);
    }
    raw[size - 2] = '\r';
    raw[size - 1] = '\n';
    return size;
}

bool FrameCodec::DecodeFrame(const std::uint8_t* raw, int count, TModbusBuffer& buffer) const {
    buffer.SetSize(0);
    if (fMode == tmRTU) {
        if (count < MinimumFrame()) {
            return false;
        }
        if (count > buffer.Capacity()) {
            throw EBrindelError("Failed to decode frame");
        }
        std::memcpy(buffer.StartPtr(), raw, static_cast<std::size_t>(count));
        buffer.SetSize(count);
        return CheckFrame(buffer);
    }
    if (count < MinimumFrame() + 3 || count % 2 == 0 || raw[0] != ':' || raw[count - 2] != '\r' ||
        raw[count - 1] != '\n') {
        return false;
    }
    const int n = (count - 3) / 2;
    if (n > buffer.Capacity()) {
        throw EBrindelError("Failed to decode frame");
    }
    for (int i = 0; i < n; ++i) {
        const auto high = static_cast<std::uint8_t>(CharValue(raw[1 + 2 * i]) << 4);
        buffer.StartPtr()[i] = static_cast<std::uint8_t>(high | CharValue(raw[2 + 2 * i]));
    }
    buffer.SetSize(n);
    return CheckFrame(buffer);
}

bool FrameCodec::CheckFrame(TModbusBuffer& buffer) const {
    if (fMode == tmRTU) {
        buffer.SetPosition(buffer.Size() - 2);
        return buffer.CRC16() == buffer.GetWordLoHi();
    }
    buffer.SetPosition(buffer.Size() - 1);
    return buffer.LRC8() == buffer.GetByte();
}

void FrameCodec::EmitErrorCheck(TModbusBuffer& buffer) const {
    if (fMode == tmRTU) {
        buffer.PutWordLoHi(buffer.CRC16());
    } else {
        buffer.PutByte(buffer.LRC8());
    }
}

} // namespace kalvo
