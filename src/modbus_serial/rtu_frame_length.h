#pragma once

#include <cstdint>

namespace kalvo {

// How long an RTU frame is, read from its own first bytes. A reply or request of known length
// is complete when that many bytes have arrived, whatever pauses a USB adapter puts inside it.
class RtuFrameLength {
public:
    static constexpr int kNeedMore = 0;
    static constexpr int kUnknown = -1;

    enum class Kind { Reply, Request };

    // The whole frame's length (error check included), kNeedMore while the bytes so far do not
    // tell it yet, or kUnknown for a function whose length this rule does not know.
    static int Expected(Kind kind, const std::uint8_t* bytes, int size);
    // True when the frame's last two bytes are the CRC of the bytes before them.
    static bool CrcMatches(const std::uint8_t* bytes, int size);

private:
    static int Reply(const std::uint8_t* bytes, int size);
    static int Request(const std::uint8_t* bytes, int size);
};

} // namespace kalvo
