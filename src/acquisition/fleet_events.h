#pragma once

#include "registers/register_block.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace kalvo {

// What a poller of several modules tells its owner, on the poller's own thread, each module
// named by its index among the poller's modules: a block was read (its registers), a read
// failed (the reason as the log says it), a module's cycle of both blocks ended (the answer:
// whether the module is read again).
struct FleetEvents {
    std::function<void(std::size_t module, RegisterBlock block,
                       std::span<const std::uint16_t> registers)>
        BlockRead;
    std::function<void(std::size_t module, RegisterBlock block, const std::string& reason)>
        ReadFailed;
    std::function<bool(std::size_t module, bool ok, double seconds)> CycleDone;
};

} // namespace kalvo
