#pragma once

#include "modbus_serial/modbus_connection.h"
#include "modbus_serial/transaction_client.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace kalvo {

// A register server for a connection in server mode: answers functions 1 to 6, 15 and 16
// from its banks of coils, discrete inputs, holding and input registers, with exception
// replies for other functions and for addresses outside the banks. Per-item events let the
// owner supply or observe values as they are read and written.
class TModbusServer : public TransactionServer {
public:
    enum Bank { Coils, DiscreteInputs, HoldingRegisters, InputRegisters };
    using ReadEvent =
        std::function<void(TModbusServer&, Bank, std::uint16_t address, std::uint16_t& value)>;
    using WriteEvent =
        std::function<void(TModbusServer&, Bank, std::uint16_t address, std::uint16_t value)>;

    // Each bank holds `size` items from address 0.
    explicit TModbusServer(std::uint8_t address, std::size_t size = 65536);
    ~TModbusServer() override;
    TModbusServer(const TModbusServer&) = delete;
    TModbusServer& operator=(const TModbusServer&) = delete;

    void SetConnection(TModbusConnection* connection);
    std::uint8_t Address() const override { return fAddress; }
    std::vector<std::uint16_t>& Values(Bank bank) { return fBanks[bank]; }

    ReadEvent OnRead;
    WriteEvent OnWrite;

    void ProcessRequest(TModbusTransaction& transaction) override;

private:
    void Respond(TModbusBuffer& query, TModbusBuffer& reply);
    void ReadItems(Bank bank, std::uint16_t start, std::uint16_t count, TModbusBuffer& reply);
    void WriteItems(Bank bank, std::uint16_t start, const std::vector<std::uint16_t>& values);
    bool InRange(Bank bank, std::uint32_t start, std::uint32_t count) const;

    std::uint8_t fAddress;
    TModbusConnection* fConnection = nullptr;
    std::vector<std::uint16_t> fBanks[4];
};

} // namespace kalvo
