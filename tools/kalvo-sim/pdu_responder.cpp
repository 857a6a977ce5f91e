#include "pdu_responder.h"

#include "registers/modbus_function.h"

namespace kalvo::sim {

namespace {

constexpr std::uint8_t kMismatchedFunction = 4;
constexpr std::size_t kMaxRegisters = 125;

PduResponder::Bytes Exception(std::uint8_t function, std::uint8_t code) {
    return {static_cast<std::uint8_t>(function | ModbusFunction::ExceptionFlag), code};
}

} // namespace

bool PduResponder::ExceptionApplies(std::uint16_t start) const {
    switch (fPlan.ExceptionBlock) {
    case FaultPlan::Block::A:
        return BlockOf(start) == RegisterBlock::A;
    case FaultPlan::Block::B:
        return BlockOf(start) == RegisterBlock::B;
    case FaultPlan::Block::Any:
        break;
    }
    return true;
}

PduResponder::Bytes PduResponder::Respond(const Bytes& request,
                                          const ModbusRegisters& image) const {
    const std::uint8_t function = request.empty() ? 0 : request[0];
    if (function != ModbusFunction::ReadHoldingRegisters) {
        return Exception(function, 1);
    }
    if (request.size() < 5) {
        return Exception(function, 3);
    }
    const auto start = static_cast<std::uint16_t>((request[1] << 8) | request[2]);
    const std::size_t count = static_cast<std::size_t>((request[3] << 8) | request[4]);
    if (fPlan.ExceptionCode && ExceptionApplies(start)) {
        return Exception(function, *fPlan.ExceptionCode);
    }
    if (count == 0 || count > kMaxRegisters) {
        return Exception(function, 3);
    }
    if (start + count > static_cast<std::size_t>(ModbusRegisters::kCount)) {
        return Exception(function, 2);
    }
    const std::size_t sent = fPlan.ShortReply ? count - 1 : count;
    Bytes reply = {fPlan.WrongFunction ? kMismatchedFunction : function,
                   static_cast<std::uint8_t>(2 * sent)};
    for (std::size_t i = start; i < start + sent; ++i) {
        const std::uint16_t word = image[static_cast<int>(i)];
        reply.push_back(static_cast<std::uint8_t>(word >> 8));
        reply.push_back(static_cast<std::uint8_t>(word & 0xFF));
    }
    return reply;
}

} // namespace kalvo::sim
