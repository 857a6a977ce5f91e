#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace kalvo {

// A file to ask the user for: to write (the default) or to open.
struct FileChoice {
    QString Title;
    QString Filter;
    QString Folder;
    QString DefaultSuffix;
    QString ProposedName;
    bool Open = false;
};

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
    std::function<QString(QWidget* parent, const FileChoice& choice)> ChooseFile;

    // The running client's: the INI file beside the executable, the system's serial ports
    // followed by the virtual ones, message boxes and the file dialog.
    static MainFormEnvironment System();
    // This environment with every seam it leaves empty taken from System().
    MainFormEnvironment CompletedFromSystem() const;
};

} // namespace kalvo
