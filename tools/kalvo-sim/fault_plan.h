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
};

} // namespace kalvo::sim
