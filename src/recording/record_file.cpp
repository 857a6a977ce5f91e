#include "recording/record_file.h"

#include "registers/csv_text.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace kalvo {

RecordFile::RecordFile(std::string path, Split split) : fPath(std::move(path)), fSplit(split) {}

// What is held is written; a failure here has no one left to tell (Flush first to hear it).
RecordFile::~RecordFile() {
    try {
        Flush();
    } catch (const std::runtime_error&) {
    }
    if (fFile >= 0) {
        ::close(fFile);
    }
}

// Hours or days of local time since the epoch; a new one starts a new part.
long RecordFile::PeriodOf(std::chrono::system_clock::time_point time) const {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    const long localSeconds = static_cast<long>(seconds) + local.tm_gmtoff;
    switch (fSplit) {
    case Split::Hour:
        return localSeconds / 3600;
    case Split::Day:
        return localSeconds / 86400;
    case Split::None:
        break;
    }
    return 0;
}

std::string RecordFile::PartPath(std::chrono::system_clock::time_point time) const {
    if (fSplit == Split::None) {
        return fPath;
    }
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "_%Y%m%d_%H%M%S", &local);
    const std::size_t slash = fPath.rfind('/');
    const std::size_t dot = fPath.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return hasExtension ? fPath.substr(0, dot) + stamp + fPath.substr(dot) : fPath + stamp;
}

void RecordFile::Fail(int error) const {
    throw std::runtime_error(fCurrentPath + ": " + std::strerror(error));
}

void RecordFile::OpenPart(std::chrono::system_clock::time_point time) {
    if (fFile >= 0) {
        ::close(fFile);
        fFile = -1;
    }
    fCurrentPath = PartPath(time);
    fFile = ::open(fCurrentPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fFile < 0) {
        Fail(errno);
    }
    fPeriod = PeriodOf(time);
    fWhole = 0;
    Append(CsvLine(RunRecord::Header()));
}

void RecordFile::Write(std::chrono::system_clock::time_point time,
                       const std::vector<std::string>& row) {
    constexpr std::size_t kMostHeld = 64 * 1024;
    if (fFile < 0 || PeriodOf(time) != fPeriod) {
        Flush();
        OpenPart(time);
    }
    if (fHeld.empty()) {
        fHeldSince = time;
    }
    fHeld += CsvLine(row);
    if (fHeld.size() >= kMostHeld || time - fHeldSince >= fHold) {
        Flush();
    }
}

void RecordFile::Flush() {
    if (fHeld.empty() || fFile < 0) {
        return;
    }
    const std::string rows = std::move(fHeld);
    fHeld.clear();
    CheckStillThere();
    Append(rows);
}

// A file whose folder was removed or renamed, or which was itself, takes every write and
// keeps nothing a user can find: the open file must still be the one its path names.
void RecordFile::CheckStillThere() const {
    struct stat open {};
    struct stat named {};
    if (::fstat(fFile, &open) != 0) {
        Fail(errno);
    }
    if (::stat(fCurrentPath.c_str(), &named) != 0 || named.st_dev != open.st_dev ||
        named.st_ino != open.st_ino) {
        throw std::runtime_error(fCurrentPath + ": the file was removed or moved");
    }
}

// Lines go to the file whole or not at all: after a failed write (a full disk) the file is
// cut back to the last whole line written, so a reader never meets half a row and keeps every
// row that fitted.
void RecordFile::Append(std::string_view lines) {
    const off_t start = fWhole;
    std::size_t done = 0;
    while (done < lines.size()) {
        const ssize_t written = ::write(fFile, lines.data() + done, lines.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            const int error = written < 0 ? errno : ENOSPC;
            if (::ftruncate(fFile, fWhole) == 0) {
                ::lseek(fFile, fWhole, SEEK_SET);
            }
            Fail(error);
        }
        done += static_cast<std::size_t>(written);
        if (const std::size_t end = lines.rfind('\n', done - 1); end != std::string_view::npos) {
            fWhole = start + static_cast<off_t>(end + 1);
        }
    }
}

} // namespace kalvo
