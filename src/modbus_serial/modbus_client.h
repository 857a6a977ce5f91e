#pragma once

#include "modbus_serial/modbus_connection.h"
#include "modbus_serial/modbus_file_record.h"
#include "modbus_serial/modbus_requests.h"
#include "modbus_serial/transaction_client.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kalvo {

enum TDiagnosticAction {
    daReturnQueryData,
    daRestartCommsOption,
    daRestartCommsOptionAndClearEventLog,
    daReturnDiagnosticRegister,
    daForceListenOnlyMode,
    daClearCountersAndDiagnosticRegister,
    daReturnBusMessageCount,
    daReturnBusCommErrorCount,
    daReturnBusExceptionErrorCount,
    daReturnServerMessageCount,
    daReturnServerNoReplyCount,
    daReturnServerNegativeAcknowledgeCount,
    daReturnServerBusyCount,
    daReturnBusCharacterOverrunCount,
    daClearOverrunCounterAndFlag
};

using TBitValues = std::vector<bool>;
using TRegValues = std::vector<std::uint16_t>;
using TExceptionStatusValues = std::array<bool, 8>;
using TServerIdentificationData = std::vector<std::uint8_t>;

// The master's request side on a serial connection: each call builds and queues one request
// and returns its ID at once; the completion comes back on the connection's creating thread,
// is checked against the query, and fires the function's event for every outcome.
class TModbusClient : public TransactionClient {
public:
    using Info = const TTransactionInfo&;
    using BitsEvent = std::function<void(TModbusClient&, Info, std::uint16_t start,
                                         std::uint16_t count, const TBitValues&)>;
    using RegistersEvent = std::function<void(TModbusClient&, Info, std::uint16_t start,
                                              std::uint16_t count, const TRegValues&)>;
    using SingleCoilEvent = std::function<void(TModbusClient&, Info, std::uint16_t, bool)>;
    using SingleRegisterEvent =
        std::function<void(TModbusClient&, Info, std::uint16_t, std::uint16_t)>;
    using MaskWriteEvent = std::function<void(TModbusClient&, Info, std::uint16_t address,
                                              std::uint16_t andMask, std::uint16_t orMask)>;
    using ReadWriteEvent = std::function<void(
        TModbusClient&, Info, std::uint16_t readStart, std::uint16_t readCount, const TRegValues&,
        std::uint16_t writeStart, std::uint16_t writeCount, const TRegValues&)>;
    using FileRecordEvent = std::function<void(TModbusClient&, Info, const TModbusFileRecordList&)>;
    using ExceptionStatusEvent =
        std::function<void(TModbusClient&, Info, const TExceptionStatusValues&)>;
    using IdentificationEvent = std::function<void(TModbusClient&, Info, std::int32_t count,
                                                   const TServerIdentificationData&)>;
    using DiagnosticsEvent =
        std::function<void(TModbusClient&, Info, TDiagnosticAction, std::uint16_t result)>;
    using CustomEvent = std::function<void(TModbusClient&, TModbusTransaction&, std::uint8_t)>;
    using ProcessedEvent = std::function<void(TModbusClient&, Info, std::uint8_t, bool)>;
    using NotifyEvent = std::function<void(TModbusClient&)>;
    using TranslateEvent = std::function<void(TModbusClient&, std::uint8_t, std::string&)>;

    TModbusClient() = default;
    ~TModbusClient() override;
    TModbusClient(const TModbusClient&) = delete;
    TModbusClient& operator=(const TModbusClient&) = delete;

    TModbusConnection* Connection() const { return fConnection; }
    void SetConnection(TModbusConnection* connection);
    std::uint8_t ServerAddress() const override { return fServerAddress; }
    void SetServerAddress(std::uint8_t value);
    std::int32_t MaxConsecutiveTimeouts() const { return fMaxConsecutiveTimeouts; }
    void SetMaxConsecutiveTimeouts(std::int32_t value);
    std::uint32_t ConsecutiveTimeoutCount() const { return fConsecutiveTimeoutCount; }
    void ClearConsecutiveTimeoutCounter() { fConsecutiveTimeoutCount = 0; }

    BitsEvent OnCoilsRead, OnDiscreteInputsRead, OnMultipleCoilsWrite;
    RegistersEvent OnHoldingRegistersRead, OnInputRegistersRead, OnMultipleRegistersWrite;
    SingleCoilEvent OnSingleCoilWrite;
    SingleRegisterEvent OnSingleRegisterWrite;
    MaskWriteEvent OnSingleRegisterMaskWrite;
    ReadWriteEvent OnMultipleRegistersReadWrite;
    FileRecordEvent OnFileRecordRead, OnFileRecordWrite;
    ExceptionStatusEvent OnExceptionStatusRead;
    IdentificationEvent OnServerIdentificationReport;
    DiagnosticsEvent OnDiagnostics;
    CustomEvent OnCustomTransactionComplete;
    ProcessedEvent OnTransactionProcessed;
    NotifyEvent OnConsecutiveTimeoutLimitExceed;
    TranslateEvent OnTranslateExceptionCode;

    std::uint32_t ReadCoils(std::uint16_t startBit, std::uint16_t bitCount,
                            void* userData = nullptr);
    std::uint32_t ReadDiscreteInputs(std::uint16_t startBit, std::uint16_t bitCount,
                                     void* userData = nullptr);
    std::uint32_t ReadHoldingRegisters(std::uint16_t startReg, std::uint16_t regCount,
                                       void* userData = nullptr);
    std::uint32_t ReadInputRegisters(std::uint16_t startReg, std::uint16_t regCount,
                                     void* userData = nullptr);
    std::uint32_t WriteSingleCoil(std::uint16_t bitAddr, bool bitValue, void* userData = nullptr);
    std::uint32_t WriteSingleRegister(std::uint16_t regAddr, std::uint16_t regValue,
                                      void* userData = nullptr);
    std::uint32_t ReadExceptionStatus(void* userData = nullptr);
    std::uint32_t Diagnostics(TDiagnosticAction action, void* userData = nullptr);
    std::uint32_t WriteMultipleCoils(std::uint16_t startBit, const TBitValues& values,
                                     void* userData = nullptr);
    std::uint32_t WriteMultipleRegisters(std::uint16_t startReg, const TRegValues& values,
                                         void* userData = nullptr);
    std::uint32_t ReportServerID(void* userData = nullptr);
    std::uint32_t ReadFileRecord(const TModbusFileRecordList& records, void* userData = nullptr);
    std::uint32_t WriteFileRecord(const TModbusFileRecordList& records, void* userData = nullptr);
    std::uint32_t MaskWriteSingleRegister(std::uint16_t regAddr, std::uint16_t andMask,
                                          std::uint16_t orMask, void* userData = nullptr);
    std::uint32_t ReadWriteMultipleRegisters(std::uint16_t startRegToRead,
                                             std::uint16_t regCountToRead,
                                             std::uint16_t startRegToWrite,
                                             const TRegValues& values, void* userData = nullptr);
    std::uint32_t InitCustomTransaction(std::uint8_t command, const std::vector<std::uint8_t>& data,
                                        bool promiscuous, void* userData = nullptr);

    void CheckConnected() const;
    void CheckDisconnected() const;
    std::string ExceptionCodeToStr(std::uint8_t exceptionCode);
    void DoneTransaction(TModbusTransaction& transaction) override;
    void ConnectionDestroyed(TModbusConnection* connection) override;

private:
    std::uint32_t QueueRangeRead(std::uint8_t functionCode, std::uint16_t start,
                                 std::uint16_t count, void* userData);
    std::uint32_t Queue(std::uint8_t functionCode, const RequestFill& fill, void* userData,
                        bool custom = false, bool promiscuous = false);
    void HandleReply(TModbusTransaction& transaction, std::uint8_t command);
    void RegistersReply(TModbusTransaction& t, const RegistersEvent& event);
    void BitsReply(TModbusTransaction& t, const BitsEvent& event);
    void SingleWriteReply(TModbusTransaction& t, std::uint8_t command);
    void MultipleWriteReply(TModbusTransaction& t, std::uint8_t command);
    void ReadWriteReply(TModbusTransaction& t);
    void StatusReply(TModbusTransaction& t);
    void IdentificationReply(TModbusTransaction& t);
    void DiagnosticsReply(TModbusTransaction& t);
    void FileRecordReply(TModbusTransaction& t, bool write);
    void CountFailures(const TTransactionInfo& info);

    TModbusConnection* fConnection = nullptr;
    std::uint8_t fServerAddress = 1;
    std::int32_t fMaxConsecutiveTimeouts = -1;
    std::uint32_t fConsecutiveTimeoutCount = 0;
};

} // namespace kalvo
