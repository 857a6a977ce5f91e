#pragma once

#include "modbus_serial/modbus_connection.h"
#include "modbus_serial/modbus_server.h"
#include "register_source.h"

#include <string>

namespace kalvo::sim {

// The simulated module on a pseudo-terminal: a Modbus RTU server whose holding registers are
// taken from the register source at every request. The near end of the terminal is
// published as a link that serial clients open.
class SimRtuServer : public TModbusServer {
public:
    // Creates the terminal pair and the link, and starts serving through `queue`.
    SimRtuServer(const std::string& link, std::uint8_t address, RegisterSource& source,
                 ManualMessageQueue& queue);
    ~SimRtuServer() override;
    SimRtuServer(const SimRtuServer&) = delete;
    SimRtuServer& operator=(const SimRtuServer&) = delete;

    const std::string& DevicePath() const { return fDevicePath; }
    const std::string& Link() const { return fLink; }
    void ProcessRequest(TModbusTransaction& transaction) override;

private:
    RegisterSource& fSource;
    int fMaster = -1;
    int fSlave = -1;
    std::string fDevicePath;
    std::string fLink;
    TModbusConnection fConnection;
};

} // namespace kalvo::sim
