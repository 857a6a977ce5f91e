#include "app/main_form_environment.h"

#include "app/config_file.h"

#include <QSerialPortInfo>

namespace kalvo {

namespace {

QStringList SystemSerialPorts() {
    QStringList names;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        names.append(port.portName());
    }
    return names;
}

} // namespace

MainFormEnvironment MainFormEnvironment::System() {
    return {ConfigFile::DefaultPath(), SystemSerialPorts, {}};
}

} // namespace kalvo
