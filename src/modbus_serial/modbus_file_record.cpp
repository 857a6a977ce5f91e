#include "modbus_serial/modbus_file_record.h"

#include "modbus_serial/brindel_error.h"

#include <algorithm>

namespace kalvo {

TModbusFileRecord::TModbusFileRecord(std::uint16_t fileID, std::uint16_t startReg,
                                     std::int32_t regCount)
    : fFileID(fileID) {
    AdjustRange(startReg, regCount);
}

void TModbusFileRecord::AdjustRange(std::uint16_t startReg, std::int32_t regCount) {
    if (static_cast<std::int64_t>(startReg) + regCount - 1 > kLastRecord || regCount < 0) {
        throw EBrindelError::Format("Starting register index is invalid (%d)", startReg);
    }
    fValues.resize(static_cast<std::size_t>(regCount), 0);
    fStartReg = startReg;
}

void TModbusFileRecord::CheckIndex(std::int32_t index) const {
    if (index < 0 || index >= RegCount()) {
        throw EBrindelError::Format("Register index is invalid (%d)", index);
    }
}

std::uint16_t TModbusFileRecord::RegValue(std::int32_t index) const {
    CheckIndex(index);
    return fValues[static_cast<std::size_t>(index)];
}

void TModbusFileRecord::SetRegValue(std::int32_t index, std::uint16_t value) {
    CheckIndex(index);
    fValues[static_cast<std::size_t>(index)] = value;
}

TModbusFileRecord& TModbusFileRecordList::Add(std::uint16_t fileID, std::uint16_t startReg,
                                              std::int32_t regCount) {
    fRecords.push_back(std::make_unique<TModbusFileRecord>(fileID, startReg, regCount));
    return *fRecords.back();
}

TModbusFileRecord& TModbusFileRecordList::Add(std::uint16_t fileID, std::uint16_t startReg,
                                              const std::vector<std::uint16_t>& values) {
    TModbusFileRecord& record = Add(fileID, startReg, static_cast<std::int32_t>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        record.SetRegValue(static_cast<std::int32_t>(i), values[i]);
    }
    return record;
}

void TModbusFileRecordList::Delete(int index) {
    fRecords.erase(fRecords.begin() + index);
}

int TModbusFileRecordList::Remove(const TModbusFileRecord* record) {
    const auto found = std::find_if(fRecords.begin(), fRecords.end(),
                                    [record](const auto& owned) { return owned.get() == record; });
    if (found == fRecords.end()) {
        return -1;
    }
    const int index = static_cast<int>(found - fRecords.begin());
    fRecords.erase(found);
    return index;
}

TModbusFileRecord& TModbusFileRecordList::FileRecord(int index) const {
    return *fRecords.at(static_cast<std::size_t>(index));
}

} // namespace kalvo
