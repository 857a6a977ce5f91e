#pragma once

#include <cstdint>
#include <vector>

namespace kalvo {

// How a transaction ended. The order matters: callers compare against it.
enum TServerReply {
    srNone,
    srInvalidFrame,
    srUnexpectedReply,
    srUnmatchedReply,
    srExceptionReply,
    srNormalReply
};

enum TServerException {
    seUnknown,
    seIllegalCommand,
    seIllegalDataAddress,
    seIllegalDataValue,
    seServerFailure,
    seAcknowledge,
    seServerBusy,
    seNegativeAcknowledge,
    seMemoryParityError
};

enum TBaudRate {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000,
    brCustom
};
enum TDataBits { db7, db8 };
enum TParityScheme { psNone, psOdd, psEven };
enum TStopBits { sb1, sb2 };
enum TFlowControl { fcNone, fcRtsToggle, fcRtsCts, fcDtrDsr };
enum TTransmissionMode { tmRTU, tmASCII };
enum TConnectionMode { cmClient, cmServer, cmMonitor };
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

using TFrameData = std::vector<std::uint8_t>;

// The outcome of one transaction, passed to every completion event.
struct TTransactionInfo {
    std::uint32_t ID = 0;
    std::uint8_t Address = 0;
    void* UserData = nullptr;
    std::uint32_t Retries = 0;
    TServerReply Reply = srNone;
    TServerException Exception = seUnknown;
    std::uint8_t ExceptionCode = 0;
};

// Exception codes 1 to 8 keep their value; anything else is unknown.
inline TServerException ExceptionFromCode(std::uint8_t code) {
    return code >= 1 && code <= 8 ? static_cast<TServerException>(code) : seUnknown;
}

// Frame geometry per transmission mode.
struct FrameGeometry {
    static constexpr int HeaderSize(TTransmissionMode) { return 1; }
    static constexpr int ErrorCheckSize(TTransmissionMode mode) { return mode == tmRTU ? 2 : 1; }
    static constexpr int TransactionCapacity(TTransmissionMode mode) {
        return mode == tmRTU ? 256 : 255;
    }
    static constexpr int InterimCapacity(TTransmissionMode mode) {
        return mode == tmRTU ? 256 : 513;
    }
    static constexpr int MinReply(TTransmissionMode mode) { return mode == tmRTU ? 5 : 4; }
    static constexpr int MinRequest(TTransmissionMode mode) { return mode == tmRTU ? 4 : 3; }
};

} // namespace kalvo
