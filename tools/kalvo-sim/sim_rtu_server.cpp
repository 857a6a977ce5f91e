#include "sim_rtu_server.h"

#include "modbus_serial/modbus_checks.h"

#include <algorithm>
#include <filesystem>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace kalvo::sim {

namespace {

// Longer than the 16 ms a frame ends after, so frames never run together.
constexpr auto kBusSilence = std::chrono::milliseconds(25);

} // namespace

SimRtuServer::SimRtuServer(const std::string& link, const std::vector<Unit>& units,
                           const FaultPlan& plan, ManualMessageQueue& queue)
    : fPlan(plan), fResponder(plan), fLink(link), fConnection(queue) {
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
    for (const Unit& unit : units) {
        fUnits.push_back(std::make_unique<SimRtuUnit>(
            unit.Address, *unit.Source,
            [this](SimRtuUnit& served, TModbusTransaction& transaction) {
                Serve(served, transaction);
            }));
        fUnits.back()->SetConnection(&fConnection);
    }
    fOtherAddress = units.front().Address;
    do {
        fOtherAddress = static_cast<std::uint8_t>(fOtherAddress % 247 + 1);
    } while (std::any_of(units.begin(), units.end(),
                         [this](const Unit& unit) { return unit.Address == fOtherAddress; }));
    fConnection.Open();
    if (fPlan.ChatterMs > 0) {
        fChattering = true;
        fChatter = std::thread([this] { Chatter(); });
    }
}

SimRtuServer::~SimRtuServer() {
    {
        std::lock_guard lock(fChatterLock);
        fChattering = false;
    }
    fChatterStop.notify_all();
    if (fChatter.joinable()) {
        fChatter.join();
    }
    for (const auto& unit : fUnits) {
        unit->SetConnection(nullptr);
    }
    fConnection.Close();
    std::error_code ignored;
    std::filesystem::remove(fLink, ignored);
    close(fSlave);
    close(fMaster);
}

void SimRtuServer::Serve(SimRtuUnit& unit, TModbusTransaction& transaction) {
    if (fPlan.HangUpAfter >= 0 && ++fRequests > fPlan.HangUpAfter) {
        fHangUpDue = true;
        transaction.ReplyBuffer().SetSize(0);
        return;
    }
    if (fPlan.ShapesSerialReplies()) {
        ShapeReply(unit, transaction);
        transaction.ReplyBuffer().SetSize(0);
        return;
    }
    unit.Answer(transaction);
}

// The reply as the plan has it, written to the line here instead of by the engine.
void SimRtuServer::ShapeReply(SimRtuUnit& unit, TModbusTransaction& transaction) {
    const TModbusBuffer& query = transaction.QueryBuffer();
    const std::uint8_t* bytes = query.StartPtr();
    if (fPlan.Silent || query.Size() < 4 || bytes[0] != unit.Address()) {
        return;
    }
    const Bytes pdu(bytes + 1, bytes + query.Size() - 2);
    const Bytes answer =
        fResponder.Respond(pdu, unit.Source().Image(std::chrono::system_clock::now()));
    Bytes frame(static_cast<std::size_t>(fPlan.NoiseBytes), 0xA5);
    frame.push_back(bytes[0]);
    frame.insert(frame.end(), answer.begin(), answer.end());
    const std::uint16_t crc = Crc16(std::span(frame).subspan(frame.size() - answer.size() - 1));
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>((crc >> 8) ^ (fPlan.BadCrc ? 0xFF : 0x00)));
    // The other device also talks while the client waits for this reply.
    if (fPlan.ChatterMs > 0) {
        WriteFrame(OtherDeviceFrame());
    }
    WriteFrame(frame);
}

void SimRtuServer::WriteFrame(const Bytes& bytes) {
    std::lock_guard lock(fLineLock);
    std::this_thread::sleep_until(fLastFrame + kBusSilence);
    [[maybe_unused]] const ssize_t n = write(fMaster, bytes.data(), bytes.size());
    fLastFrame = std::chrono::steady_clock::now();
}

// A reply of the next address to a read of one register: another device on the same bus.
SimRtuServer::Bytes SimRtuServer::OtherDeviceFrame() const {
    Bytes frame = {fOtherAddress, 0x03, 0x02, 0x00, 0x2A};
    const std::uint16_t crc = Crc16(frame);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

void SimRtuServer::Chatter() {
    const Bytes frame = OtherDeviceFrame();
    std::unique_lock lock(fChatterLock);
    while (!fChatterStop.wait_for(lock, std::chrono::milliseconds(fPlan.ChatterMs),
                                  [this] { return !fChattering; })) {
        lock.unlock();
        WriteFrame(frame);
        lock.lock();
    }
}

} // namespace kalvo::sim
