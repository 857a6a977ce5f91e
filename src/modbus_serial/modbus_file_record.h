#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace kalvo {

// A run of registers in one file of a server's file records (function codes 0x14, 0x15).
class TModbusFileRecord {
public:
    static constexpr int kLastRecord = 9999;

    TModbusFileRecord(std::uint16_t fileID, std::uint16_t startReg, std::int32_t regCount);

    std::uint16_t FileID() const { return fFileID; }
    std::uint16_t StartReg() const { return fStartReg; }
    void SetStartReg(std::uint16_t value) { AdjustRange(value, RegCount()); }
    std::int32_t RegCount() const { return static_cast<std::int32_t>(fValues.size()); }
    void SetRegCount(std::int32_t value) { AdjustRange(fStartReg, value); }
    // Raises "Starting register index is invalid (%d)" past record 9999; new values are 0.
    void AdjustRange(std::uint16_t startReg, std::int32_t regCount);
    std::uint16_t RegValue(std::int32_t index) const;
    void SetRegValue(std::int32_t index, std::uint16_t value);

private:
    void CheckIndex(std::int32_t index) const;

    std::uint16_t fFileID;
    std::uint16_t fStartReg = 0;
    std::vector<std::uint16_t> fValues;
};

// Owns its records.
class TModbusFileRecordList {
public:
    TModbusFileRecord& Add(std::uint16_t fileID, std::uint16_t startReg, std::int32_t regCount);
    TModbusFileRecord& Add(std::uint16_t fileID, std::uint16_t startReg,
                           const std::vector<std::uint16_t>& values);
    void Clear() { fRecords.clear(); }
    void Delete(int index);
    // The record's former index, or -1 when it is not in the list.
    int Remove(const TModbusFileRecord* record);
    int Count() const { return static_cast<int>(fRecords.size()); }
    TModbusFileRecord& FileRecord(int index) const;

private:
    std::vector<std::unique_ptr<TModbusFileRecord>> fRecords;
};

} // namespace kalvo
