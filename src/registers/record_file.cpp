#include "registers/record_file.h"

#include "registers/csv_text.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>

namespace kalvo {

RecordFile::RecordFile(std::string path, Split split) : fPath(std::move(path)), fSplit(split) {}

RecordFile::~RecordFile() {
    if (fFile != nullptr) {
        std::fclose(fFile);
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
    if (fFile != nullptr) {
        std::fclose(fFile);
        fFile = nullptr;
    }
    fCurrentPath = PartPath(time);
    fFile = std::fopen(fCurrentPath.c_str(), "wb");
    if (fFile == nullptr) {
        Fail(errno);
    }
    fPeriod = PeriodOf(time);
    const std::string header = CsvLine(RunRecord::Header());
    if (std::fwrite(header.data(), 1, header.size(), fFile) != header.size() ||
        std::fflush(fFile) != 0) {
        Fail(errno);
    }
}

void RecordFile::Write(std::chrono::system_clock::time_point time,
                       const std::vector<std::string>& row) {
    if (fFile == nullptr || PeriodOf(time) != fPeriod) {
        OpenPart(time);
    }
    const std::string line = CsvLine(row);
    if (std::fwrite(line.data(), 1, line.size(), fFile) != line.size() || std::fflush(fFile) != 0) {
        Fail(errno);
    }
}

} // namespace kalvo
