#pragma once

#include "app/client_config.h"
#include "app/main_form_environment.h"
#include "app/register_grid.h"
#include "registers/modbus_registers.h"
#include "registers/poll_settings.h"

#include <QMainWindow>
#include <array>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QTabWidget;
class QToolBar;
class QToolButton;

namespace kalvo {

// The client's main window: connection fields, the register tabs, the phasor and web tabs,
// the communication log and the status bar. It owns the register image.
class TmainForm : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kMinimumWidth = 745;
    static constexpr int kMinimumHeight = 320;

    explicit TmainForm(MainFormEnvironment environment, QWidget* parent = nullptr);

    ModbusRegisters& Registers() { return fRegisters; }
    PollSettings& Settings() { return fPollSettings; }
    const std::array<RegisterGrid*, 4>& Grids() const { return fGrids; }

    // Re-renders the dynamic columns of the four grids from the register image.
    void RefreshDisplay();
    QString RenderValueCell(const RegisterGrid& grid, int row, int firstRegister) const;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    QWidget* BuildTopPanel();
    QWidget* BuildModbusKindPanel();
    QWidget* BuildTcpPanel();
    QWidget* BuildRtuPanel();
    QWidget* BuildAcquisitionButtons();
    QToolBar* BuildWebToolBar();
    QWidget* BuildPages();
    QWidget* BuildLogPanel();
    QWidget* BuildStatusBar();
    QToolButton* SpeedButton(const QString& name, const QString& hint, const QIcon& icon);

    void FormCreate();
    void FormShow();
    void FormResize();
    void FormClose();
    void ApplyConfig(const ClientConfig& config);
    ClientConfig CurrentConfig() const;
    int RefreshGrid(RegisterGrid& grid, int firstRegister);

    void GridInstSelectCell(const QModelIndex& index);
    void SpeedButton1Click();
    void SpeedButton2Click();
    void PageControl1Change(int index);
    void OpenExternalPage(const QString& address);

    MainFormEnvironment fEnvironment;
    ModbusRegisters fRegisters;
    PollSettings fPollSettings;
    bool fShown = false;
    int fSerialScanTag = 0;

    QAction* Esci1 = nullptr;
    QAction* Settings1 = nullptr;
    QAction* Showdebugpanel1 = nullptr;
    QAction* Informazionisu1 = nullptr;
    QRadioButton* RadioTCP = nullptr;
    QRadioButton* RadioRTU = nullptr;
    QLineEdit* TCPHostEdit = nullptr;
    QLineEdit* TCPPortEdit = nullptr;
    QLineEdit* mbRTUaddr = nullptr;
    QComboBox* ComboSerials = nullptr;
    QComboBox* SpeedBox = nullptr;
    QToolButton* readStep = nullptr;
    QToolButton* readContinuous = nullptr;
    QToolButton* readStop = nullptr;
    QToolButton* SpeedButton5 = nullptr;
    QToolBar* WebToolBar = nullptr;
    QTabWidget* PageControl1 = nullptr;
    std::array<RegisterGrid*, 4> fGrids{};
    QWidget* pnlPolar = nullptr;
    QWidget* WebTabSheet = nullptr;
    QListWidget* listLog = nullptr;
    QWidget* Panel4 = nullptr;
    QToolButton* SpeedButton4 = nullptr;
    QLabel* LabelZorbel = nullptr;
    QLabel* LabelZorbelLink = nullptr;
};

} // namespace kalvo
