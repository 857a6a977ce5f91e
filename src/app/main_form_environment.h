#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace kalvo {

// What the main window takes from the machine: where its configuration lives, how it finds
// serial ports and how it shows an error. Tests substitute them.
struct MainFormEnvironment {
    QString ConfigPath;
    std::function<QStringList()> ListSerialPorts;
    // Empty: a modal message box with an error icon.
    std::function<void(QWidget* parent, const QString& text)> ShowError;

    // The running client's: the INI file beside the executable and the system's serial ports.
    static MainFormEnvironment System();
};

} // namespace kalvo
