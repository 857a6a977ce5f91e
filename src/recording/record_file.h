#pragma once

#include "recording/run_record.h"

#include <chrono>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace kalvo {

// Where a recorded Run goes: one CSV file, or one per hour or per day. Each part starts with
// the header and is named after the path chosen, with the time of its first row:
// "run.csv" gives "run_20261210_140000.csv", "run_20261210_150000.csv", ... Every row goes
// to the file as it is written (or, when asked, with the rows of the last moment), so the
// file can be followed while it grows and a killed process loses at most the rows it had not
// written. A failed write leaves the file at its last whole row and raises
// std::runtime_error with the path and the reason.
class RecordFile {
public:
    enum class Split { None, Hour, Day };

    RecordFile(std::string path, Split split);
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Rows may wait in memory this long (by their times) or up to 64 KiB before they are
    // written, in one write: for reads faster than a system call per row is worth. Zero, the
    // default, writes each row as it comes.
    void SetHold(std::chrono::milliseconds hold) { fHold = hold; }
    void Write(std::chrono::system_clock::time_point time, const std::vector<std::string>& row);
    // Writes the rows held; raises as Write does.
    void Flush();
    // The file being written (the latest part).
    const std::string& CurrentPath() const { return fCurrentPath; }

private:
    void OpenPart(std::chrono::system_clock::time_point time);
    std::string PartPath(std::chrono::system_clock::time_point time) const;
    long PeriodOf(std::chrono::system_clock::time_point time) const;
    void Append(std::string_view lines);
    void CheckStillThere() const;
    [[noreturn]] void Fail(int error) const;

    std::string fPath;
    Split fSplit;
    int fFile = -1;
    off_t fWhole = 0; // bytes of whole lines in the current part
    std::string fCurrentPath;
    long fPeriod = -1;
    std::chrono::milliseconds fHold{0};
    std::string fHeld;
    std::chrono::system_clock::time_point fHeldSince;
};

} // namespace kalvo
