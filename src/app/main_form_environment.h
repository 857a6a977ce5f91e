#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace kalvo {

// What the main window takes from the machine: where its configuration lives and how it
// finds serial ports. Tests substitute both.
struct MainFormEnvironment {
    QString ConfigPath;
    std::function<QStringList()> ListSerialPorts;

    // The running client's: the INI file beside the executable and the system's serial ports.
    static MainFormEnvironment System();
};

} // namespace kalvo
