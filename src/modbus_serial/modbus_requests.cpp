#include "modbus_serial/modbus_requests.h"

#include "modbus_serial/brindel_error.h"
#include "modbus_serial/modbus_connection.h"

namespace kalvo {

int ByteCountOfBits(int count) {
    return (count + 7) / 8;
}

void CheckRange(std::uint16_t start, std::uint32_t count, std::uint32_t limit, bool bits) {
    if (count == 0 || count > limit) {
        throw EBrindelError::Format(bits ? "Discrete i/o count must be between 1 and %d"
                                         : "Register count must be between 1 and %d",
                                    limit);
    }
    if (start + count - 1 > 65535) {
        throw EBrindelError::Format(bits ? "Starting discrete i/o index is invalid (%d)"
                                         : "Starting register index is invalid (%d)",
                                    start);
    }
}

void PutBits(TModbusBuffer& buffer, const std::vector<bool>& values) {
    const int count = static_cast<int>(values.size());
    buffer.PutByte(static_cast<std::uint8_t>(ByteCountOfBits(count)));
    for (int first = 0; first < count; first += 8) {
        std::uint8_t packed = 0;
        for (int bit = 0; bit < 8 && first + bit < count; ++bit) {
            packed |= values[static_cast<std::size_t>(first + bit)]
                          ? static_cast<std::uint8_t>(1 << bit)
                          : 0;
        }
        buffer.PutByte(packed);
    }
}

std::unique_ptr<TModbusTransaction> BuildRequest(TModbusConnection& connection,
                                                 const TransactionClient* client,
                                                 std::uint8_t functionCode, const RequestFill& fill,
                                                 void* userData) {
    auto transaction = std::make_unique<TModbusTransaction>(
        FrameGeometry::TransactionCapacity(connection.TransmissionMode()));
    transaction->Info = TTransactionInfo{};
    transaction->Info.ID = connection.GetNextUniqueID();
    transaction->Info.Address = client != nullptr ? client->ServerAddress() : 0;
    transaction->Info.UserData = userData;
    TModbusBuffer& query = transaction->QueryBuffer();
    connection.EmitHeader(client, query);
    query.PutByte(functionCode);
    fill(query);
    connection.EmitErrorCheck(query);
    return transaction;
}

} // namespace kalvo
