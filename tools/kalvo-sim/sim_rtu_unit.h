#pragma once

#include "modbus_serial/modbus_server.h"
#include "register_source.h"

#include <functional>

namespace kalvo::sim {

// One simulated module on a bus: a server address and where its registers come from. What
// it is asked goes to the line's handler, which shapes the reply or has the unit answer.
class SimRtuUnit : public TModbusServer {
public:
    using Handler = std::function<void(SimRtuUnit&, TModbusTransaction&)>;

    SimRtuUnit(std::uint8_t address, RegisterSource& source, Handler handler);

    RegisterSource& Source() { return fSource; }
    void ProcessRequest(TModbusTransaction& transaction) override;
    // The plain answer: the registers as the source has them now.
    void Answer(TModbusTransaction& transaction);

private:
    RegisterSource& fSource;
    Handler fHandler;
};

} // namespace kalvo::sim
