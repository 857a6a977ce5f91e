#include "sim_rtu_unit.h"

namespace kalvo::sim {

SimRtuUnit::SimRtuUnit(std::uint8_t address, RegisterSource& source, Handler handler)
    : TModbusServer(address, static_cast<std::size_t>(ModbusRegisters::kCount)), fSource(source),
      fHandler(std::move(handler)) {}

void SimRtuUnit::ProcessRequest(TModbusTransaction& transaction) {
    fHandler(*this, transaction);
}

void SimRtuUnit::Answer(TModbusTransaction& transaction) {
    const ModbusRegisters image = fSource.Image(std::chrono::system_clock::now());
    std::vector<std::uint16_t>& registers = Values(HoldingRegisters);
    for (int i = 0; i < ModbusRegisters::kCount; ++i) {
        registers[static_cast<std::size_t>(i)] = image[i];
    }
    TModbusServer::ProcessRequest(transaction);
}

} // namespace kalvo::sim
