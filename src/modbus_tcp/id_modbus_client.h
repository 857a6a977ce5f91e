#pragma once

#include "modbus_tcp/modbus_response_buffer.h"
#include "modbus_tcp/tcp_connection.h"
#include "modbus_tcp/tcp_frame_codec.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kalvo {

// Modbus/TCP client: one connection to one server, function codes 1 to 6, 15 and 16, and
// typed conversions on holding registers. Every operation returns true only when a reply
// to its own request (transaction and protocol identifier), with the request's function code
// and the length the request asks for, arrived; a module asked as the direct unit may answer
// with a unit of its own (TcpFrameCodec). One thread uses an instance at a time; only
// Interrupt() may be called from another.
class TIdModBusClient {
public:
    using ErrorEvent = std::function<void(std::uint8_t functionCode, std::uint8_t errorCode,
                                          const TModBusResponseBuffer& response)>;
    using MismatchEvent =
        std::function<void(std::uint8_t requestFunctionCode, std::uint8_t responseFunctionCode,
                           const TModBusResponseBuffer& response)>;

    static constexpr std::uint16_t kMaxReadRegisters = TcpFrameCodec::kMaxReadRegisters;
    static constexpr std::uint16_t kMaxBits = TcpFrameCodec::kMaxBits;
    static constexpr std::uint16_t kMaxWriteRegisters = TcpFrameCodec::kMaxWriteRegisters;

    bool AutoConnect() const { return fAutoConnect; }
    void SetAutoConnect(bool value) { fAutoConnect = value; }
    std::uint16_t BaseRegister() const { return fBaseRegister; }
    void SetBaseRegister(std::uint16_t value) { fBaseRegister = value; }
    std::int32_t ReadTimeout() const { return fReadTimeout; }
    void SetReadTimeout(std::int32_t value) { fReadTimeout = value; }
    std::uint16_t Port() const { return fPort; }
    void SetPort(std::uint16_t value) { fPort = value; }
    std::uint32_t TimeOut() const { return fTimeOut; }
    void SetTimeOut(std::uint32_t value) { fTimeOut = value; }
    std::uint8_t UnitID() const { return fUnitID; }
    void SetUnitID(std::uint8_t value) { fUnitID = value; }
    const std::string& Host() const { return fHost; }
    void SetHost(std::string value) { fHost = std::move(value); }
    // Longest wait for a connection to be established.
    std::int32_t ConnectTimeout() const { return fConnectTimeout; }
    void SetConnectTimeout(std::int32_t value) { fConnectTimeout = value; }
    std::string Version() const { return "1.5.1"; }
    void SetVersion(const std::string&) {}
    std::uint16_t LastTransactionID() const { return fLastTransactionID; }

    ErrorEvent OnResponseError;
    MismatchEvent OnResponseMismatch;

    void Connect();
    bool Connected() const { return fConnection.Connected(); }
    void Disconnect() { fConnection.Disconnect(); }
    void Interrupt() { fConnection.Interrupt(); }

    bool ReadHoldingRegisters(std::uint16_t regNo, std::uint16_t count,
                              std::span<std::uint16_t> values);
    bool ReadHoldingRegister(std::uint16_t regNo, std::uint16_t& value);
    bool ReadInputRegisters(std::uint16_t regNo, std::uint16_t count,
                            std::span<std::uint16_t> values);
    bool ReadInputRegister(std::uint16_t regNo, std::uint16_t& value);
    bool ReadCoils(std::uint16_t regNo, std::uint16_t count, std::span<bool> values);
    bool ReadCoil(std::uint16_t regNo, bool& value);
    bool ReadInputBits(std::uint16_t regNo, std::uint16_t count, std::span<bool> values);
    bool WriteRegister(std::uint16_t regNo, std::uint16_t value);
    bool WriteRegisters(std::uint16_t regNo, std::span<const std::uint16_t> values);
    bool WriteCoil(std::uint16_t regNo, bool value);
    bool WriteCoils(std::uint16_t regNo, std::span<const bool> values);
    bool ReadDWord(std::uint16_t regNo, std::uint32_t& value);
    bool WriteDWord(std::uint16_t regNo, std::uint32_t value);
    bool ReadSingle(std::uint16_t regNo, float& value);
    bool WriteSingle(std::uint16_t regNo, float value);
    bool ReadDouble(std::uint16_t regNo, double& value);
    bool WriteDouble(std::uint16_t regNo, double value);
    std::string ReadString(std::uint16_t regNo, std::uint16_t length);
    bool WriteString(std::uint16_t regNo, const std::string& text);

private:
    class AutoConnection;

    bool ReadBits(std::uint8_t functionCode, std::uint16_t regNo, std::uint16_t count,
                  std::span<bool> values);
    bool WriteWords(std::uint16_t regNo, std::span<const std::uint16_t> values);
    bool ExchangeRequest(std::uint8_t functionCode, std::uint16_t regNo, std::uint16_t count,
                         std::span<std::uint16_t> values);
    std::uint16_t NextTransactionID();
    bool ReceiveReply(const TModBusResponseBuffer& request, TModBusResponseBuffer& reply);
    bool WaitForBytes(std::size_t count, std::int64_t deadlineMs);
    bool WaitForFrameBytes(std::size_t count, std::int64_t deadlineMs);
    bool HandleReply(const TModBusResponseBuffer& request, const TModBusResponseBuffer& reply,
                     std::span<std::uint16_t> values);

    TcpConnection fConnection;
    bool fAutoConnect = true;
    std::uint16_t fBaseRegister = 1;
    std::int32_t fReadTimeout = 0;
    std::uint16_t fPort = 502;
    std::uint32_t fTimeOut = 15000;
    std::uint8_t fUnitID = TcpFrameCodec::kDirectUnit;
    std::string fHost;
    std::int32_t fConnectTimeout = 5000;
    std::uint16_t fLastTransactionID = 0;
};

} // namespace kalvo
