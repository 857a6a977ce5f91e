#include "registers/run_recorder.h"

#include <stdexcept>

namespace kalvo {

void RunRecorder::Start(std::string path, RecordFile::Split split, std::string decimalSeparator) {
    fFile = std::make_unique<RecordFile>(std::move(path), split);
    fRecord = std::make_unique<RunRecord>(std::move(decimalSeparator));
}

void RunRecorder::Stop() {
    fFile.reset();
    fRecord.reset();
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
        Stop();
        return error.what();
    }
}

} // namespace kalvo
