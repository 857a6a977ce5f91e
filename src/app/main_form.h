#pragma once

#include "app/client_config.h"
#include "app/main_form_environment.h"
#include "app/register_grid.h"
#include "app/run_status.h"
#include "checks/check_settings.h"
#include "registers/poll_settings.h"
#include "report/report_data.h"
#include "session/module_session.h"

#include <QMainWindow>
#include <QTime>
#include <array>
#include <chrono>
#include <map>
#include <memory>

class QAction;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QListWidget;
class QRadioButton;
class QTabWidget;
class QToolBar;
class QSplitter;
class QToolButton;

namespace kalvo {

class ChecksTab;
class ReportPrinter;
class RunController;
class SerialPortBox;
class TdebugForm;
class TPolarDiagram;
class TrendTab;
class TFormSettings;

// The client's main window: connection fields, the register tabs, the phasor and web tabs,
// the communication log and the status bar; a view of its module's session, which it owns. The
// layout is built in main_form_layout.cpp; runs are held by a RunController, exports done by
// TabExport.
class TmainForm : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kMinimumWidth = 745;
    static constexpr int kMinimumHeight = 320;

    // Seams the environment leaves empty are the system's.
    explicit TmainForm(MainFormEnvironment environment, QWidget* parent = nullptr);
    // Stops every run and waits for its thread before the controls go.
    ~TmainForm() override;

    ModbusRegisters& Registers() { return fSession.Image(); }
    PollSettings& Settings() { return fPollSettings; }
    CommStatistics& Statistics() { return fSession.Statistics(); }
    TdebugForm* DebugForm() const { return debugForm; }
    TPolarDiagram* PolarDiagram() const { return fPolarDiagram; }
    TFormSettings* SettingsForm() const { return FormSettings; }
    // Saves what the active tab shows: a register grid as CSV, the diagram as a bitmap, the
    // trend as a picture and its data.
    void SaveCurrentTab();
    void SpeedButton5Click();
    // Writes the commissioning report of the current or last run, as HTML or, by the chosen
    // name's extension, PDF.
    void SaveReport();
    // What that report shows now.
    ReportData ReportContents() const;
    ReportPrinter* Printer() const { return fReportPrinter; }
    const std::array<RegisterGrid*, 4>& Grids() const { return fGrids; }

    // Renders the four grids and the diagram from the register image.
    void RefreshDisplay();
    // Appends a time-stamped line to the communication log, keeping the newest 101.
    void AppendLog(const QString& message);
    void UpdateVisibleDebugWindow();
    void RestoreIdleControls();
    void readStepClick();
    void readContinuousClick();
    // Ends the current run after its read in flight and restores the idle controls.
    void StopCommunication();
    void readStopClick();
    TrendTab* Trend() const { return fTrend; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Layout.
    void BuildMenus();
    QWidget* BuildTopPanel();
    QWidget* BuildModbusKindPanel();
    QWidget* BuildTcpPanel();
    QWidget* BuildRtuPanel();
    QWidget* BuildAcquisitionButtons();
    QToolBar* BuildWebToolBar();
    QWidget* BuildPages();
    void AddTabKeys();
    QWidget* BuildLogPanel();
    QWidget* BuildStatusBar();
    QToolButton* SpeedButton(const QString& name, const QString& hint, const QIcon& icon);
    QAction* AcquisitionAction(const QString& text, const QIcon& icon, const QKeySequence& key,
                               void (TmainForm::*slot)());
    void FitMinimumSize();

    // Start-up, placement, configuration.
    void FormCreate();
    void FormShow();
    void FormResize();
    void FormClose();
    void ApplyConfig(const ClientConfig& config);
    ClientConfig CurrentConfig() const;

    // Runs.
    void ConnectRunEvents();
    void StartRun(std::uint32_t cycles);
    void StartFailed(const QString& reason);
    void RecordingStopped(const QString& failure);
    void ShowStatus();
    QString TrendPictureTitle() const;
    void ApplyLogHeight(int height);
    void OpenRecording();
    // What the run being started keeps: its checks, its report's trends, connection and
    // settings.
    SessionPlan RunPlan(std::int32_t pollDelayMs) const;
    void ReportPrinted(const QString& path, bool ok, const QString& reason);
    void ShowChecks();
    void BlockRead(RegisterBlock block);
    void BlockFailed(RegisterBlock block);
    // Marks the values of `block` stale (from its last good read) or current.
    void MarkStale(RegisterBlock block, bool stale);
    bool ValidateConnectionInputs();
    QString TcpHost() const;
    void ClearValueColumns();
    std::int32_t PollDelay() const;
    void SetRunningControls(bool step);
    void RecordClick(bool on);
    QAction* SplitAction(QMenu* menu, const QString& text, int split);

    // Display.
    void InitPolarDiagram();
    void FeedPolarDiagram();
    void CopyCellToClipboard(const QModelIndex& index);
    void ShowStatisticsWindow();
    void ShowStatisticsWindowUnlessShown();
    void ToggleLogPanel();
    void GridInstSelectCell(const QModelIndex& index);
    void listLogDblClick();
    void SpeedButton4Click();
    void Showdebugpanel1Click();

    // Serial ports, web tab, connection fields.
    void RescanSerialPorts();
    void SetDefaultConnection();
    void EnableWebToolBarFor(int index);
    void NavigateWebView();
    void ReloadWebPage();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void PageControl1Change(int index);
    void ToolButton1Click();
    void ToolButton2Click();
    void WebBrowserLoadingChanged(bool failed, const QString& address, const QString& reason);
    void OpenExternalPage(const QString& address);
    bool mbRTUaddrKeyPress(const QKeyEvent& event) const;

    MainFormEnvironment fEnvironment;
    ModuleSession fSession;
    PollSettings fPollSettings;
    RunController* fRuns = nullptr;
    RunStatus fStatus;
    CheckSettings fCheckSettings;
    ReportPrinter* fReportPrinter = nullptr;
    QAction* ReportAction = nullptr;
    // When each block was last read well, for the stale marks.
    std::array<QTime, kRegisterBlocks.size()> fBlockReadAt{};
    // The folder last used for each kind of file the window writes.
    std::map<QString, QString> fLastFolders;
    int fRecordSplit = 0;
    bool fStartUpScanDone = false;
    bool fShown = false;
    int fLogPanelTag = 0;

    QAction* Esci1 = nullptr;
    QAction* Settings1 = nullptr;
    QAction* Showdebugpanel1 = nullptr;
    QAction* Informazionisu1 = nullptr;
    QAction* StepAction = nullptr;
    QAction* RunAction = nullptr;
    QAction* StopAction = nullptr;
    QAction* SaveAction = nullptr;
    QAction* RecordAction = nullptr;
    std::array<QAction*, 3> fSplitActions{};
    TdebugForm* debugForm = nullptr;
    TFormSettings* FormSettings = nullptr;
    TPolarDiagram* fPolarDiagram = nullptr;
    QWidget* Panel2 = nullptr;
    QWidget* PanelModbusKind = nullptr;
    QWidget* PanelTCPSettings = nullptr;
    QWidget* PanelRTUSettings = nullptr;
    QRadioButton* RadioTCP = nullptr;
    QRadioButton* RadioRTU = nullptr;
    QLineEdit* TCPHostEdit = nullptr;
    QLineEdit* TCPPortEdit = nullptr;
    QLineEdit* mbRTUaddr = nullptr;
    SerialPortBox* ComboSerials = nullptr;
    QComboBox* SpeedBox = nullptr;
    QToolButton* readStep = nullptr;
    QToolButton* readContinuous = nullptr;
    QToolButton* readStop = nullptr;
    QToolButton* SpeedButton5 = nullptr;
    QToolButton* readRecord = nullptr;
    QToolBar* WebToolBar = nullptr;
    QTabWidget* PageControl1 = nullptr;
    std::array<RegisterGrid*, 4> fGrids{};
    QWidget* pnlPolar = nullptr;
    TrendTab* fTrend = nullptr;
    ChecksTab* fChecksTab = nullptr;
    QWidget* WebTabSheet = nullptr;
    QWidget* WebBrowser1 = nullptr;
    QSplitter* LogSplitter = nullptr;
    QGroupBox* Panel1 = nullptr;
    QListWidget* listLog = nullptr;
    QWidget* Panel4 = nullptr;
    QToolButton* SpeedButton4 = nullptr;
    QLabel* LabelRunStatus = nullptr;
    QLabel* LabelZorbel = nullptr;
    QLabel* LabelZorbelLink = nullptr;
};

} // namespace kalvo
