#pragma once

#include <cstdint>
#include <optional>

namespace kalvo::sim {

// The misbehaviour the simulated module is asked to show.
struct FaultPlan {
    enum class Block { Any, A, B };

    std::optional<std::uint8_t> ExceptionCode;
    Block ExceptionBlock = Block::Any;
    bool Silent = false;
    int DelayMs = 0;
    int SplitPauseMs = -1; // < 0: replies go out in one piece
    int DropEvery = 0;     // 0: never drop the connection
    bool WrongFunction = false;
    bool ShortReply = false;
    bool WrongTransactionID = false;
    bool Garbage = false;
    // Serial line faults.
    bool BadCrc = false;
    int NoiseBytes = 0;
    int ChatterMs = 0;    // 0: no other device on the bus
    int HangUpAfter = -1; // < 0: the port stays

    // Whether RTU replies must be written by the simulator itself rather than the engine.
    bool ShapesSerialReplies() const {
        return Silent || ExceptionCode || WrongFunction || ShortReply || BadCrc || NoiseBytes > 0 ||
               ChatterMs > 0 || HangUpAfter >= 0;
    }
};

} // namespace kalvo::sim
