#include "modbus_serial/modbus_buffer.h"

#include "modbus_serial/brindel_error.h"
#include "modbus_serial/modbus_checks.h"

#include <algorithm>
#include <cstring>

namespace kalvo {

TModbusBuffer::TModbusBuffer(int capacity)
    : fStorage(static_cast<std::size_t>(std::max(0, capacity))) {}

void TModbusBuffer::SetPosition(int value) {
    if (value == fPosition) {
        return;
    }
    if (value < 0 || value > fSize) {
        throw EBrindelError::Format("Buffer position is invalid (%d)", value);
    }
    fPosition = value;
}

void TModbusBuffer::SetSize(int value) {
    if (value == fSize) {
        return;
    }
    if (value < 0 || value > Capacity()) {
        throw EBrindelError::Format("Buffer size is invalid (%d)", value);
    }
    fSize = value;
    fPosition = std::min(fPosition, fSize);
}

void TModbusBuffer::CheckSpace(int count) const {
    if (count > Capacity() - fPosition) {
        throw EBrindelError(
            "There is not enough space in the buffer to perform the requested action");
    }
}

void TModbusBuffer::Advance(int count) {
    fPosition += count;
    fSize = std::max(fSize, fPosition);
}

void TModbusBuffer::PutByte(std::uint8_t data) {
    CheckSpace(1);
    fStorage[static_cast<std::size_t>(fPosition)] = data;
    Advance(1);
}

void TModbusBuffer::PutWordHiLo(std::uint16_t data) {
    CheckSpace(2);
    fStorage[static_cast<std::size_t>(fPosition)] = static_cast<std::uint8_t>(data >> 8);
    fStorage[static_cast<std::size_t>(fPosition) + 1] = static_cast<std::uint8_t>(data & 0xFF);
    Advance(2);
}

void TModbusBuffer::PutWordLoHi(std::uint16_t data) {
    CheckSpace(2);
    fStorage[static_cast<std::size_t>(fPosition)] = static_cast<std::uint8_t>(data & 0xFF);
    fStorage[static_cast<std::size_t>(fPosition) + 1] = static_cast<std::uint8_t>(data >> 8);
    Advance(2);
}

void TModbusBuffer::PutBlock(const std::uint8_t* buffer, int blockSize) {
    if (blockSize <= 0) {
        return;
    }
    CheckSpace(blockSize);
    std::memcpy(fStorage.data() + fPosition, buffer, static_cast<std::size_t>(blockSize));
    Advance(blockSize);
}

std::uint8_t TModbusBuffer::GetByte() const {
    CheckSpace(1);
    return fStorage[static_cast<std::size_t>(fPosition)];
}

std::uint16_t TModbusBuffer::GetWordHiLo() const {
    CheckSpace(2);
    return static_cast<std::uint16_t>((fStorage[static_cast<std::size_t>(fPosition)] << 8) |
                                      fStorage[static_cast<std::size_t>(fPosition) + 1]);
}

std::uint16_t TModbusBuffer::GetWordLoHi() const {
    CheckSpace(2);
    return static_cast<std::uint16_t>(fStorage[static_cast<std::size_t>(fPosition)] |
                                      (fStorage[static_cast<std::size_t>(fPosition) + 1] << 8));
}

void TModbusBuffer::GetBlock(std::uint8_t* buffer, int blockSize) const {
    if (blockSize <= 0) {
        return;
    }
    CheckSpace(blockSize);
    std::memcpy(buffer, fStorage.data() + fPosition, static_cast<std::size_t>(blockSize));
}

void TModbusBuffer::Seek(TSeekMode mode) {
    switch (mode) {
    case smBufStart:
        SetPosition(0);
        break;
    case smBufEnd:
        SetPosition(fSize);
        break;
    case smPriorByte:
        SetPosition(fPosition - 1);
        break;
    case smNextByte:
        SetPosition(fPosition + 1);
        break;
    case smPriorWord:
        SetPosition(fPosition - 2);
        break;
    case smNextWord:
        SetPosition(fPosition + 2);
        break;
    }
}

std::uint16_t TModbusBuffer::CRC16() const {
    return Crc16({fStorage.data(), static_cast<std::size_t>(fPosition)});
}

std::uint8_t TModbusBuffer::LRC8() const {
    return Lrc8({fStorage.data(), static_cast<std::size_t>(fPosition)});
}

} // namespace kalvo
