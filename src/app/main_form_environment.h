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
    // Empty: a modal message box with a warning icon.
    std::function<void(QWidget* parent, const QString& text)> ShowWarning;
    // Empty: a modal message box with an information icon.
    std::function<void(QWidget* parent, const QString& text)> ShowInformation;
    // Empty: a warning box with Yes and No; true for Yes.
    std::function<bool(QWidget* parent, const QString& text)> AskYesNo;
    // Empty: the save-file dialog. Returns the chosen name, or nothing when cancelled.
    std::function<QString(QWidget* parent, const QString& filter, const QString& folder,
                          const QString& defaultSuffix, const QString& proposedName)>
        ChooseSaveFile;

    // The running client's: the INI file beside the executable, the system's serial ports
    // followed by the virtual ones.
    static MainFormEnvironment System();
};

} // namespace kalvo
