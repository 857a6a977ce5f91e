#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace kalvo {

// What the main window takes from the machine: where its configuration lives, how it finds
// serial ports, and how it asks and tells the user. Tests substitute them.
struct MainFormEnvironment {
    QString ConfigPath;
    std::function<QStringList()> ListSerialPorts;
    std::function<void(QWidget* parent, const QString& text)> ShowError;
    std::function<void(QWidget* parent, const QString& text)> ShowWarning;
    std::function<void(QWidget* parent, const QString& text)> ShowInformation;
    // True for Yes; No is the default answer.
    std::function<bool(QWidget* parent, const QString& text)> AskYesNo;
    // Returns the chosen name, or nothing when cancelled.
    std::function<QString(QWidget* parent, const QString& filter, const QString& folder,
                          const QString& defaultSuffix, const QString& proposedName)>
        ChooseSaveFile;

    // The running client's: the INI file beside the executable, the system's serial ports
    // followed by the virtual ones, message boxes and the save-file dialog.
    static MainFormEnvironment System();
    // This environment with every seam it leaves empty taken from System().
    MainFormEnvironment CompletedFromSystem() const;
};

} // namespace kalvo
