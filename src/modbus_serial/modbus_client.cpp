#include "modbus_serial/modbus_client.h"

#include "modbus_serial/brindel_error.h"
#include "modbus_serial/modbus_requests.h"
#include "registers/modbus_function.h"

#include <algorithm>
#include <cstring>

namespace kalvo {

namespace {

namespace fn = ModbusFunction;
constexpr std::uint8_t kFileReferenceType = 6;
constexpr int kMaxPdu = 253;
constexpr int kMaxCustomData = 252;

struct DiagnosticRequest {
    std::uint16_t SubFunction;
    std::uint16_t Data;
};
constexpr DiagnosticRequest kDiagnosticRequests[] = {
    {0x00, 0xA537}, {0x01, 0x0000}, {0x01, 0xFF00}, {0x02, 0}, {0x04, 0},
    {0x0A, 0},      {0x0B, 0},      {0x0C, 0},      {0x0D, 0}, {0x0E, 0},
    {0x0F, 0},      {0x10, 0},      {0x11, 0},      {0x12, 0}, {0x14, 0}};

const char* const kExceptionTexts[] = {
    "Illegal command", "Illegal data address", "Illegal data value",   "Server failure",
    "Acknowledge",     "Server is busy",       "Negative acknowledge", "Memory parity error"};

std::uint8_t ByteAt(TModbusBuffer& buffer, int position) {
    buffer.SetPosition(position);
    return buffer.GetByte();
}

std::uint16_t WordAt(TModbusBuffer& buffer, int position) {
    buffer.SetPosition(position);
    return buffer.GetWordHiLo();
}

// A reply that contradicts its query.
void Require(bool condition) {
    if (!condition) {
        throw EBrindelError("Unmatched reply");
    }
}

TBitValues UnpackBits(TModbusBuffer& buffer, int first, int count) {
    TBitValues bits(static_cast<std::size_t>(count), false);
    for (int i = 0; i < count; ++i) {
        bits[static_cast<std::size_t>(i)] = ((ByteAt(buffer, first + i / 8) >> (i % 8)) & 1) != 0;
    }
    return bits;
}

TRegValues ReadWords(TModbusBuffer& buffer, int first, int count) {
    TRegValues values(static_cast<std::size_t>(count), 0);
    for (int i = 0; i < count; ++i) {
        values[static_cast<std::size_t>(i)] = WordAt(buffer, first + 2 * i);
    }
    return values;
}

// Runs the reply check of a normal reply; an engine error during it makes the reply
// unmatched and `reset` puts the event's values back to zero.
template <typename Check, typename Reset>
void Checked(TModbusTransaction& t, Check check, Reset reset) {
    if (t.Info.Reply != srNormalReply) {
        return;
    }
    try {
        check();
    } catch (const EBrindelError&) {
        t.Info.Reply = srUnmatchedReply;
        reset();
    }
}

} // namespace

TModbusClient::~TModbusClient() {
    SetConnection(nullptr);
}

void TModbusClient::SetConnection(TModbusConnection* connection) {
    if (fConnection != nullptr) {
        fConnection->UnregisterClient(this);
    }
    fConnection = connection;
    if (fConnection != nullptr) {
        fConnection->RegisterClient(this);
    }
}

void TModbusClient::ConnectionDestroyed(TModbusConnection* connection) {
    if (fConnection == connection) {
        fConnection = nullptr;
    }
}

void TModbusClient::SetServerAddress(std::uint8_t value) {
    if (value != fServerAddress && fConnection != nullptr) {
        fConnection->DiscardPendingTransactions(this);
    }
    fServerAddress = value;
}

void TModbusClient::SetMaxConsecutiveTimeouts(std::int32_t value) {
    fMaxConsecutiveTimeouts = std::max(value, -1);
    fConsecutiveTimeoutCount = 0;
}

void TModbusClient::CheckConnected() const {
    if (fConnection == nullptr || !fConnection->Active()) {
        throw EBrindelError("There is no active connection");
    }
}

void TModbusClient::CheckDisconnected() const {
    if (fConnection != nullptr && fConnection->Active()) {
        throw EBrindelError("Client must be disconnected");
    }
}

std::string TModbusClient::ExceptionCodeToStr(std::uint8_t exceptionCode) {
    std::string text = exceptionCode >= 1 && exceptionCode <= 8 ? kExceptionTexts[exceptionCode - 1]
                                                                : "Unknown exception code";
    if (OnTranslateExceptionCode) {
        OnTranslateExceptionCode(*this, exceptionCode, text);
    }
    return text;
}

std::uint32_t TModbusClient::Queue(std::uint8_t functionCode, const RequestFill& fill,
                                   void* userData, bool custom, bool promiscuous) {
    CheckConnected();
    std::unique_ptr<TModbusTransaction> transaction =
        BuildRequest(*fConnection, this, functionCode, fill, userData);
    transaction->Custom = custom;
    transaction->Promiscuous = promiscuous;
    const std::uint32_t id = transaction->Info.ID;
    fConnection->EnqueueTransaction(std::move(transaction), this);
    return id;
}

// Functions 1 to 4: a start and a count, checked against the function's limit.
std::uint32_t TModbusClient::QueueRangeRead(std::uint8_t functionCode, std::uint16_t start,
                                            std::uint16_t count, void* userData) {
    const bool bits = functionCode == fn::ReadCoils || functionCode == fn::ReadDiscreteInputs;
    CheckRange(start, count, bits ? 2008 : 125, bits);
    return Queue(
        functionCode,
        [=](TModbusBuffer& q) {
            q.PutWordHiLo(start);
            q.PutWordHiLo(count);
        },
        userData);
}

std::uint32_t TModbusClient::ReadCoils(std::uint16_t startBit, std::uint16_t bitCount,
                                       void* userData) {
    return QueueRangeRead(fn::ReadCoils, startBit, bitCount, userData);
}

std::uint32_t TModbusClient::ReadDiscreteInputs(std::uint16_t startBit, std::uint16_t bitCount,
                                                void* userData) {
    return QueueRangeRead(fn::ReadDiscreteInputs, startBit, bitCount, userData);
}

std::uint32_t TModbusClient::ReadHoldingRegisters(std::uint16_t startReg, std::uint16_t regCount,
                                                  void* userData) {
    return QueueRangeRead(fn::ReadHoldingRegisters, startReg, regCount, userData);
}

std::uint32_t TModbusClient::ReadInputRegisters(std::uint16_t startReg, std::uint16_t regCount,
                                                void* userData) {
    return QueueRangeRead(fn::ReadInputRegisters, startReg, regCount, userData);
}

std::uint32_t TModbusClient::WriteSingleCoil(std::uint16_t bitAddr, bool bitValue, void* userData) {
    return Queue(
        fn::WriteSingleCoil,
        [=](TModbusBuffer& q) {
            q.PutWordHiLo(bitAddr);
            q.PutWordHiLo(bitValue ? 0xFF00 : 0);
        },
        userData);
}

std::uint32_t TModbusClient::WriteSingleRegister(std::uint16_t regAddr, std::uint16_t regValue,
                                                 void* userData) {
    return Queue(
        fn::WriteSingleRegister,
        [=](TModbusBuffer& q) {
            q.PutWordHiLo(regAddr);
            q.PutWordHiLo(regValue);
        },
        userData);
}

std::uint32_t TModbusClient::ReadExceptionStatus(void* userData) {
    return Queue(
        fn::ReadExceptionStatus, [](TModbusBuffer&) {}, userData);
}

std::uint32_t TModbusClient::Diagnostics(TDiagnosticAction action, void* userData) {
    const DiagnosticRequest request = kDiagnosticRequests[action];
    return Queue(
        fn::Diagnostics,
        [=](TModbusBuffer& q) {
            q.PutWordHiLo(request.SubFunction);
            q.PutWordHiLo(request.Data);
        },
        userData);
}

std::uint32_t TModbusClient::WriteMultipleCoils(std::uint16_t startBit, const TBitValues& values,
                                                void* userData) {
    CheckRange(startBit, static_cast<std::uint32_t>(values.size()), 1976, true);
    return Queue(
        fn::WriteMultipleCoils,
        [&](TModbusBuffer& q) {
            q.PutWordHiLo(startBit);
            q.PutWordHiLo(static_cast<std::uint16_t>(values.size()));
            PutBits(q, values);
        },
        userData);
}

std::uint32_t TModbusClient::WriteMultipleRegisters(std::uint16_t startReg,
                                                    const TRegValues& values, void* userData) {
    CheckRange(startReg, static_cast<std::uint32_t>(values.size()), 123, false);
    return Queue(
        fn::WriteMultipleRegisters,
        [&](TModbusBuffer& q) {
            q.PutWordHiLo(startReg);
            q.PutWordHiLo(static_cast<std::uint16_t>(values.size()));
            q.PutByte(static_cast<std::uint8_t>(2 * values.size()));
            for (std::uint16_t value : values) {
                q.PutWordHiLo(value);
            }
        },
        userData);
}

std::uint32_t TModbusClient::ReportServerID(void* userData) {
    return Queue(
        fn::ReportServerID, [](TModbusBuffer&) {}, userData);
}

std::uint32_t TModbusClient::ReadFileRecord(const TModbusFileRecordList& records, void* userData) {
    int replySize = 2;
    for (int i = 0; i < records.Count(); ++i) {
        replySize += 2 * records.FileRecord(i).RegCount() + 2;
    }
    if (records.Count() == 0 || 2 + 7 * records.Count() > kMaxPdu || replySize > kMaxPdu) {
        throw EBrindelError("File record list is empty or invalid");
    }
    return Queue(
        fn::ReadFileRecord,
        [&](TModbusBuffer& q) {
            q.PutByte(static_cast<std::uint8_t>(7 * records.Count()));
            for (int i = 0; i < records.Count(); ++i) {
                const TModbusFileRecord& record = records.FileRecord(i);
                q.PutByte(kFileReferenceType);
                q.PutWordHiLo(record.FileID());
                q.PutWordHiLo(record.StartReg());
                q.PutWordHiLo(static_cast<std::uint16_t>(record.RegCount()));
            }
        },
        userData);
}

std::uint32_t TModbusClient::WriteFileRecord(const TModbusFileRecordList& records, void* userData) {
    int dataSize = 0;
    for (int i = 0; i < records.Count(); ++i) {
        dataSize += 2 * records.FileRecord(i).RegCount() + 7;
    }
    if (records.Count() == 0 || 2 + dataSize > kMaxPdu) {
        throw EBrindelError("File record list is empty or invalid");
    }
    return Queue(
        fn::WriteFileRecord,
        [&](TModbusBuffer& q) {
            q.PutByte(static_cast<std::uint8_t>(dataSize));
            for (int i = 0; i < records.Count(); ++i) {
                const TModbusFileRecord& record = records.FileRecord(i);
                q.PutByte(kFileReferenceType);
                q.PutWordHiLo(record.FileID());
                q.PutWordHiLo(record.StartReg());
                q.PutWordHiLo(static_cast<std::uint16_t>(record.RegCount()));
                for (int k = 0; k < record.RegCount(); ++k) {
                    q.PutWordHiLo(record.RegValue(k));
                }
            }
        },
        userData);
}

std::uint32_t TModbusClient::MaskWriteSingleRegister(std::uint16_t regAddr, std::uint16_t andMask,
                                                     std::uint16_t orMask, void* userData) {
    return Queue(
        fn::MaskWriteRegister,
        [=](TModbusBuffer& q) {
            q.PutWordHiLo(regAddr);
            q.PutWordHiLo(andMask);
            q.PutWordHiLo(orMask);
        },
        userData);
}

std::uint32_t TModbusClient::ReadWriteMultipleRegisters(std::uint16_t startRegToRead,
                                                        std::uint16_t regCountToRead,
                                                        std::uint16_t startRegToWrite,
                                                        const TRegValues& values, void* userData) {
    CheckRange(startRegToRead, regCountToRead, 125, false);
    CheckRange(startRegToWrite, static_cast<std::uint32_t>(values.size()), 121, false);
    return Queue(
        fn::ReadWriteRegisters,
        [&](TModbusBuffer& q) {
            q.PutWordHiLo(startRegToRead);
            q.PutWordHiLo(regCountToRead);
            q.PutWordHiLo(startRegToWrite);
            q.PutWordHiLo(static_cast<std::uint16_t>(values.size()));
            q.PutByte(static_cast<std::uint8_t>(2 * values.size()));
            for (std::uint16_t value : values) {
                q.PutWordHiLo(value);
            }
        },
        userData);
}

std::uint32_t TModbusClient::InitCustomTransaction(std::uint8_t command,
                                                   const std::vector<std::uint8_t>& data,
                                                   bool promiscuous, void* userData) {
    CheckConnected();
    if (data.size() > kMaxCustomData) {
        throw EBrindelError::Format("Invalid request data size (%d)",
                                    static_cast<long long>(data.size()));
    }
    return Queue(
        command, [&](TModbusBuffer& q) { q.PutBlock(data.data(), static_cast<int>(data.size())); },
        userData, true, promiscuous);
}

void TModbusClient::DoneTransaction(TModbusTransaction& transaction) {
    CheckConnected();
    const std::uint8_t command = ByteAt(transaction.QueryBuffer(), 1);
    if (transaction.Custom) {
        if (transaction.Promiscuous && transaction.Info.Reply >= srUnmatchedReply) {
            transaction.Info.Address = ByteAt(transaction.ReplyBuffer(), 0);
        }
        if (OnCustomTransactionComplete) {
            OnCustomTransactionComplete(*this, transaction, command);
        }
    } else {
        HandleReply(transaction, command);
    }
    if (OnTransactionProcessed) {
        OnTransactionProcessed(*this, transaction.Info, command, transaction.Custom);
    }
    CountFailures(transaction.Info);
}

void TModbusClient::CountFailures(const TTransactionInfo& info) {
    if (fMaxConsecutiveTimeouts < 0) {
        return;
    }
    if (info.Reply > srUnexpectedReply) {
        fConsecutiveTimeoutCount = 0;
        return;
    }
    fConsecutiveTimeoutCount += info.Retries;
    if (fConsecutiveTimeoutCount > static_cast<std::uint32_t>(fMaxConsecutiveTimeouts)) {
        fConsecutiveTimeoutCount = 0;
        if (OnConsecutiveTimeoutLimitExceed) {
            OnConsecutiveTimeoutLimitExceed(*this);
        }
    }
}

void TModbusClient::HandleReply(TModbusTransaction& t, std::uint8_t command) {
    switch (command) {
    case fn::ReadCoils:
        return BitsReply(t, OnCoilsRead);
    case fn::ReadDiscreteInputs:
        return BitsReply(t, OnDiscreteInputsRead);
    case fn::ReadHoldingRegisters:
        return RegistersReply(t, OnHoldingRegistersRead);
    case fn::ReadInputRegisters:
        return RegistersReply(t, OnInputRegistersRead);
    case fn::WriteSingleCoil:
    case fn::WriteSingleRegister:
    case fn::MaskWriteRegister:
        return SingleWriteReply(t, command);
    case fn::ReadExceptionStatus:
        return StatusReply(t);
    case fn::Diagnostics:
        return DiagnosticsReply(t);
    case fn::WriteMultipleCoils:
    case fn::WriteMultipleRegisters:
        return MultipleWriteReply(t, command);
    case fn::ReportServerID:
        return IdentificationReply(t);
    case fn::ReadFileRecord:
    case fn::WriteFileRecord:
        return FileRecordReply(t, command == fn::WriteFileRecord);
    case fn::ReadWriteRegisters:
        return ReadWriteReply(t);
    default:
        return;
    }
}

void TModbusClient::RegistersReply(TModbusTransaction& t, const RegistersEvent& event) {
    const std::uint16_t start = WordAt(t.QueryBuffer(), 2);
    const std::uint16_t count = WordAt(t.QueryBuffer(), 4);
    TRegValues values(count, 0);
    Checked(
        t,
        [&] {
            Require(ByteAt(t.ReplyBuffer(), 2) / 2 == count);
            values = ReadWords(t.ReplyBuffer(), 3, count);
        },
        [&] { values.assign(count, 0); });
    if (event) {
        event(*this, t.Info, start, count, values);
    }
}

void TModbusClient::BitsReply(TModbusTransaction& t, const BitsEvent& event) {
    const std::uint16_t start = WordAt(t.QueryBuffer(), 2);
    const std::uint16_t count = WordAt(t.QueryBuffer(), 4);
    TBitValues values(count, false);
    Checked(
        t,
        [&] {
            Require(ByteAt(t.ReplyBuffer(), 2) == ByteCountOfBits(count));
            values = UnpackBits(t.ReplyBuffer(), 3, count);
        },
        [&] { values.assign(count, false); });
    if (event) {
        event(*this, t.Info, start, count, values);
    }
}

void TModbusClient::SingleWriteReply(TModbusTransaction& t, std::uint8_t command) {
    const int words = command == fn::MaskWriteRegister ? 3 : 2;
    const TRegValues sent = ReadWords(t.QueryBuffer(), 2, words);
    Checked(
        t, [&] { Require(ReadWords(t.ReplyBuffer(), 2, words) == sent); }, [] {});
    if (command == fn::WriteSingleCoil && OnSingleCoilWrite) {
        OnSingleCoilWrite(*this, t.Info, sent[0], sent[1] == 0xFF00);
    } else if (command == fn::WriteSingleRegister && OnSingleRegisterWrite) {
        OnSingleRegisterWrite(*this, t.Info, sent[0], sent[1]);
    } else if (command == fn::MaskWriteRegister && OnSingleRegisterMaskWrite) {
        OnSingleRegisterMaskWrite(*this, t.Info, sent[0], sent[1], sent[2]);
    }
}

void TModbusClient::MultipleWriteReply(TModbusTransaction& t, std::uint8_t command) {
    const std::uint16_t start = WordAt(t.QueryBuffer(), 2);
    const std::uint16_t count = WordAt(t.QueryBuffer(), 4);
    Checked(
        t,
        [&] {
            Require(WordAt(t.ReplyBuffer(), 2) == start && WordAt(t.ReplyBuffer(), 4) == count);
        },
        [] {});
    if (command == fn::WriteMultipleCoils && OnMultipleCoilsWrite) {
        OnMultipleCoilsWrite(*this, t.Info, start, count, UnpackBits(t.QueryBuffer(), 7, count));
    } else if (command == fn::WriteMultipleRegisters && OnMultipleRegistersWrite) {
        OnMultipleRegistersWrite(*this, t.Info, start, count, ReadWords(t.QueryBuffer(), 7, count));
    }
}

void TModbusClient::ReadWriteReply(TModbusTransaction& t) {
    TModbusBuffer& q = t.QueryBuffer();
    const std::uint16_t readStart = WordAt(q, 2);
    const std::uint16_t readCount = WordAt(q, 4);
    const std::uint16_t writeStart = WordAt(q, 6);
    const std::uint16_t writeCount = WordAt(q, 8);
    const TRegValues written = ReadWords(q, 11, writeCount);
    TRegValues values(readCount, 0);
    Checked(
        t,
        [&] {
            Require(ByteAt(t.ReplyBuffer(), 2) / 2 == readCount);
            values = ReadWords(t.ReplyBuffer(), 3, readCount);
        },
        [&] { values.assign(readCount, 0); });
    if (OnMultipleRegistersReadWrite) {
        OnMultipleRegistersReadWrite(*this, t.Info, readStart, readCount, values, writeStart,
                                     writeCount, written);
    }
}

void TModbusClient::StatusReply(TModbusTransaction& t) {
    TExceptionStatusValues status{};
    Checked(
        t,
        [&] {
            const std::uint8_t bits = ByteAt(t.ReplyBuffer(), 2);
            for (int i = 0; i < 8; ++i) {
                status[static_cast<std::size_t>(i)] = ((bits >> i) & 1) != 0;
            }
        },
        [&] { status.fill(false); });
    if (OnExceptionStatusRead) {
        OnExceptionStatusRead(*this, t.Info, status);
    }
}

void TModbusClient::IdentificationReply(TModbusTransaction& t) {
    TServerIdentificationData data;
    Checked(
        t,
        [&] {
            const int count = ByteAt(t.ReplyBuffer(), 2);
            for (int i = 0; i < count; ++i) {
                data.push_back(ByteAt(t.ReplyBuffer(), 3 + i));
            }
        },
        [&] { data.clear(); });
    if (OnServerIdentificationReport) {
        OnServerIdentificationReport(*this, t.Info, static_cast<std::int32_t>(data.size()), data);
    }
}

void TModbusClient::DiagnosticsReply(TModbusTransaction& t) {
    const std::uint16_t sub = WordAt(t.QueryBuffer(), 2);
    const std::uint16_t data = WordAt(t.QueryBuffer(), 4);
    int action = 0;
    while (action < daClearOverrunCounterAndFlag &&
           kDiagnosticRequests[action].SubFunction != sub) {
        ++action;
    }
    if (sub == 0x01 && data == 0xFF00) {
        action = daRestartCommsOptionAndClearEventLog;
    }
    const bool echoesData = action == daReturnQueryData || action == daRestartCommsOption ||
                            action == daRestartCommsOptionAndClearEventLog ||
                            action == daClearCountersAndDiagnosticRegister ||
                            action == daClearOverrunCounterAndFlag;
    std::uint16_t result = 0;
    Checked(
        t,
        [&] {
            Require(WordAt(t.ReplyBuffer(), 2) == sub);
            const std::uint16_t word = WordAt(t.ReplyBuffer(), 4);
            Require(!echoesData || word == data);
            result = echoesData ? 0 : word;
        },
        [&] { result = 0; });
    if (OnDiagnostics) {
        OnDiagnostics(*this, t.Info, static_cast<TDiagnosticAction>(action), result);
    }
}

void TModbusClient::FileRecordReply(TModbusTransaction& t, bool write) {
    TModbusBuffer& q = t.QueryBuffer();
    TModbusFileRecordList records;
    int position = 3;
    const int end = 3 + ByteAt(q, 2);
    while (position < end) {
        const std::uint16_t length = WordAt(q, position + 5);
        TModbusFileRecord& record =
            records.Add(WordAt(q, position + 1), WordAt(q, position + 3), length);
        position += 7;
        for (int k = 0; write && k < length; ++k, position += 2) {
            record.SetRegValue(k, WordAt(q, position));
        }
    }
    Checked(
        t,
        [&] {
            TModbusBuffer& r = t.ReplyBuffer();
            if (write) {
                Require(r.Size() == q.Size() &&
                        std::memcmp(r.StartPtr(), q.StartPtr(),
                                    static_cast<std::size_t>(q.Size())) == 0);
                return;
            }
            int expected = 0;
            for (int i = 0; i < records.Count(); ++i) {
                expected += 2 * records.FileRecord(i).RegCount() + 2;
            }
            Require(ByteAt(r, 2) == expected);
            int at = 3;
            for (int i = 0; i < records.Count(); ++i) {
                TModbusFileRecord& record = records.FileRecord(i);
                Require(ByteAt(r, at) == 2 * record.RegCount() + 1 &&
                        ByteAt(r, at + 1) == kFileReferenceType);
                for (int k = 0; k < record.RegCount(); ++k) {
                    record.SetRegValue(k, WordAt(r, at + 2 + 2 * k));
                }
                at += 2 + 2 * record.RegCount();
            }
        },
        [&] {
            for (int i = 0; i < records.Count(); ++i) {
                for (int k = 0; k < records.FileRecord(i).RegCount(); ++k) {
                    records.FileRecord(i).SetRegValue(k, 0);
                }
            }
        });
    const FileRecordEvent& event = write ? OnFileRecordWrite : OnFileRecordRead;
    if (event) {
        event(*this, t.Info, records);
    }
}

} // namespace kalvo
