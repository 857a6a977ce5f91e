#pragma once

#include <cstdint>

namespace kalvo {

// The Modbus function codes, one list for every engine, server and test.
namespace ModbusFunction {
inline constexpr std::uint8_t ReadCoils = 0x01;
inline constexpr std::uint8_t ReadDiscreteInputs = 0x02;
inline constexpr std::uint8_t ReadHoldingRegisters = 0x03;
inline constexpr std::uint8_t ReadInputRegisters = 0x04;
inline constexpr std::uint8_t WriteSingleCoil = 0x05;
inline constexpr std::uint8_t WriteSingleRegister = 0x06;
inline constexpr std::uint8_t ReadExceptionStatus = 0x07;
inline constexpr std::uint8_t Diagnostics = 0x08;
inline constexpr std::uint8_t GetCommEventCounter = 0x0B;
inline constexpr std::uint8_t GetCommEventLog = 0x0C;
inline constexpr std::uint8_t WriteMultipleCoils = 0x0F;
inline constexpr std::uint8_t WriteMultipleRegisters = 0x10;
inline constexpr std::uint8_t ReportServerID = 0x11;
inline constexpr std::uint8_t ReadFileRecord = 0x14;
inline constexpr std::uint8_t WriteFileRecord = 0x15;
inline constexpr std::uint8_t MaskWriteRegister = 0x16;
inline constexpr std::uint8_t ReadWriteRegisters = 0x17;
// Set in the function code of an exception reply.
inline constexpr std::uint8_t ExceptionFlag = 0x80;
} // namespace ModbusFunction

} // namespace kalvo
