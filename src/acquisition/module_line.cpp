#include "acquisition/module_line.h"

namespace kalvo {

namespace {

TBaudRate BaudRateFor(std::int32_t speed, TBaudRate fallback) {
    switch (speed) {
    case 2400:
        return br2400;
    case 4800:
        return br4800;
    case 9600:
        return br9600;
    case 19200:
        return br19200;
    default:
        return fallback;
    }
}

} // namespace

void SetModuleLine(TModbusConnection& connection, const std::string& port, std::int32_t speed) {
    connection.SetPort(port);
    connection.SetBaudRate(BaudRateFor(speed, connection.BaudRate()));
    connection.SetDataBits(db8);
    connection.SetParity(psNone);
    connection.SetStopBits(sb1);
    connection.SetFlowControl(fcNone);
    connection.SetTransmissionMode(tmRTU);
    connection.SetConnectionMode(cmClient);
}

} // namespace kalvo
