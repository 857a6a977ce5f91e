#include "app/main_form_environment.h"

#include "app/config_file.h"
#include "modbus_serial/virtual_ports.h"

#include <QSerialPortInfo>

namespace kalvo {

namespace {

QStringList SystemSerialPorts() {
    QStringList names;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        names.append(port.portName());
    }
    for (const std::string& link : ListVirtualPorts()) {
        names.append(QString::fromStdString(link));
    }
    return names;
}

} // namespace

MainFormEnvironment MainFormEnvironment::System() {
    return {ConfigFile::DefaultPath(), SystemSerialPorts, {}, {}, {}, {}, {}};
}

} // namespace kalvo
