#pragma once

#include "modbus_serial/modbus_types.h"

#include <cstdint>
#include <string>

namespace kalvo {

// The line settings a serial port is configured with.
struct LineSettings {
    std::uint32_t Baud = 19200;
    TDataBits DataBits = db8;
    TParityScheme Parity = psEven;
    TStopBits StopBits = sb1;
    TFlowControl FlowControl = fcNone;
    bool DTREnabled = true;
    bool RTSEnabled = true;
};

// A POSIX serial port: exclusive open (TIOCEXCL and flock), raw termios, standard rates via
// cfsetspeed and any other rate via termios2, waits in poll() on the port and a break
// eventfd. Pseudo-terminals, which have no modem lines, are accepted. Once an opened port
// hangs up or a read or write fails, every wait, read and write raises ESerialPortError.
class SerialPort {
public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // A bare name opens /dev/<name>; an absolute path opens as given.
    static std::string DevicePath(const std::string& name);

    // Raises EBrindelError "Could not open serial port" with the device and the reason on a
    // second line.
    void Open(const std::string& name);
    // Uses a descriptor opened elsewhere; Close leaves it open. Such a descriptor may be the
    // master of a pseudo-terminal whose other side comes and goes: its hang-up means "nobody
    // there yet", not an error.
    void Hook(int fd);
    void Close();

    // Raises "Failed to update device control block" when the port refuses them.
    void Apply(const LineSettings& settings);
    void SetDTR(bool on);
    void SetRTS(bool on);
    void Purge();
    // Writes every byte within timeoutMs and waits until they have left; false (output
    // purged) when that did not happen in time.
    bool Write(const std::uint8_t* bytes, int count, int timeoutMs);
    // True when a character arrived within timeoutMs (negative: no limit); false on time-out
    // or when Break() woke the wait.
    bool WaitForRxChar(int timeoutMs);
    // Whether the last WaitForRxChar was ended by Break().
    bool Interrupted() const { return fInterrupted; }
    // Reads at once whatever is queued, up to count bytes.
    int ReadAvailable(std::uint8_t* area, int count);
    // Thread-safe: wakes one WaitForRxChar, and cuts short a Write's drain and every Pause
    // until then.
    void Break();
    // Waits `ms` milliseconds unless Break() comes first; false when it did.
    bool Pause(int ms);

private:
    [[noreturn]] void Fail(int error) const;
    void AskLowLatency();
    void ClearBreak();
    void SetModemLine(int line, bool on);
    bool WaitWritable(int timeoutMs);
    bool Drain(int timeoutMs);
    bool WaitMicros(std::int64_t micros);

    int fFd = -1;
    bool fHooked = false;
    std::string fPath;
    int fBreak = -1;
    bool fInterrupted = false;
    // The time one character takes on the line, start, parity and stop bits included.
    int fCharMicros = 573;
};

} // namespace kalvo
