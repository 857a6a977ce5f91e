#pragma once

#include "modbus_serial/rtu_frame_length.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace kalvo {

class SerialPort;

// Collects one RTU frame from the line. Without a length rule a frame ends at the first
// silence of the silent interval. With one, a frame whose length its first bytes tell ends
// when that many bytes are in and its CRC agrees there, and a silence before that does not end
// it: only one of the inter-character time-out does, since USB adapters hand bytes over in
// chunks. A frame from a station not trusted to keep to the rule (another address: it may be
// a request, not a reply) also ends at a silence where its CRC agrees. Bytes read beyond a
// frame are kept for the next one.
class RtuFrameReceiver {
public:
    struct Rule {
        bool KnownLengths = false;
        RtuFrameLength::Kind Kind = RtuFrameLength::Kind::Reply;
        // Whether frames from this address keep to the rule (a silence inside them is never
        // their end).
        std::function<bool(std::uint8_t address)> Trusted;
    };
    struct Timing {
        int SilentIntervalMs = 16;
        int InterCharTimeoutMs = 500;
    };

    // The frame's size in `area` (0 when nothing came within `timeoutMs`; negative: no limit).
    int Receive(SerialPort& line, std::uint8_t* area, int capacity, int timeoutMs, const Rule& rule,
                const Timing& timing);
    // Drops what was kept of a previous frame, as a purge of the port does.
    void Discard() { fCarry.clear(); }

private:
    int FirstBytes(SerialPort& line, std::uint8_t* area, int capacity, int timeoutMs);
    // The length at which the frame so far is complete, or 0.
    static int CompleteAt(const Rule& rule, const std::uint8_t* area, int size, int capacity);
    static bool AwaitsLength(const Rule& rule, const std::uint8_t* area, int size, int capacity);
    static int ReadMore(SerialPort& line, std::uint8_t* area, int size, int capacity);

    std::vector<std::uint8_t> fCarry;
};

} // namespace kalvo
