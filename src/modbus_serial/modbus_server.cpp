#include "modbus_serial/modbus_server.h"

namespace kalvo {

namespace {

constexpr std::uint8_t kIllegalFunction = 1;
constexpr std::uint8_t kIllegalAddress = 2;
constexpr std::uint8_t kIllegalValue = 3;

struct Request {
    std::uint8_t Function;
    std::uint16_t Start;
    std::uint16_t CountOrValue;
};

std::uint16_t Word(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

bool IsBitBank(TModbusServer::Bank bank) {
    return bank == TModbusServer::Coils || bank == TModbusServer::DiscreteInputs;
}

} // namespace

TModbusServer::TModbusServer(std::uint8_t address, std::size_t size) : fAddress(address) {
    for (auto& bank : fBanks) {
        bank.assign(size, 0);
    }
}

TModbusServer::~TModbusServer() {
    SetConnection(nullptr);
}

void TModbusServer::SetConnection(TModbusConnection* connection) {
    if (fConnection != nullptr) {
        fConnection->UnregisterServer(this);
    }
    fConnection = connection;
    if (fConnection != nullptr) {
        fConnection->RegisterServer(this);
    }
}

bool TModbusServer::InRange(Bank bank, std::uint32_t start, std::uint32_t count) const {
    return start + count <= fBanks[bank].size();
}

void TModbusServer::ProcessRequest(TModbusTransaction& transaction) {
    TModbusBuffer& reply = transaction.ReplyBuffer();
    reply.SetSize(0);
    reply.PutByte(fAddress);
    Respond(transaction.QueryBuffer(), reply);
    if (fConnection != nullptr) {
        fConnection->EmitErrorCheck(reply);
    }
}

void TModbusServer::Respond(TModbusBuffer& query, TModbusBuffer& reply) {
    const std::uint8_t* q = query.StartPtr();
    const int checkSize =
        fConnection != nullptr ? FrameGeometry::ErrorCheckSize(fConnection->TransmissionMode()) : 2;
    const int pduSize = query.Size() - 1 - checkSize;
    const Request request{q[1], pduSize >= 5 ? Word(q + 2) : std::uint16_t{0},
                          pduSize >= 5 ? Word(q + 4) : std::uint16_t{0}};
    auto exception = [&](std::uint8_t code) {
        reply.PutByte(static_cast<std::uint8_t>(request.Function | 0x80));
        reply.PutByte(code);
    };
    static const Bank kReadBanks[] = {Coils, DiscreteInputs, HoldingRegisters, InputRegisters};
    switch (request.Function) {
    case 1:
    case 2:
    case 3:
    case 4: {
        const Bank bank = kReadBanks[request.Function - 1];
        const std::uint32_t limit = IsBitBank(bank) ? 2000 : 125;
        if (pduSize < 5 || request.CountOrValue == 0 || request.CountOrValue > limit) {
            return exception(kIllegalValue);
        }
        if (!InRange(bank, request.Start, request.CountOrValue)) {
            return exception(kIllegalAddress);
        }
        reply.PutByte(request.Function);
        return ReadItems(bank, request.Start, request.CountOrValue, reply);
    }
    case 5:
    case 6: {
        const Bank bank = request.Function == 5 ? Coils : HoldingRegisters;
        if (pduSize < 5 ||
            (bank == Coils && request.CountOrValue != 0 && request.CountOrValue != 0xFF00)) {
            return exception(kIllegalValue);
        }
        if (!InRange(bank, request.Start, 1)) {
            return exception(kIllegalAddress);
        }
        const std::uint16_t value =
            bank == Coils ? (request.CountOrValue != 0 ? 1 : 0) : request.CountOrValue;
        WriteItems(bank, request.Start, {value});
        reply.PutBlock(q + 1, 5);
        return;
    }
    case 15:
    case 16: {
        const Bank bank = request.Function == 15 ? Coils : HoldingRegisters;
        const std::uint32_t count = request.CountOrValue;
        const std::uint32_t bytes = bank == Coils ? (count + 7) / 8 : 2 * count;
        if (pduSize < 6 || count == 0 || q[6] != bytes ||
            static_cast<std::uint32_t>(pduSize) < 6 + bytes) {
            return exception(kIllegalValue);
        }
        if (!InRange(bank, request.Start, count)) {
            return exception(kIllegalAddress);
        }
        std::vector<std::uint16_t> values;
        for (std::uint32_t i = 0; i < count; ++i) {
            values.push_back(bank == Coils
                                 ? static_cast<std::uint16_t>((q[7 + i / 8] >> (i % 8)) & 1)
                                 : Word(q + 7 + 2 * i));
        }
        WriteItems(bank, request.Start, values);
        reply.PutBlock(q + 1, 5);
        return;
    }
    default:
        return exception(kIllegalFunction);
    }
}

void TModbusServer::ReadItems(Bank bank, std::uint16_t start, std::uint16_t count,
                              TModbusBuffer& reply) {
    std::vector<std::uint16_t> values;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint16_t value = fBanks[bank][start + i];
        if (OnRead) {
            OnRead(*this, bank, static_cast<std::uint16_t>(start + i), value);
        }
        values.push_back(value);
    }
    if (IsBitBank(bank)) {
        reply.PutByte(static_cast<std::uint8_t>((count + 7) / 8));
        for (std::uint32_t first = 0; first < count; first += 8) {
            std::uint8_t packed = 0;
            for (std::uint32_t bit = 0; bit < 8 && first + bit < count; ++bit) {
                packed |= values[first + bit] != 0 ? static_cast<std::uint8_t>(1 << bit) : 0;
            }
            reply.PutByte(packed);
        }
        return;
    }
    reply.PutByte(static_cast<std::uint8_t>(2 * count));
    for (std::uint16_t value : values) {
        reply.PutWordHiLo(value);
    }
}

void TModbusServer::WriteItems(Bank bank, std::uint16_t start,
                               const std::vector<std::uint16_t>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        fBanks[bank][start + i] = values[i];
        if (OnWrite) {
            OnWrite(*this, bank, static_cast<std::uint16_t>(start + i), values[i]);
        }
    }
}

} // namespace kalvo
