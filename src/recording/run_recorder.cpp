#include "recording/run_recorder.h"

#include <stdexcept>

namespace kalvo {

void RunRecorder::Start(std::string path, RecordFile::Split split, std::string decimalSeparator,
                        std::chrono::milliseconds hold) {
    fFile = std::make_unique<RecordFile>(std::move(path), split);
    fFile->SetHold(hold);
    fRecord = std::make_unique<RunRecord>(std::move(decimalSeparator));
}

std::string RunRecorder::Stop() {
    std::string failure;
    if (fFile) {
        try {
            fFile->Flush();
        } catch (const std::runtime_error& error) {
            failure = error.what();
        }
    }
    fFile.reset();
    fRecord.reset();
    return failure;
}

std::string RunRecorder::Write(std::chrono::system_clock::time_point time, RegisterBlock block,
                               const ModbusRegisters& registers) {
    if (!fFile) {
        return {};
    }
    try {
        fFile->Write(time, fRecord->Row(time, block, registers));
        return {};
    } catch (const std::runtime_error& error) {
        fFile.reset();
        fRecord.reset();
        return error.what();
    }
}

} // namespace kalvo
