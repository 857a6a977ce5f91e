#include "registers/whole_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace kalvo {

namespace {

[[noreturn]] void Fail(int error, const std::string& path) {
    throw std::system_error(error, std::generic_category(), "cannot write " + path);
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

void WriteFileWhole(const std::string& path, std::string_view contents) {
    const std::string part = path + ".part" + std::to_string(::getpid());
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        Fail(errno, path);
    }
    const bool written = WriteAll(fd, contents);
    int error = errno;
    const bool closed = ::close(fd) == 0;
    error = closed ? error : errno;
    if (!written || !closed || std::rename(part.c_str(), path.c_str()) != 0) {
        error = written && closed ? errno : error;
        ::unlink(part.c_str());
        Fail(error, path);
    }
}

} // namespace kalvo
