#pragma once

#include "modbus_serial/modbus_buffer.h"
#include "modbus_serial/modbus_transaction.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace kalvo {

class TModbusConnection;
class TransactionClient;

// Building a request, shared by the client's requests and the connection's broadcast writes.
using RequestFill = std::function<void(TModbusBuffer&)>;

// A transaction to `client`'s server address (0 without a client) with a fresh ID: header,
// function code, what `fill` puts, error check.
std::unique_ptr<TModbusTransaction> BuildRequest(TModbusConnection& connection,
                                                 const TransactionClient* client,
                                                 std::uint8_t functionCode, const RequestFill& fill,
                                                 void* userData);
// Raises EBrindelError unless 1 <= count <= limit and the range ends within 65535.
void CheckRange(std::uint16_t start, std::uint32_t count, std::uint32_t limit, bool bits);
// The byte count, then the bits packed eight to a byte, the first in the lowest bit.
void PutBits(TModbusBuffer& buffer, const std::vector<bool>& values);
int ByteCountOfBits(int count);

} // namespace kalvo
