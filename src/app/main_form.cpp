#include "app/main_form.h"

#include "app/app_logging.h"
#include "app/checks_tab.h"
#include "app/config_file.h"
#include "app/report_printer.h"
#include "app/run_controller.h"
#include "app/serial_port_box.h"
#include "app/tab_export.h"
#include "app/web_plugin.h"
#include "app/web_plugin_loader.h"
#include "app/window_placement.h"
#include "checks/verdict_counts.h"
#include "dialogs/check_settings_form.h"
#include "dialogs/debug_form.h"
#include "dialogs/settings_form.h"
#include "phasor/polar_diagram.h"
#include "qt_common/app_icon.h"
#include "qt_common/busy_cursor.h"
#include "qt_common/locale_time.h"
#include "recording/recorded_run.h"
#include "registers/phasor_set.h"
#include "registers/register_sheet.h"
#include "trend/trend_tab.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <fstream>

namespace kalvo {

namespace {

constexpr int kMaxLogLines = 101;
constexpr int kFirstReservedAddress = 248;

} // namespace

TmainForm::TmainForm(MainFormEnvironment environment, QWidget* parent)
    : QMainWindow(parent), fEnvironment(environment.CompletedFromSystem()) {
    setObjectName("mainForm");
    setWindowTitle("Modbus module KALVO test program");
    setWindowIcon(AppIcon());
    BuildMenus();
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(BuildTopPanel());
    // The log shares the height with the pages; the user moves the line between them.
    LogSplitter = new QSplitter(Qt::Vertical);
    LogSplitter->setObjectName("LogSplitter");
    LogSplitter->setChildrenCollapsible(false);
    LogSplitter->addWidget(BuildPages());
    LogSplitter->addWidget(BuildLogPanel());
    LogSplitter->setStretchFactor(0, 1);
    LogSplitter->setStretchFactor(1, 0);
    column->addWidget(LogSplitter, 1);
    column->addWidget(BuildStatusBar());
    setCentralWidget(central);
    fTrend->SetAsk(fEnvironment.AskYesNo);
    FormCreate();
    FormSettings = new TFormSettings(fPollSettings, this);
    debugForm = new TdebugForm(fSession.Statistics(), this);
    fRuns = new RunController(fSession, this);
    fReportPrinter = new ReportPrinter(this);
    connect(fReportPrinter, &ReportPrinter::finished, this, &TmainForm::ReportPrinted);
    ConnectRunEvents();
}

// What the runs tell, once it is in the module's session, reaches the log, the tables and the
// diagram, the trend, the checks and the statistics window.
void TmainForm::ConnectRunEvents() {
    const QtPollingHost& events = fRuns->Events();
    connect(&events, &QtPollingHost::logLine, this, &TmainForm::AppendLog);
    connect(&events, &QtPollingHost::runBegun, this, &TmainForm::ShowChecks);
    connect(&events, &QtPollingHost::blockRead, this, &TmainForm::BlockRead);
    connect(&events, &QtPollingHost::blockRead, fTrend,
            [this](RegisterBlock block, double time, const ModbusRegisters& image) {
                fTrend->AddBlock(time, block, image);
            });
    connect(&events, &QtPollingHost::readingJudged, this, &TmainForm::ShowChecks);
    connect(&events, &QtPollingHost::recordingStopped, this, &TmainForm::RecordingStopped);
    connect(&events, &QtPollingHost::readFailed, this, &TmainForm::BlockFailed);
    connect(&events, &QtPollingHost::readFailed, fTrend, &TrendTab::BlockFailed);
    connect(&events, &QtPollingHost::statisticsChanged, debugForm, [this] {
        if (debugForm->isVisible()) {
            debugForm->UpdateDebugWindow();
        }
    });
    connect(&events, &QtPollingHost::idleControlsRequested, this, &TmainForm::RestoreIdleControls);
    connect(&events, &QtPollingHost::stopRequested, this, [this] {
        fStatus.Failed();
        for (const BlockSpan& span : kRegisterBlocks) {
            MarkStale(span.Id, true);
        }
        StopCommunication();
    });
    connect(fRuns, &RunController::runStarted, fTrend, &TrendTab::RunStarted);
    connect(fTrend, &TrendTab::openRecordingRequested, this, &TmainForm::OpenRecording);
    connect(fRuns, &RunController::stepFinished, this, [this] {
        fStatus.StepDone();
        ShowStatus();
        RestoreIdleControls();
    });
    connect(fRuns, &RunController::startFailed, this, &TmainForm::StartFailed);
}

TmainForm::~TmainForm() {
    fRuns->Close();
}

void TmainForm::FormCreate() {
    fPolarDiagram = new TPolarDiagram(pnlPolar, fSession.Image());
    for (std::size_t i = 0; i < fGrids.size(); ++i) {
        fGrids[i]->FillRegisterGrid(RegisterTables()[i], font());
    }
    RescanSerialPorts();
    fStartUpScanDone = true;
    InitPolarDiagram();
    FitMinimumSize();
    setMaximumSize(screen()->geometry().size());
    ApplyConfig(ConfigFile(fEnvironment.ConfigPath).Read());
}

void TmainForm::ApplyConfig(const ClientConfig& config) {
    // The window cannot be smaller than its minimum: fit the size it will have.
    const QRect stored(config.Placement.topLeft(),
                       config.Placement.size().expandedTo(minimumSize()));
    const QRect placement = ClampedPlacement(stored, screen()->availableGeometry());
    move(placement.topLeft());
    resize(placement.size());
    ApplyLogHeight(config.LogPanelHeight);
    TCPHostEdit->setText(config.TCPAddress);
    TCPPortEdit->setText(QString::number(config.TCPPort.value_or(kDefaultTcpPort)));
    RadioTCP->setChecked(config.UsingTCP);
    RadioRTU->setChecked(!config.UsingTCP);
    mbRTUaddr->setText(QString::number(config.ModbusRTUAddress.value_or(1)));
    ComboSerials->setCurrentIndex(-1);
    if (!config.SerialCOM.isEmpty()) {
        ComboSerials->setCurrentIndex(
            ComboSerials->findText(config.SerialCOM, Qt::MatchExactly | Qt::MatchCaseSensitive));
    }
    const bool speedInRange =
        config.ModbusRTUSpeedIndex >= 0 && config.ModbusRTUSpeedIndex < SpeedBox->count();
    SpeedBox->setCurrentIndex(speedInRange ? config.ModbusRTUSpeedIndex : kDefaultSpeedIndex);
    fPollSettings = config.Poll;
    fCheckSettings = config.Checks;
    fRecordSplit = config.RecordSplit;
    fTrend->Colours().SetSlots(config.TrendColours);
    fTrend->SetLimits(config.TrendLimits);
    fTrend->SetPictureSize(config.TrendPictureSize);
    fTrend->SetCapacity(config.TrendCapacity);
    fLastFolders = config.LastFolders;
    if (config.TrendQuantities) {
        fTrend->SetSelection(*config.TrendQuantities);
    }
    fSplitActions[static_cast<std::size_t>(fRecordSplit)]->setChecked(true);
}

// The splitter shares out only the height it has: lay the window out at its size first.
void TmainForm::ApplyLogHeight(int height) {
    layout()->activate();
    centralWidget()->layout()->activate();
    const int total = LogSplitter->height() - LogSplitter->handleWidth();
    const int log =
        std::clamp(height, Panel1->minimumHeight(),
                   std::max(Panel1->minimumHeight(), total - PageControl1->minimumHeight()));
    LogSplitter->setSizes({total - log, log});
}

ClientConfig TmainForm::CurrentConfig() const {
    ClientConfig config;
    config.Placement = QRect(pos(), size());
    config.LogPanelHeight = Panel1->height();
    config.TCPAddress = TCPHostEdit->text();
    config.TCPPort = ClientConfig::IntegerText(TCPPortEdit->text());
    config.UsingTCP = RadioTCP->isChecked();
    config.ModbusRTUAddress = ClientConfig::IntegerText(mbRTUaddr->text());
    config.SerialCOM = ComboSerials->currentIndex() >= 0 ? ComboSerials->currentText() : QString();
    config.ModbusRTUSpeedIndex = SpeedBox->currentIndex();
    config.Poll = fPollSettings;
    config.Checks = fCheckSettings;
    config.RecordSplit = fRecordSplit;
    config.TrendQuantities = fTrend->Selection();
    config.TrendColours = fTrend->Colours().Slots();
    config.TrendLimits = fTrend->Limits();
    config.TrendPictureSize = fTrend->PictureSize();
    config.TrendCapacity = fTrend->Capacity();
    config.LastFolders = fLastFolders;
    return config;
}

void TmainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!fShown) {
        fShown = true;
        FormShow();
    }
}

void TmainForm::FormShow() {
    PageControl1->setCurrentIndex(0);
    WebToolBar->setEnabled(false);
}

void TmainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

// The link sits in the middle of the status bar; while there is a run state to show, it moves
// to the right and the state takes what is left, elided, its whole text in the tooltip.
void TmainForm::FormResize() {
    const int pairWidth = LabelZorbel->width() + LabelZorbelLink->width();
    const QString status = LabelRunStatus->toolTip();
    const int left = status.isEmpty() ? width() / 2 - pairWidth / 2 : width() - pairWidth - 4;
    LabelZorbel->move(left, 0);
    LabelZorbelLink->move(left + LabelZorbel->width(), 0);
    const int start = SpeedButton4->width() + 6;
    const int room = std::max(0, left - start - 12);
    LabelRunStatus->setGeometry(start, 0, room, Panel4->height());
    LabelRunStatus->setText(LabelRunStatus->fontMetrics().elidedText(status, Qt::ElideRight, room));
}

void TmainForm::closeEvent(QCloseEvent* event) {
    StopCommunication();
    fRuns->Close();
    // The application ends with its last window; the statistics window must not outlive this one.
    debugForm->hide();
    QMainWindow::closeEvent(event);
    FormClose();
}

void TmainForm::FormClose() {
    const QString failure = ConfigFile(fEnvironment.ConfigPath).Write(CurrentConfig());
    if (!failure.isEmpty()) {
        fEnvironment.ShowError(this, "Error saving the settings\r\n" + fEnvironment.ConfigPath +
                                         ": " + failure);
    }
}

void TmainForm::RefreshDisplay() {
    std::vector<RegisterSheet> sheets =
        RegisterSheet::RenderAll(fSession.Image(), DecimalSeparator());
    for (std::size_t i = 0; i < fGrids.size(); ++i) {
        fGrids[i]->Model()->SetSheet(std::move(sheets[i]));
        // The diagram follows the phase values, before the load profile.
        if (i == 1) {
            FeedPolarDiagram();
        }
    }
}

void TmainForm::InitPolarDiagram() {
    constexpr double kThird = 2.0943951023931957;
    TPolarDiagram& d = *fPolarDiagram;
    d.SetVoltage(P_L1, "L1", "VL1", 0, 0, 1, Qt::SolidLine);
    d.SetVoltage(P_L2, "L2", "VL2", 0, kThird, 1, Qt::SolidLine);
    d.SetVoltage(P_L3, "L3", "VL3", 0, 2 * kThird, 1, Qt::SolidLine);
    d.SetCurrent(P_L1, "L1", "CL1", 0, 0, 1, Qt::DotLine);
    d.SetCurrent(P_L2, "L2", "CL2", 0, 0, 1, Qt::DotLine);
    d.SetCurrent(P_L3, "L3", "CL3", 0, 0, 1, Qt::DotLine);
}

// Phase R, S, T magnitudes and angles, the frequency and the active power from the image.
void TmainForm::FeedPolarDiagram() {
    const PhasorSet set = PhasorSet::From(fSession.Image());
    TPolarDiagram& d = *fPolarDiagram;
    for (const TPhaseType phase : {P_L1, P_L2, P_L3}) {
        const PhasorSet::Phase& values = set.Phases[static_cast<std::size_t>(phase)];
        d.SetCurrent(phase, values.Current, values.Shift);
        d.SetVoltage(phase, values.Voltage, values.VoltageAngle);
    }
    d.SetInstantPower(set.ActivePowerKw);
    d.SetFrequency(set.Frequency);
    d.SetAvailableData(true, true, true, true, true, true);
}

void TmainForm::readStepClick() {
    StartRun(RunLifecycle::kStepCycles);
}

void TmainForm::readContinuousClick() {
    StartRun(RunLifecycle::kRunCycles);
}

// The inputs are checked before anything is cleared: a typing mistake keeps the last reading.
void TmainForm::StartRun(std::uint32_t cycles) {
    if (!ValidateConnectionInputs()) {
        return;
    }
    SetRunningControls(cycles == RunLifecycle::kStepCycles);
    ClearValueColumns();
    listLog->clear();
    fStatus.Started();
    ShowStatus();
    if (RadioRTU->isChecked() && mbRTUaddr->text().toInt() >= kFirstReservedAddress) {
        AppendLog(QString("Server address %1 is reserved by the Modbus standard (248 to 255)")
                      .arg(mbRTUaddr->text().toInt()));
    }
    // A stopped run may still be finishing its read and hold the port: the controller cuts it
    // short and starts this run once it has ended; nothing of it reaches this run.
    const std::int32_t pollDelay = PollDelay();
    fRuns->Events().SetPlan(RunPlan(pollDelay));
    if (RadioTCP->isChecked()) {
        fRuns->StartTcp({TcpHost().toStdString(), TCPPortEdit->text().toInt(), cycles, pollDelay,
                         fPollSettings.ResetStatistics,
                         static_cast<std::uint32_t>(fPollSettings.ReplyTimeoutS) * 1000});
    } else {
        fRuns->StartRtu({mbRTUaddr->text().toInt(), ComboSerials->currentText().toStdString(),
                         SpeedBox->currentText().toInt(), cycles, pollDelay,
                         fPollSettings.ResetStatistics});
    }
}

void TmainForm::StartFailed(const QString& reason) {
    qCWarning(lcKalvo) << "cannot start a run:" << reason;
    fStatus.Failed();
    fEnvironment.ShowError(this, "Error creating communication thread\r\n" + reason);
    StopCommunication();
}

void TmainForm::SetRunningControls(bool step) {
    PanelModbusKind->setEnabled(false);
    PanelRTUSettings->setEnabled(!RadioRTU->isChecked());
    PanelTCPSettings->setEnabled(!RadioTCP->isChecked());
    StepAction->setEnabled(false);
    RunAction->setEnabled(false);
    StopAction->setEnabled(true);
    (step ? readStep : readContinuous)->repaint();
}

std::int32_t TmainForm::PollDelay() const {
    return FormSettings->PollingDelayMs(fPollSettings.PollingDelayIndex);
}

QString TmainForm::TcpHost() const {
    return TCPHostEdit->text().trimmed();
}

bool TmainForm::ValidateConnectionInputs() {
    bool valid = true;
    auto check = [this, &valid](bool ok, const QString& message) {
        if (!ok) {
            fEnvironment.ShowError(this, message);
            valid = false;
        }
    };
    bool numeric = false;
    if (RadioTCP->isChecked()) {
        const int port = TCPPortEdit->text().toInt(&numeric);
        check(!TcpHost().isEmpty(), "Enter the TCP host name or address of the module.");
        check(numeric && port >= 1 && port <= 65535,
              TCPPortEdit->text() + " is not a valid TCP port number.");
    } else {
        const int address = mbRTUaddr->text().toInt(&numeric);
        check(ComboSerials->count() > 0, "No serial port selected");
        check(numeric && address >= 1 && address <= 255, "Invalid Modbus/RTU Server address");
    }
    return valid;
}

void TmainForm::ClearValueColumns() {
    fBlockReadAt.fill(QTime());
    for (RegisterGrid* grid : fGrids) {
        grid->Model()->ClearDynamicColumns();
    }
    fPolarDiagram->ClearDiagram();
    InitPolarDiagram();
}

void TmainForm::StopCommunication() {
    fRuns->Stop();
    if (fStatus.Stopped()) {
        AppendLog("Communication stopped");
    }
    ShowStatus();
    RestoreIdleControls();
}

void TmainForm::BlockRead(RegisterBlock block) {
    RefreshDisplay();
    const QTime now = QTime::currentTime();
    fBlockReadAt[static_cast<std::size_t>(block)] = now;
    MarkStale(block, false);
    fStatus.BlockRead(now);
    if (fSession.Recording()) {
        fStatus.RowRecorded();
    }
    ShowStatus();
}

void TmainForm::BlockFailed(RegisterBlock block) {
    MarkStale(block, true);
    fStatus.ReadFailed();
    ShowStatus();
}

// The verdicts in the tab, its caption and the status bar.
void TmainForm::ShowChecks() {
    const std::vector<CheckResult> results = fSession.Checks();
    fChecksTab->Show(results);
    const VerdictCounts counts(results);
    const std::size_t failed = counts[Verdict::Failed];
    const std::size_t warnings = counts[Verdict::Warning];
    const QString caption = failed > 0     ? QString("Checks (%1 failed)").arg(failed)
                            : warnings > 0 ? QString("Checks (%1 warning)").arg(warnings)
                                           : QString("Checks");
    // Setting a caption lays the tabs out again and repaints the whole tab widget, even when
    // the caption is the same.
    const int tab = PageControl1->indexOf(fChecksTab);
    if (PageControl1->tabText(tab) != caption) {
        PageControl1->setTabText(tab, caption);
    }
    fStatus.SetChecks(QString::fromStdString(counts.Summary()));
    ShowStatus();
}

// Only values that were read can go stale; the diagram follows the block of the phase values.
void TmainForm::MarkStale(RegisterBlock block, bool stale) {
    const QTime readAt = fBlockReadAt[static_cast<std::size_t>(block)];
    const QString since = stale && readAt.isValid() ? LongTimeText(readAt) : QString();
    for (RegisterGrid* grid : fGrids) {
        grid->Model()->SetStale(block, since);
    }
    if (block == RegisterOf(Quantity::VoltageL1).Block) {
        fPolarDiagram->SetStale(since);
    }
}

// The state of the run stands in the status bar, whether the log is shown or not.
void TmainForm::ShowStatus() {
    const QString text = fStatus.Text();
    LabelRunStatus->setToolTip(text);
    LabelRunStatus->setAccessibleName(text.isEmpty() ? QString("Run state") : text);
    LabelRunStatus->setText(text);
    FormResize();
}

void TmainForm::RestoreIdleControls() {
    StopAction->setEnabled(false);
    StepAction->setEnabled(true);
    RunAction->setEnabled(true);
    PanelRTUSettings->setEnabled(true);
    PanelTCPSettings->setEnabled(true);
    PanelModbusKind->setEnabled(true);
}

// "KALVO 12345678: trend from 2026-12-10 15:31:02 to 2026-12-10 15:33:02".
QString TmainForm::TrendPictureTitle() const {
    const auto at = [](double seconds) {
        return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(seconds * 1000))
            .toString("yyyy-MM-dd HH:mm:ss");
    };
    const TrendChart& chart = *fTrend->Chart();
    return QString("KALVO %1: trend from %2 to %3")
        .arg(fGrids[0]->CellText(0, kColumnValue), at(chart.From()), at(chart.To()));
}

// A recording is read for the ticked quantities; a file that is not one is reported.
void TmainForm::OpenRecording() {
    const QString path = TabExport(*this, fEnvironment, fLastFolders).ChooseRecordingToOpen();
    if (path.isEmpty()) {
        return;
    }
    std::ifstream file(path.toStdString(), std::ios::binary);
    if (!file) {
        fEnvironment.ShowError(this, "Could not open the recording\r\n" + path);
        return;
    }
    try {
        BusyCursor busy;
        fTrend->LoadRecording(RecordedRun::Read(file, fTrend->TickedQuantities()));
    } catch (const std::exception& error) {
        fEnvironment.ShowError(this, "Not a recording of a Run\r\n" + path + "\r\n" +
                                         QString::fromStdString(error.what()));
    }
}

void TmainForm::SaveCurrentTab() {
    const int tab = PageControl1->currentIndex();
    const QString name = QString::fromStdString(
        RegisterSheet::DefaultExportName(fGrids[0]->CellText(0, kColumnValue).toStdString(),
                                         PageControl1->tabText(tab).toStdString()));
    TabExport exporter(*this, fEnvironment, fLastFolders);
    bool saved = false;
    if (tab < static_cast<int>(fGrids.size())) {
        saved =
            exporter.SaveSheetToCsv(fGrids[static_cast<std::size_t>(tab)]->Model()->Sheet(), name);
    } else if (PageControl1->widget(tab) == pnlPolar) {
        saved = exporter.SaveDiagramToBitmap(*fPolarDiagram, name);
    } else if (PageControl1->widget(tab) == fTrend) {
        saved = exporter.SaveTrend(*fTrend, name, TrendPictureTitle());
    } else if (PageControl1->widget(tab) == fChecksTab) {
        saved = exporter.SaveChecksToCsv(fChecksTab->Results(), name);
    }
    if (saved) {
        fEnvironment.ShowInformation(this, "File successfully saved");
    }
}

// Recording starts with a file the user chooses and stops when the button is released or a
// write fails; the Run is never touched.
void TmainForm::RecordClick(bool on) {
    if (!on) {
        fSession.StopRecording();
        fStatus.RecordingEnded();
        ShowStatus();
        return;
    }
    // A split recording names each part with its own time: the proposal carries none.
    const QString stamp =
        fRecordSplit == 0 ? "_" + QDateTime::currentDateTime().toString("yyyyMMdd_HHmmss") : "";
    const QString name = "KALVO_" + fGrids[0]->CellText(0, kColumnValue) + stamp;
    const QString path = TabExport(*this, fEnvironment, fLastFolders).ChooseRecording(name);
    if (path.isEmpty()) {
        const QSignalBlocker quiet(RecordAction);
        RecordAction->setChecked(false);
        return;
    }
    const RecordFile::Split splits[] = {RecordFile::Split::None, RecordFile::Split::Hour,
                                        RecordFile::Split::Day};
    fSession.StartRecording(path.toStdString(), splits[static_cast<std::size_t>(fRecordSplit)],
                            DecimalSeparator());
    fStatus.RecordingStarted(QFileInfo(path).fileName());
    ShowStatus();
}

// A failed write stops the recording, never the Run.
void TmainForm::RecordingStopped(const QString& failure) {
    const QSignalBlocker quiet(RecordAction);
    RecordAction->setChecked(false);
    fStatus.RecordingEnded();
    ShowStatus();
    fEnvironment.ShowError(this, "Recording stopped\r\n" + failure);
}

void TmainForm::CopyCellToClipboard(const QModelIndex& index) {
    QGuiApplication::clipboard()->setText(index.data().toString());
}

// The scan at start-up is silent when it finds no port; every later one says so.
void TmainForm::RescanSerialPorts() {
    ComboSerials->SetPorts(fEnvironment.ListSerialPorts());
    if (ComboSerials->count() == 0 && fStartUpScanDone) {
        fEnvironment.ShowWarning(this,
                                 "Unable to list the serial ports\r\nNo serial ports available");
    }
    ComboSerials->setCurrentIndex(ComboSerials->count() > 0 ? 0 : -1);
}

void TmainForm::SetDefaultConnection() {
    TCPHostEdit->setText(kFactoryTcpAddress);
    TCPPortEdit->setText(QString::number(kDefaultTcpPort));
}

// The web tab has its own tools and nothing to save.
void TmainForm::EnableWebToolBarFor(int index) {
    const bool web = PageControl1->widget(index) == WebTabSheet;
    WebToolBar->setEnabled(web);
    SaveAction->setEnabled(!web);
}

// The browser engine is loaded the first time it is needed, so that start-up stays light;
// without it, the page can open in the user's browser.
void TmainForm::NavigateWebView() {
    const QUrl address("http://" + TcpHost());
    if (WebBrowser1 == nullptr) {
        WebPlugin* engine = WebPluginLoader::Instance();
        if (engine != nullptr) {
            WebBrowser1 = engine->CreateView(WebTabSheet,
                                             [this](const QString& failed, const QString& reason) {
                                                 WebBrowserLoadingChanged(true, failed, reason);
                                             });
        }
        if (WebBrowser1 == nullptr) {
            if (fEnvironment.AskYesNo(this, "The web view is not installed (package "
                                            "kalvo-client-web).\r\nOpen " +
                                                address.toString() + " in your browser?")) {
                OpenExternalPage(address.toString());
            }
            return;
        }
        WebTabSheet->layout()->addWidget(WebBrowser1);
    }
    WebPluginLoader::Instance()->Navigate(WebBrowser1, address);
}

void TmainForm::ReloadWebPage() {
    if (WebBrowser1 != nullptr) {
        WebPluginLoader::Instance()->Reload(WebBrowser1);
    }
}

// The message says which address failed and why; the view shows the browser's own page.
void TmainForm::WebBrowserLoadingChanged(bool failed, const QString& address,
                                         const QString& reason) {
    if (failed) {
        fEnvironment.ShowError(this, "Browser navigation error\r\n" + address + ": " + reason);
    }
}

void TmainForm::OpenExternalPage(const QString& address) {
    if (!QDesktopServices::openUrl(QUrl(address))) {
        fEnvironment.ShowError(this, "Browser execution failed");
    }
}

bool TmainForm::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == mbRTUaddr || watched == TCPPortEdit) && event->type() == QEvent::KeyPress) {
        return !mbRTUaddrKeyPress(static_cast<const QKeyEvent&>(*event));
    }
    if (listLog != nullptr && watched == listLog->viewport() &&
        event->type() == QEvent::MouseButtonDblClick) {
        ShowStatisticsWindowUnlessShown();
    }
    if (watched == LabelZorbelLink) {
        QFont linkFont = LabelZorbelLink->font();
        switch (event->type()) {
        case QEvent::Enter:
        case QEvent::Leave:
            linkFont.setUnderline(event->type() == QEvent::Enter);
            LabelZorbelLink->setFont(linkFont);
            break;
        case QEvent::MouseButtonRelease:
            OpenExternalPage(LabelZorbelLink->text());
            break;
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// Only printable characters other than digits are refused; editing keys (Backspace, Delete,
// the arrows) and shortcuts pass.
bool TmainForm::mbRTUaddrKeyPress(const QKeyEvent& event) const {
    const QString text = event.text();
    if (text.isEmpty() || !text.at(0).isPrint()) {
        return true;
    }
    return text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9');
}

void TmainForm::AppendLog(const QString& message) {
    // No updates turned off and on around this: turning them on repaints the whole list and,
    // through its frame, the panels beneath it at every line.
    if (listLog->count() >= kMaxLogLines) {
        delete listLog->takeItem(0);
    }
    qCDebug(lcKalvo).noquote() << LongTimeText(QTime::currentTime()) + "  " + message;
    listLog->addItem(LongTimeText(QTime::currentTime()) + " " + message);
    listLog->setCurrentRow(listLog->count() - 1);
    listLog->clearSelection();
}

void TmainForm::UpdateVisibleDebugWindow() {
    if (debugForm->isVisible()) {
        debugForm->UpdateDebugWindow();
    }
}

void TmainForm::ShowStatisticsWindow() {
    debugForm->UpdateDebugWindow();
    debugForm->show();
    debugForm->raise();
}

void TmainForm::ShowStatisticsWindowUnlessShown() {
    if (!debugForm->isVisible()) {
        debugForm->UpdateDebugWindow();
        debugForm->show();
    }
}

void TmainForm::ToggleLogPanel() {
    const int tag = fLogPanelTag;
    fLogPanelTag = 1 - tag;
    SpeedButton4->setIcon(style()->standardIcon(
        fLogPanelTag == 0 ? QStyle::SP_TitleBarShadeButton : QStyle::SP_TitleBarUnshadeButton));
    Panel1->setVisible(!Panel1->isVisible());
}

// The handlers the controls are connected to, by the names the form gives them.

void TmainForm::SpeedButton5Click() {
    SaveCurrentTab();
}

void TmainForm::SpeedButton1Click() {
    RescanSerialPorts();
}

void TmainForm::SpeedButton2Click() {
    SetDefaultConnection();
}

void TmainForm::ToolButton1Click() {
    NavigateWebView();
}

void TmainForm::ToolButton2Click() {
    ReloadWebPage();
}

void TmainForm::SpeedButton4Click() {
    ToggleLogPanel();
}

void TmainForm::Showdebugpanel1Click() {
    ShowStatisticsWindow();
}

void TmainForm::listLogDblClick() {
    ShowStatisticsWindowUnlessShown();
}

void TmainForm::readStopClick() {
    StopCommunication();
}

void TmainForm::PageControl1Change(int index) {
    EnableWebToolBarFor(index);
}

void TmainForm::GridInstSelectCell(const QModelIndex& index) {
    CopyCellToClipboard(index);
}

} // namespace kalvo
