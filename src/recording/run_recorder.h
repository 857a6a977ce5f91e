#pragma once

#include "recording/record_file.h"
#include "recording/run_record.h"

#include <memory>
#include <string>

namespace kalvo {

// Records the blocks of a Run while it is on: each successful read becomes a row of the run
// record in the record file. A write that fails ends the recording, never the Run.
class RunRecorder {
public:
    // Starts recording to `path`; the first part is opened with the first row.
    // `hold`: how long rows may wait to be written together (RecordFile::SetHold).
    void Start(std::string path, RecordFile::Split split, std::string decimalSeparator,
               std::chrono::milliseconds hold = {});
    // Writes what is held and ends the recording; on a failed write returns "path: reason".
    std::string Stop();
    bool Recording() const { return fFile != nullptr; }
    // Records `block`; on a failed write, stops and returns "path: reason".
    std::string Write(std::chrono::system_clock::time_point time, RegisterBlock block,
                      const ModbusRegisters& registers);

private:
    std::unique_ptr<RecordFile> fFile;
    std::unique_ptr<RunRecord> fRecord;
};

} // namespace kalvo
