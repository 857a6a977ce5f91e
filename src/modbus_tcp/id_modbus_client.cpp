#include "modbus_tcp/id_modbus_client.h"

#include "modbus_tcp/tcp_error.h"
#include "registers/modbus_function.h"

#include <algorithm>
#include <bit>
#include <chrono>

namespace kalvo {

namespace {

namespace fn = ModbusFunction;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

// Opens the connection for one operation when AutoConnect asks for it, and closes it again
// however the operation ends.
class TIdModBusClient::AutoConnection {
public:
    explicit AutoConnection(TIdModBusClient& client) : fClient(client) {
        if (client.fAutoConnect && !client.Connected()) {
            client.Connect();
            fOpened = true;
        }
    }
    ~AutoConnection() {
        if (fOpened) {
            fClient.Disconnect();
        }
    }
    AutoConnection(const AutoConnection&) = delete;
    AutoConnection& operator=(const AutoConnection&) = delete;

private:
    TIdModBusClient& fClient;
    bool fOpened = false;
};

void TIdModBusClient::Connect() {
    fConnection.Connect(fHost, fPort, fConnectTimeout);
    fLastTransactionID = 0;
}

std::uint16_t TIdModBusClient::NextTransactionID() {
    fLastTransactionID = static_cast<std::uint16_t>(fLastTransactionID + 1);
    return fLastTransactionID;
}

bool TIdModBusClient::ExchangeRequest(std::uint8_t functionCode, std::uint16_t regNo,
                                      std::uint16_t count, std::span<std::uint16_t> values) {
    fConnection.CheckForGracefulDisconnect();
    // Whatever is waiting now answers nothing we are about to ask.
    fConnection.DiscardInput();
    TModBusResponseBuffer request;
    const std::size_t size =
        TcpFrameCodec::Build({NextTransactionID(), fUnitID, functionCode,
                              static_cast<std::uint16_t>(regNo - fBaseRegister), count, values},
                             request);
    fConnection.Write(std::span<const std::uint8_t>(request.Bytes).first(size));
    TModBusResponseBuffer reply;
    if (!ReceiveReply(request, reply)) {
        return false;
    }
    return HandleReply(request, reply, values);
}

// A frame that answers another request (a stale or duplicated reply) or another protocol is
// not ours: it is dropped and the wait goes on until the deadline.
bool TIdModBusClient::ReceiveReply(const TModBusResponseBuffer& request,
                                   TModBusResponseBuffer& reply) {
    const std::int64_t deadline = NowMs() + fTimeOut;
    for (;;) {
        const TcpFrameCodec::Scan scan =
            TcpFrameCodec::Find(fConnection.PeekBytes(fConnection.InputBufferSize()), request);
        fConnection.ReadBytes(scan.Skipped);
        switch (scan.State) {
        case TcpFrameCodec::Scan::Is::BadLength:
            fConnection.DiscardInput();
            throw ETcpError(TcpFrameCodec::BadLengthText(scan.Length));
        case TcpFrameCodec::Scan::Is::Reply: {
            const std::vector<std::uint8_t> frame = fConnection.ReadBytes(scan.Size);
            reply.Bytes.fill(0);
            std::copy(frame.begin(), frame.end(), reply.Bytes.begin());
            return true;
        }
        case TcpFrameCodec::Scan::Is::Wanting:
            if (!WaitForFrameBytes(scan.Needed, deadline)) {
                return false;
            }
            break;
        }
    }
}

// A time-out in the middle of a frame leaves the stream out of step: the rest of that frame
// may still come and would be read as the next reply's header. Only a new connection starts
// again at a frame boundary.
bool TIdModBusClient::WaitForFrameBytes(std::size_t count, std::int64_t deadlineMs) {
    if (WaitForBytes(count, deadlineMs)) {
        return true;
    }
    if (fConnection.InputBufferSize() > 0) {
        fConnection.Disconnect();
    }
    return false;
}

bool TIdModBusClient::WaitForBytes(std::size_t count, std::int64_t deadlineMs) {
    bool lastLook = false;
    while (fConnection.InputBufferSize() < count) {
        if (fConnection.PeerClosed()) {
            fConnection.Disconnect();
            throw ETcpError("Connection Closed Gracefully.");
        }
        const std::int64_t remaining = deadlineMs - NowMs();
        if (remaining <= 0) {
            if (lastLook) {
                return false;
            }
            lastLook = true;
            fConnection.CheckForDataOnSource(0);
            continue;
        }
        std::int64_t wait = remaining;
        if (fReadTimeout > 0) {
            wait = std::min<std::int64_t>(wait, fReadTimeout);
        }
        fConnection.CheckForDataOnSource(static_cast<int>(wait));
    }
    return true;
}

// A reply whose length, byte count or echo does not fit the request is a mismatch, as a wrong
// function code or a malformed exception reply is: registers it lacks must not be shown as
// zeros, and a write the module did not confirm is no write.
bool TIdModBusClient::HandleReply(const TModBusResponseBuffer& request,
                                  const TModBusResponseBuffer& reply,
                                  std::span<std::uint16_t> values) {
    switch (TcpFrameCodec::Judge(request, reply)) {
    case TcpFrameCodec::Fit::Exception:
        if (OnResponseError) {
            OnResponseError(request.FunctionCode(), reply.MBPData()[0], reply);
        }
        return false;
    case TcpFrameCodec::Fit::Mismatch:
        if (OnResponseMismatch) {
            OnResponseMismatch(request.FunctionCode(), reply.FunctionCode(), reply);
        }
        return false;
    case TcpFrameCodec::Fit::Good:
        break;
    }
    TcpFrameCodec::Decode(request, reply, values);
    return true;
}

bool TIdModBusClient::ReadHoldingRegisters(std::uint16_t regNo, std::uint16_t count,
                                           std::span<std::uint16_t> values) {
    AutoConnection connection(*this);
    std::vector<std::uint16_t> staged(count, 0);
    const bool ok = ExchangeRequest(fn::ReadHoldingRegisters, regNo, count, staged);
    std::copy_n(staged.begin(), std::min(staged.size(), values.size()), values.begin());
    return ok;
}

bool TIdModBusClient::ReadHoldingRegister(std::uint16_t regNo, std::uint16_t& value) {
    return ReadHoldingRegisters(regNo, 1, std::span<std::uint16_t>(&value, 1));
}

bool TIdModBusClient::ReadInputRegisters(std::uint16_t regNo, std::uint16_t count,
                                         std::span<std::uint16_t> values) {
    AutoConnection connection(*this);
    std::fill(values.begin(), values.end(), std::uint16_t{0});
    return ExchangeRequest(fn::ReadInputRegisters, regNo, count, values);
}

bool TIdModBusClient::ReadInputRegister(std::uint16_t regNo, std::uint16_t& value) {
    return ReadInputRegisters(regNo, 1, std::span<std::uint16_t>(&value, 1));
}

bool TIdModBusClient::ReadBits(std::uint8_t functionCode, std::uint16_t regNo, std::uint16_t count,
                               std::span<bool> values) {
    AutoConnection connection(*this);
    std::vector<std::uint16_t> staged(count, 0);
    const bool ok = ExchangeRequest(functionCode, regNo, count, staged);
    for (std::size_t i = 0; i < staged.size() && i < values.size(); ++i) {
        values[i] = staged[i] == 1;
    }
    return ok;
}

bool TIdModBusClient::ReadCoils(std::uint16_t regNo, std::uint16_t count, std::span<bool> values) {
    return ReadBits(fn::ReadCoils, regNo, count, values);
}

bool TIdModBusClient::ReadCoil(std::uint16_t regNo, bool& value) {
    return ReadCoils(regNo, 1, std::span<bool>(&value, 1));
}

bool TIdModBusClient::ReadInputBits(std::uint16_t regNo, std::uint16_t count,
                                    std::span<bool> values) {
    return ReadBits(fn::ReadDiscreteInputs, regNo, count, values);
}

bool TIdModBusClient::WriteRegister(std::uint16_t regNo, std::uint16_t value) {
    AutoConnection connection(*this);
    std::uint16_t staged[] = {value};
    return ExchangeRequest(fn::WriteSingleRegister, regNo, 1, staged);
}

bool TIdModBusClient::WriteWords(std::uint16_t regNo, std::span<const std::uint16_t> values) {
    AutoConnection connection(*this);
    std::vector<std::uint16_t> staged(values.begin(), values.end());
    const auto count = static_cast<std::uint16_t>(std::min<std::size_t>(staged.size(), 0xFFFF));
    return ExchangeRequest(fn::WriteMultipleRegisters, regNo, count, staged);
}

bool TIdModBusClient::WriteRegisters(std::uint16_t regNo, std::span<const std::uint16_t> values) {
    return WriteWords(regNo, values);
}

bool TIdModBusClient::WriteCoil(std::uint16_t regNo, bool value) {
    AutoConnection connection(*this);
    std::uint16_t staged[] = {static_cast<std::uint16_t>(value ? 1 : 0)};
    return ExchangeRequest(fn::WriteSingleCoil, regNo, 1, staged);
}

bool TIdModBusClient::WriteCoils(std::uint16_t regNo, std::span<const bool> values) {
    AutoConnection connection(*this);
    std::vector<std::uint16_t> staged;
    for (bool value : values) {
        staged.push_back(value ? 1 : 0);
    }
    const auto count = static_cast<std::uint16_t>(std::min<std::size_t>(staged.size(), 0xFFFF));
    return ExchangeRequest(fn::WriteMultipleCoils, regNo, count, staged);
}

bool TIdModBusClient::ReadDWord(std::uint16_t regNo, std::uint32_t& value) {
    std::uint16_t words[2] = {};
    const bool ok = ReadHoldingRegisters(regNo, 2, words);
    value = ok ? (static_cast<std::uint32_t>(words[0]) << 16) | words[1] : 0;
    return ok;
}

bool TIdModBusClient::WriteDWord(std::uint16_t regNo, std::uint32_t value) {
    const std::uint16_t words[] = {static_cast<std::uint16_t>(value >> 16),
                                   static_cast<std::uint16_t>(value & 0xFFFF)};
    return WriteWords(regNo, words);
}

bool TIdModBusClient::ReadSingle(std::uint16_t regNo, float& value) {
    std::uint16_t words[2] = {};
    const bool ok = ReadHoldingRegisters(regNo, 2, words);
    value =
        ok ? std::bit_cast<float>((static_cast<std::uint32_t>(words[1]) << 16) | words[0]) : 0.0f;
    return ok;
}

bool TIdModBusClient::WriteSingle(std::uint16_t regNo, float value) {
    const auto pattern = std::bit_cast<std::uint32_t>(value);
    const std::uint16_t words[] = {static_cast<std::uint16_t>(pattern & 0xFFFF),
                                   static_cast<std::uint16_t>(pattern >> 16)};
    return WriteWords(regNo, words);
}

bool TIdModBusClient::ReadDouble(std::uint16_t regNo, double& value) {
    std::uint16_t words[4] = {};
    const bool ok = ReadHoldingRegisters(regNo, 4, words);
    std::uint64_t pattern = 0;
    for (int k = 3; k >= 0; --k) {
        pattern = (pattern << 16) | words[k];
    }
    value = ok ? std::bit_cast<double>(pattern) : 0.0;
    return ok;
}

bool TIdModBusClient::WriteDouble(std::uint16_t regNo, double value) {
    const auto pattern = std::bit_cast<std::uint64_t>(value);
    std::uint16_t words[4];
    for (int k = 0; k < 4; ++k) {
        words[k] = static_cast<std::uint16_t>(pattern >> (16 * k));
    }
    return WriteWords(regNo, words);
}

std::string TIdModBusClient::ReadString(std::uint16_t regNo, std::uint16_t length) {
    const auto count = static_cast<std::uint16_t>((length + 1) / 2);
    std::vector<std::uint16_t> words(count, 0);
    if (!ReadHoldingRegisters(regNo, count, words)) {
        return {};
    }
    std::string text;
    for (std::uint16_t word : words) {
        text.push_back(static_cast<char>(word >> 8));
        if (text.size() < length) {
            text.push_back(static_cast<char>(word & 0xFF));
        }
    }
    return text;
}

bool TIdModBusClient::WriteString(std::uint16_t regNo, const std::string& text) {
    if (text.empty()) {
        return false;
    }
    std::vector<std::uint16_t> words((text.size() + 1) / 2, 0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto code = static_cast<std::uint8_t>(text[i]);
        words[i / 2] |= static_cast<std::uint16_t>(i % 2 == 0 ? code << 8 : code);
    }
    return WriteWords(regNo, words);
}

} // namespace kalvo
