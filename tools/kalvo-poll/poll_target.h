#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kalvo::poll {

// A module to poll, as --tcp, --rtu or a line of a targets file names it: on the network, or
// at an address on a serial line.
struct PollTarget {
    std::string Host;
    std::int32_t Port = 502;
    std::string Device; // set for a module on a serial line
    std::int32_t Baud = 9600;
    std::int32_t Address = 1;
    std::string Name;
    // Where it was given, for a usage error: "--tcp", "targets.txt line 3".
    std::string Given;

    bool Serial() const { return !Device.empty(); }
    // How the log and the metrics name it: "10.0.0.7:502", "ttyUSB0@3".
    std::string Where() const;
    // The name of its files (recording, report, JUnit) without extension: its name, or where
    // it is, with '/' and ':' made '_'.
    std::string FileName() const;
    // The serial port itself, however it was named: two names of one port are one line.
    std::string Line() const;

    static PollTarget Tcp(const std::string& text, const std::string& what);
    // The modules at `addresses` ("N[,N...]", 1 to 255) on one line.
    static std::vector<PollTarget> Rtu(const std::string& device, std::int32_t baud,
                                       const std::string& addresses, const std::string& what);
    // 2400, 4800, 9600 or 19200.
    static std::int32_t ParseBaud(const std::string& text, const std::string& what);
    // One module per line, "tcp HOST[:PORT] [NAME]", or the modules on a serial line,
    // "rtu DEVICE BAUD ADDRESS[,ADDRESS...] [NAME[,NAME...]]"; blank lines and lines
    // starting with # are left out.
    static std::vector<PollTarget> ReadFile(const std::string& path);
    // A usage error when a port is given at two speeds.
    static void CheckLines(const std::vector<PollTarget>& targets);
    // A usage error, naming both places, when a module is given twice, or two modules share a
    // name or the name of their files.
    static void CheckUnique(const std::vector<PollTarget>& targets);
};

} // namespace kalvo::poll
