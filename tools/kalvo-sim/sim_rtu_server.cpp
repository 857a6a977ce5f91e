#include "sim_rtu_server.h"

#include <filesystem>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace kalvo::sim {

SimRtuServer::SimRtuServer(const std::string& link, std::uint8_t address, RegisterSource& source,
                           ManualMessageQueue& queue)
    : TModbusServer(address, static_cast<std::size_t>(ModbusRegisters::kCount)), fSource(source),
      fLink(link), fConnection(queue) {
    termios raw{};
    cfmakeraw(&raw);
    char name[256] = {};
    if (openpty(&fMaster, &fSlave, name, &raw, nullptr) != 0) {
        throw std::runtime_error("cannot create a pseudo-terminal");
    }
    // Holding the near end open keeps the far end from reporting a hang-up between clients.
    fDevicePath = name;
    std::filesystem::create_directories(std::filesystem::path(fLink).parent_path());
    std::filesystem::remove(fLink);
    std::filesystem::create_symlink(fDevicePath, fLink);
    fConnection.SetConnectionMode(cmServer);
    fConnection.SetParity(psNone);
    fConnection.SetBaudRate(br9600);
    fConnection.SetHookExistingPort(true);
    fConnection.OnGetHookedPortHandle = [this](TModbusConnection&, int& handle) {
        handle = fMaster;
    };
    SetConnection(&fConnection);
    fConnection.Open();
}

SimRtuServer::~SimRtuServer() {
    SetConnection(nullptr);
    fConnection.Close();
    std::error_code ignored;
    std::filesystem::remove(fLink, ignored);
    close(fSlave);
    close(fMaster);
}

void SimRtuServer::ProcessRequest(TModbusTransaction& transaction) {
    const ModbusRegisters image = fSource.Image(std::chrono::system_clock::now());
    std::vector<std::uint16_t>& registers = Values(HoldingRegisters);
    for (int i = 0; i < ModbusRegisters::kCount; ++i) {
        registers[static_cast<std::size_t>(i)] = image[i];
    }
    TModbusServer::ProcessRequest(transaction);
}

} // namespace kalvo::sim
