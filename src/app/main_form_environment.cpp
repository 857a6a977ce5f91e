#include "app/main_form_environment.h"

#include "app/config_file.h"
#include "modbus_serial/virtual_ports.h"

#include <QFileDialog>
#include <QMessageBox>
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

QString Caption(QWidget* parent) {
    return parent != nullptr ? parent->window()->windowTitle() : QString();
}

void Show(QMessageBox::Icon icon, QWidget* parent, const QString& text) {
    QMessageBox box(icon, Caption(parent), text, QMessageBox::Ok, parent);
    box.exec();
}

bool AskYesNoBox(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, Caption(parent), text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString FileDialog(QWidget* parent, const FileChoice& choice) {
    QFileDialog dialog(parent, choice.Title, choice.Folder, choice.Filter);
    if (choice.Open) {
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        // The window asks its own question, with No as the default.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setDefaultSuffix(choice.DefaultSuffix);
        dialog.selectFile(choice.ProposedName);
    }
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

template <typename Seam> void Complete(Seam& seam, const Seam& fallback) {
    if (!seam) {
        seam = fallback;
    }
}

} // namespace

MainFormEnvironment MainFormEnvironment::System() {
    return {
        ConfigFile::DefaultPath(),
        SystemSerialPorts,
        [](QWidget* parent, const QString& text) { Show(QMessageBox::Critical, parent, text); },
        [](QWidget* parent, const QString& text) { Show(QMessageBox::Warning, parent, text); },
        [](QWidget* parent, const QString& text) { Show(QMessageBox::Information, parent, text); },
        AskYesNoBox,
        FileDialog};
}

MainFormEnvironment MainFormEnvironment::CompletedFromSystem() const {
    const MainFormEnvironment system = System();
    MainFormEnvironment completed = *this;
    if (completed.ConfigPath.isEmpty()) {
        completed.ConfigPath = system.ConfigPath;
    }
    Complete(completed.ListSerialPorts, system.ListSerialPorts);
    Complete(completed.ShowError, system.ShowError);
    Complete(completed.ShowWarning, system.ShowWarning);
    Complete(completed.ShowInformation, system.ShowInformation);
    Complete(completed.AskYesNo, system.AskYesNo);
    Complete(completed.ChooseFile, system.ChooseFile);
    return completed;
}

} // namespace kalvo
