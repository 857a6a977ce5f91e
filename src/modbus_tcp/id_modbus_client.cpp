#include "modbus_tcp/id_modbus_client.h"

#include "modbus_tcp/tcp_error.h"

#include <algorithm>
#include <bit>
#include <chrono>

namespace kalvo {

namespace {

constexpr std::uint8_t kReadCoils = 1;
constexpr std::uint8_t kReadInputBits = 2;
constexpr std::uint8_t kReadHoldingRegisters = 3;
constexpr std::uint8_t kReadInputRegisters = 4;
constexpr std::uint8_t kWriteCoil = 5;
constexpr std::uint8_t kWriteRegister = 6;
constexpr std::uint8_t kWriteCoils = 15;
constexpr std::uint8_t kWriteRegisters = 16;
constexpr std::uint8_t kExceptionFlag = 0x80;
constexpr std::uint16_t kMinReplyLength = 2;
constexpr std::uint16_t kMaxReplyLength = 254;
constexpr std::size_t kAddressOffset = 8;
constexpr std::size_t kCountOffset = 10;
constexpr std::size_t kByteCountOffset = 12;
// Unit identifier, function code and exception code.
constexpr std::uint16_t kExceptionReplyLength = 3;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::uint16_t Clamped(std::uint16_t count, std::uint16_t limit) {
    return std::min(count, limit);
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

std::size_t TIdModBusClient::BuildRequest(TModBusResponseBuffer& request, std::uint8_t functionCode,
                                          std::uint16_t regNo, std::uint16_t count,
                                          std::span<const std::uint16_t> values) {
    request.SetWord(0, NextTransactionID());
    request.SetWord(2, 0);
    request.Bytes[6] = fUnitID;
    request.Bytes[7] = functionCode;
    request.SetWord(8, static_cast<std::uint16_t>(regNo - fBaseRegister));
    const std::uint16_t first = values.empty() ? 0 : values[0];
    std::uint16_t length = 6;
    switch (functionCode) {
    case kReadCoils:
    case kReadInputBits:
        request.SetWord(kCountOffset, Clamped(count, kMaxBits));
        break;
    case kReadHoldingRegisters:
    case kReadInputRegisters:
        request.SetWord(kCountOffset, Clamped(count, kMaxReadRegisters));
        break;
    case kWriteCoil:
        request.SetWord(kCountOffset, first != 0 ? 0xFF00 : 0x0000);
        break;
    case kWriteRegister:
        request.SetWord(kCountOffset, first);
        break;
    case kWriteCoils: {
        const std::uint16_t quantity = Clamped(count, kMaxBits);
        const auto byteCount = static_cast<std::uint8_t>((quantity + 7) / 8);
        request.SetWord(kCountOffset, quantity);
        request.Bytes[kByteCountOffset] = byteCount;
        for (std::size_t i = 0; i < quantity && i < values.size(); ++i) {
            if (values[i] != 0) {
                request.Bytes[kByteCountOffset + 1 + i / 8] |=
                    static_cast<std::uint8_t>(1 << (i % 8));
            }
        }
        length = static_cast<std::uint16_t>(byteCount + 7);
        break;
    }
    case kWriteRegisters: {
        const std::uint16_t quantity = Clamped(count, kMaxWriteRegisters);
        request.SetWord(kCountOffset, quantity);
        request.Bytes[kByteCountOffset] = static_cast<std::uint8_t>(2 * quantity);
        for (std::size_t i = 0; i < quantity; ++i) {
            request.SetWord(kByteCountOffset + 1 + 2 * i, i < values.size() ? values[i] : 0);
        }
        length = static_cast<std::uint16_t>(2 * quantity + 7);
        break;
    }
    default:
        break;
    }
    request.SetWord(4, length);
    return static_cast<std::size_t>(length) + 6;
}

bool TIdModBusClient::ExchangeRequest(std::uint8_t functionCode, std::uint16_t regNo,
                                      std::uint16_t count, std::span<std::uint16_t> values) {
    fConnection.CheckForGracefulDisconnect();
    // Whatever is waiting now answers nothing we are about to ask.
    fConnection.DiscardInput();
    TModBusResponseBuffer request;
    const std::size_t size = BuildRequest(request, functionCode, regNo, count, values);
    fConnection.Write(std::span<const std::uint8_t>(request.Bytes).first(size));
    TModBusResponseBuffer reply;
    if (!ReceiveReply(request.TransactionID(), reply)) {
        return false;
    }
    return HandleReply(request, reply, values);
}

// A frame that answers another request (a stale or duplicated reply) or another protocol is
// not ours: it is dropped and the wait goes on until the deadline.
bool TIdModBusClient::ReceiveReply(std::uint16_t transactionID, TModBusResponseBuffer& reply) {
    const std::int64_t deadline = NowMs() + fTimeOut;
    for (;;) {
        if (!WaitForFrameBytes(TModBusResponseBuffer::kHeaderSize, deadline)) {
            return false;
        }
        const auto header = fConnection.PeekBytes(TModBusResponseBuffer::kHeaderSize);
        const auto length = static_cast<std::uint16_t>((header[4] << 8) | header[5]);
        if (length < kMinReplyLength || length > kMaxReplyLength) {
            fConnection.DiscardInput();
            throw ETcpError("Invalid Modbus/TCP reply\r\nLength field " + std::to_string(length) +
                            " outside 2..254.");
        }
        if (!WaitForFrameBytes(std::size_t{6} + length, deadline)) {
            return false;
        }
        const std::vector<std::uint8_t> frame = fConnection.ReadBytes(std::size_t{6} + length);
        const auto frameID = static_cast<std::uint16_t>((frame[0] << 8) | frame[1]);
        const auto protocolID = static_cast<std::uint16_t>((frame[2] << 8) | frame[3]);
        if (frameID == transactionID && protocolID == 0) {
            reply.Bytes.fill(0);
            std::copy(frame.begin(), frame.end(), reply.Bytes.begin());
            return true;
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

// The length a reply must have, in MBAP length-field terms, for the request it answers.
std::uint16_t TIdModBusClient::ExpectedReplyLength(const TModBusResponseBuffer& request) {
    const std::uint16_t quantity = request.Word(kCountOffset);
    switch (request.FunctionCode()) {
    case kReadCoils:
    case kReadInputBits:
        return static_cast<std::uint16_t>(3 + (quantity + 7) / 8);
    case kReadHoldingRegisters:
    case kReadInputRegisters:
        return static_cast<std::uint16_t>(3 + 2 * quantity);
    default:
        return 6;
    }
}

// A read's reply carries the byte count its request implies; a write's echoes the request's
// address and value or quantity.
bool TIdModBusClient::Fits(const TModBusResponseBuffer& request,
                           const TModBusResponseBuffer& reply) {
    const std::uint16_t expected = ExpectedReplyLength(request);
    if (reply.RecLength() != expected) {
        return false;
    }
    if (expected != 6) {
        return reply.MBPData()[0] == expected - 3;
    }
    return reply.Word(kAddressOffset) == request.Word(kAddressOffset) &&
           reply.Word(kCountOffset) == request.Word(kCountOffset);
}

// A reply whose length, byte count or echo does not fit the request is a mismatch, as a wrong
// function code or a malformed exception reply is: registers it lacks must not be shown as
// zeros, and a write the module did not confirm is no write.
bool TIdModBusClient::HandleReply(const TModBusResponseBuffer& request,
                                  const TModBusResponseBuffer& reply,
                                  std::span<std::uint16_t> values) {
    const std::uint8_t functionCode = request.FunctionCode();
    const std::uint8_t received = reply.FunctionCode();
    const auto data = reply.MBPData();
    const bool exception = received == static_cast<std::uint8_t>(functionCode | kExceptionFlag);
    if (exception && reply.RecLength() == kExceptionReplyLength) {
        if (OnResponseError) {
            OnResponseError(functionCode, data[0], reply);
        }
        return false;
    }
    if (received != functionCode || !Fits(request, reply)) {
        if (OnResponseMismatch) {
            OnResponseMismatch(functionCode, received, reply);
        }
        return false;
    }
    const std::size_t byteCount = data[0];
    if (functionCode == kReadCoils || functionCode == kReadInputBits) {
        const std::size_t bits = std::min<std::size_t>({byteCount * 8, kMaxBits, values.size()});
        for (std::size_t i = 0; i < bits; ++i) {
            values[i] = (data[1 + i / 8] >> (i % 8)) & 1;
        }
    } else if (functionCode == kReadHoldingRegisters || functionCode == kReadInputRegisters) {
        const std::size_t words =
            std::min<std::size_t>({byteCount / 2, kMaxReadRegisters, values.size()});
        for (std::size_t i = 0; i < words; ++i) {
            values[i] = static_cast<std::uint16_t>((data[1 + 2 * i] << 8) | data[2 + 2 * i]);
        }
    }
    return true;
}

bool TIdModBusClient::ReadHoldingRegisters(std::uint16_t regNo, std::uint16_t count,
                                           std::span<std::uint16_t> values) {
    AutoConnection connection(*this);
    std::vector<std::uint16_t> staged(count, 0);
    const bool ok = ExchangeRequest(kReadHoldingRegisters, regNo, count, staged);
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
    return ExchangeRequest(kReadInputRegisters, regNo, count, values);
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
    return ReadBits(kReadCoils, regNo, count, values);
}

bool TIdModBusClient::ReadCoil(std::uint16_t regNo, bool& value) {
    return ReadCoils(regNo, 1, std::span<bool>(&value, 1));
}

bool TIdModBusClient::ReadInputBits(std::uint16_t regNo, std::uint16_t count,
                                    std::span<bool> values) {
    return ReadBits(kReadInputBits, regNo, count, values);
}

bool TIdModBusClient::WriteRegister(std::uint16_t regNo, std::uint16_t value) {
    AutoConnection connection(*this);
    std::uint16_t staged[] = {value};
    return ExchangeRequest(kWriteRegister, regNo, 1, staged);
}

bool TIdModBusClient::WriteWords(std::uint16_t regNo, std::span<const std::uint16_t> values) {
    AutoConnection connection(*this);
    std::vector<std::uint16_t> staged(values.begin(), values.end());
    const auto count = static_cast<std::uint16_t>(std::min<std::size_t>(staged.size(), 0xFFFF));
    return ExchangeRequest(kWriteRegisters, regNo, count, staged);
}

bool TIdModBusClient::WriteRegisters(std::uint16_t regNo, std::span<const std::uint16_t> values) {
    return WriteWords(regNo, values);
}

bool TIdModBusClient::WriteCoil(std::uint16_t regNo, bool value) {
    AutoConnection connection(*this);
    std::uint16_t staged[] = {static_cast<std::uint16_t>(value ? 1 : 0)};
    return ExchangeRequest(kWriteCoil, regNo, 1, staged);
}

bool TIdModBusClient::WriteCoils(std::uint16_t regNo, std::span<const bool> values) {
    AutoConnection connection(*this);
    std::vector<std::uint16_t> staged;
    for (bool value : values) {
        staged.push_back(value ? 1 : 0);
    }
    const auto count = static_cast<std::uint16_t>(std::min<std::size_t>(staged.size(), 0xFFFF));
    return ExchangeRequest(kWriteCoils, regNo, count, staged);
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
