#pragma once

#include <cstdint>
#include <vector>

namespace kalvo {

enum TSeekMode { smBufStart, smBufEnd, smPriorByte, smNextByte, smPriorWord, smNextWord };

// A fixed-capacity byte buffer with a cursor. Gets read at the cursor without moving it;
// readers step with Seek. Every access is checked against the capacity.
class TModbusBuffer {
public:
    explicit TModbusBuffer(int capacity);

    int Capacity() const { return static_cast<int>(fStorage.size()); }
    int Position() const { return fPosition; }
    void SetPosition(int value);
    int Size() const { return fSize; }
    void SetSize(int value);
    std::uint8_t* StartPtr() { return fStorage.data(); }
    const std::uint8_t* StartPtr() const { return fStorage.data(); }

    void PutByte(std::uint8_t data);
    void PutWordHiLo(std::uint16_t data);
    void PutWordLoHi(std::uint16_t data);
    void PutBlock(const std::uint8_t* buffer, int blockSize);
    std::uint8_t GetByte() const;
    std::uint16_t GetWordHiLo() const;
    std::uint16_t GetWordLoHi() const;
    void GetBlock(std::uint8_t* buffer, int blockSize) const;
    void Seek(TSeekMode mode);
    // Of the bytes before the cursor.
    std::uint16_t CRC16() const;
    std::uint8_t LRC8() const;

private:
    void CheckSpace(int count) const;
    void Advance(int count);

    std::vector<std::uint8_t> fStorage;
    int fPosition = 0;
    int fSize = 0;
};

} // namespace kalvo
