#pragma once

#include "acquisition/poller.h"
#include "app/client_config.h"
#include "app/main_form_environment.h"
#include "app/register_grid.h"
#include "registers/comm_statistics.h"
#include "registers/modbus_registers.h"
#include "registers/poll_settings.h"

#include <QMainWindow>
#include <array>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QTabWidget;
class QToolBar;
class QToolButton;

namespace kalvo {

class QtMessageQueue;
class QtPollingHost;
class TdebugForm;
class TPolarDiagram;
class TFormSettings;

// The client's main window: connection fields, the register tabs, the phasor and web tabs,
// the communication log and the status bar. It owns the register image.
class TmainForm : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kMinimumWidth = 745;
    static constexpr int kMinimumHeight = 320;

    explicit TmainForm(MainFormEnvironment environment, QWidget* parent = nullptr);
    // Stops every run and waits for its thread before the controls go.
    ~TmainForm() override;

    ModbusRegisters& Registers() { return fRegisters; }
    PollSettings& Settings() { return fPollSettings; }
    CommStatistics& Statistics() { return fStatistics; }
    TdebugForm* DebugForm() const { return debugForm; }
    TPolarDiagram* PolarDiagram() const { return fPolarDiagram; }
    TFormSettings* SettingsForm() const { return FormSettings; }
    void SpeedButton5Click();
    const std::array<RegisterGrid*, 4>& Grids() const { return fGrids; }

    // Re-renders the dynamic columns of the four grids from the register image.
    void RefreshDisplay();
    // Appends a time-stamped line to the communication log, keeping the newest 101.
    void AppendLog(const QString& message);
    void UpdateVisibleDebugWindow();
    void RestoreIdleControls();
    void readStepClick();
    void readContinuousClick();
    void readStopClick();
    // The end of a run's thread, on the UI thread.
    void PollerThreadDone(RunId run, bool restoreControls);

signals:
    // Every run's thread has ended.
    void runsFinished();

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

    void InitPolarDiagram();
    void FeedPolarDiagram();
    void StartRun(std::uint32_t cycles);
    bool ValidateConnectionInputs();
    void ClearValueColumns();
    std::int32_t PollDelay() const;
    void StartTcpThread(std::uint32_t cycles, std::int32_t pollDelay);
    void StartRtuThread(std::uint32_t cycles, std::int32_t pollDelay);
    void ShowWarning(const QString& text);
    bool SaveGridToCsv(const RegisterGrid& grid, const QString& defaultName);
    bool SaveDiagramToBitmap(const QString& defaultName);
    QString ChooseSaveFile(const QString& filter, const QString& folder, const QString& suffix,
                           const QString& name);
    bool ConfirmOverwrite(const QString& path);
    void ShowInformation(const QString& text);
    void ToolButton1Click();
    void ToolButton2Click();
    void WebBrowserLoadingChanged(bool failed);
    void ShutdownPollers();
    void RetireRuns();
    void WaitForRuns();
    void ShowError(const QString& text);
    bool mbRTUaddrKeyPress(const QKeyEvent& event) const;
    void listLogDblClick();
    void SpeedButton4Click();
    void Showdebugpanel1Click();

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
    CommStatistics fStatistics;
    QtPollingHost* fHost = nullptr;
    RunId fRunCounter = 0;
    // Runs whose threads have not ended yet; fCurrentRun is the one Stop addresses.
    std::vector<std::unique_ptr<Poller>> fRuns;
    Poller* fCurrentRun = nullptr;
    QtMessageQueue* fMessageQueue = nullptr;
    int fSerialScanTag = 0;
    bool fShown = false;
    int fLogPanelTag = 0;

    QAction* Esci1 = nullptr;
    QAction* Settings1 = nullptr;
    QAction* Showdebugpanel1 = nullptr;
    QAction* Informazionisu1 = nullptr;
    TdebugForm* debugForm = nullptr;
    TFormSettings* FormSettings = nullptr;
    TPolarDiagram* fPolarDiagram = nullptr;
    QWidget* PanelModbusKind = nullptr;
    QWidget* PanelTCPSettings = nullptr;
    QWidget* PanelRTUSettings = nullptr;
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
    QWidget* WebBrowser1 = nullptr;
    QWidget* Panel1 = nullptr;
    QListWidget* listLog = nullptr;
    QWidget* Panel4 = nullptr;
    QToolButton* SpeedButton4 = nullptr;
    QLabel* LabelZorbel = nullptr;
    QLabel* LabelZorbelLink = nullptr;
};

} // namespace kalvo
