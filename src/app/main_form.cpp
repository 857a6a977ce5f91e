#include "app/main_form.h"

#include "acquisition/modbus_rtu_thread.h"
#include "acquisition/modbus_tcp_thread.h"
#include "app/app_logging.h"
#include "app/config_file.h"
#include "app/export_file_names.h"
#include "app/qt_message_queue.h"
#include "app/qt_polling_host.h"
#include "app/window_placement.h"
#include "dialogs/about_form.h"
#include "dialogs/debug_form.h"
#include "dialogs/locale_time.h"
#include "dialogs/settings_form.h"
#include "phasor/polar_diagram.h"
#include "registers/csv_text.h"
#include "registers/register_sheet.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <thread>

namespace kalvo {

namespace {

const QString kCaption = QStringLiteral("Modbus module KALVO test program");
const QString kFloatDecoderAddress =
    QStringLiteral("https://www.h-schmidt.net/FloatConverter/IEEE754.html");
const QString kSpecificationAddress = QStringLiteral("https://www.modbus.org/specs.php");
const QStringList kSpeeds = {"2400", "4800", "9600", "19200"};
constexpr int kTopPanelHeight = 60;
constexpr int kStatusBarHeight = 20;
constexpr int kLogPanelHeight = 130;
constexpr int kWebIconSize = 32;
constexpr int kMaxLogLines = 101;

std::string DecimalSeparator() {
    return QLocale().decimalPoint().toStdString();
}

QString TextOf(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* CaptionLabel(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    buddy->setAccessibleName(text);
    return label;
}

} // namespace

TmainForm::TmainForm(MainFormEnvironment environment, QWidget* parent)
    : QMainWindow(parent), fEnvironment(std::move(environment)) {
    setObjectName("mainForm");
    setWindowTitle(kCaption);
    BuildMenus();
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(BuildTopPanel());
    column->addWidget(BuildPages(), 1);
    column->addWidget(BuildLogPanel());
    column->addWidget(BuildStatusBar());
    setCentralWidget(central);
    fHost = new QtPollingHost(*this);
    fMessageQueue = new QtMessageQueue(this);
    FormCreate();
    FormSettings = new TFormSettings(fPollSettings, this);
    debugForm = new TdebugForm(fStatistics, this);
}

TmainForm::~TmainForm() {
    ShutdownPollers();
}

void TmainForm::BuildMenus() {
    QStyle* style = this->style();
    QMenu* file = menuBar()->addMenu("&File");
    Esci1 = file->addAction(style->standardIcon(QStyle::SP_DialogCloseButton), "&Exit", this,
                            &QWidget::close);
    QMenu* options = menuBar()->addMenu("&Options");
    Settings1 = options->addAction(style->standardIcon(QStyle::SP_FileDialogDetailedView),
                                   "&Settings ...", this, [this] { FormSettings->exec(); });
    Showdebugpanel1 =
        options->addAction(style->standardIcon(QStyle::SP_FileDialogInfoView), "Show debug panel",
                           this, &TmainForm::Showdebugpanel1Click);
    QMenu* help = menuBar()->addMenu("?");
    Informazionisu1 =
        help->addAction(style->standardIcon(QStyle::SP_MessageBoxInformation), "&About ...", this,
                        [this] { TfrmAbout::ShowAbout(false, this); });
}

QToolButton* TmainForm::SpeedButton(const QString& name, const QString& hint, const QIcon& icon) {
    auto* button = new QToolButton;
    button->setObjectName(name);
    button->setIcon(icon);
    button->setAutoRaise(true);
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    return button;
}

QWidget* TmainForm::BuildTopPanel() {
    auto* panel = new QWidget;
    panel->setObjectName("Panel2");
    panel->setFixedHeight(kTopPanelHeight);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(4, 2, 4, 2);
    row->addWidget(BuildModbusKindPanel());
    row->addWidget(BuildTcpPanel());
    row->addWidget(BuildRtuPanel());
    row->addWidget(BuildAcquisitionButtons());
    row->addStretch(1);
    row->addWidget(BuildWebToolBar());
    return panel;
}

QWidget* TmainForm::BuildModbusKindPanel() {
    auto* panel = new QGroupBox;
    panel->setObjectName("PanelModbusKind");
    PanelModbusKind = panel;
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(6, 2, 6, 2);
    RadioTCP = new QRadioButton("Modbus TCP");
    RadioTCP->setObjectName("RadioTCP");
    RadioTCP->setChecked(true);
    RadioRTU = new QRadioButton("Modbus RTU");
    RadioRTU->setObjectName("RadioRTU");
    column->addWidget(RadioTCP);
    column->addWidget(RadioRTU);
    return panel;
}

QWidget* TmainForm::BuildTcpPanel() {
    auto* panel = new QGroupBox;
    panel->setObjectName("PanelTCPSettings");
    PanelTCPSettings = panel;
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(6, 2, 6, 2);
    grid->setVerticalSpacing(2);
    TCPHostEdit = new QLineEdit(kFactoryTcpAddress);
    TCPHostEdit->setObjectName("TCPHostEdit");
    TCPHostEdit->setFixedWidth(120);
    TCPPortEdit = new QLineEdit(QString::number(kDefaultTcpPort));
    TCPPortEdit->setObjectName("TCPPortEdit");
    TCPPortEdit->setMaxLength(6);
    TCPPortEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]*"), TCPPortEdit));
    TCPPortEdit->setFixedWidth(60);
    TCPPortEdit->installEventFilter(this);
    auto* setDefault = SpeedButton("SpeedButton2", "Set default",
                                   style()->standardIcon(QStyle::SP_DialogResetButton));
    connect(setDefault, &QToolButton::clicked, this, &TmainForm::SpeedButton2Click);
    grid->addWidget(CaptionLabel("IP Address", TCPHostEdit), 0, 0);
    grid->addWidget(TCPHostEdit, 0, 1, 1, 2);
    grid->addWidget(CaptionLabel("TCP Port", TCPPortEdit), 1, 0);
    grid->addWidget(TCPPortEdit, 1, 1);
    grid->addWidget(setDefault, 1, 2, Qt::AlignLeft);
    return panel;
}

QWidget* TmainForm::BuildRtuPanel() {
    auto* panel = new QGroupBox;
    panel->setObjectName("PanelRTUSettings");
    PanelRTUSettings = panel;
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(6, 2, 6, 2);
    grid->setVerticalSpacing(2);
    mbRTUaddr = new QLineEdit("1");
    mbRTUaddr->setObjectName("mbRTUaddr");
    mbRTUaddr->setFixedWidth(50);
    mbRTUaddr->installEventFilter(this);
    ComboSerials = new QComboBox;
    ComboSerials->setObjectName("ComboSerials");
    ComboSerials->setAccessibleName("Serial port");
    ComboSerials->setMinimumWidth(110);
    auto* rescan = SpeedButton("SpeedButton1", "Rescan serial ports",
                               style()->standardIcon(QStyle::SP_BrowserReload));
    connect(rescan, &QToolButton::clicked, this, &TmainForm::SpeedButton1Click);
    // Virtual ports are long paths; the closed list shows their start, the tooltip all of it.
    connect(ComboSerials, &QComboBox::currentTextChanged, ComboSerials, &QComboBox::setToolTip);
    SpeedBox = new QComboBox;
    SpeedBox->setObjectName("SpeedBox");
    SpeedBox->setAccessibleName("Baud rate");
    SpeedBox->addItems(kSpeeds);
    SpeedBox->setCurrentIndex(kDefaultSpeedIndex);
    grid->addWidget(CaptionLabel("Server address", mbRTUaddr), 0, 0);
    grid->addWidget(mbRTUaddr, 0, 1);
    grid->addWidget(ComboSerials, 0, 2);
    grid->addWidget(rescan, 0, 3);
    grid->addWidget(SpeedBox, 1, 1, 1, 2, Qt::AlignLeft);
    grid->addWidget(new QLabel("N, 8, 1"), 1, 2, Qt::AlignRight);
    return panel;
}

QWidget* TmainForm::BuildAcquisitionButtons() {
    auto* panel = new QWidget;
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(4, 0, 4, 0);
    QStyle* style = this->style();
    readStep = SpeedButton("readStep", "Step", style->standardIcon(QStyle::SP_MediaSkipForward));
    readContinuous =
        SpeedButton("readContinuous", "Run", style->standardIcon(QStyle::SP_MediaPlay));
    readStop =
        SpeedButton("readStop", "Stop communication", style->standardIcon(QStyle::SP_MediaStop));
    SpeedButton5 = SpeedButton("SpeedButton5", "Save current tab",
                               style->standardIcon(QStyle::SP_DialogSaveButton));
    readStop->setEnabled(false);
    connect(readStep, &QToolButton::clicked, this, &TmainForm::readStepClick);
    connect(readContinuous, &QToolButton::clicked, this, &TmainForm::readContinuousClick);
    connect(readStop, &QToolButton::clicked, this, &TmainForm::readStopClick);
    connect(SpeedButton5, &QToolButton::clicked, this, &TmainForm::SpeedButton5Click);
    for (QToolButton* button : {readStep, readContinuous, readStop, SpeedButton5}) {
        button->setIconSize(QSize(24, 24));
        row->addWidget(button);
    }
    return panel;
}

QToolBar* TmainForm::BuildWebToolBar() {
    WebToolBar = new QToolBar;
    WebToolBar->setObjectName("WebToolBar");
    WebToolBar->setIconSize(QSize(kWebIconSize, kWebIconSize));
    WebToolBar->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    QStyle* style = this->style();
    auto* navigate =
        SpeedButton("ToolButton1", "Navigate", style->standardIcon(QStyle::SP_ArrowForward));
    auto* reload =
        SpeedButton("ToolButton2", "Reload page", style->standardIcon(QStyle::SP_BrowserReload));
    connect(navigate, &QToolButton::clicked, this, &TmainForm::ToolButton1Click);
    connect(reload, &QToolButton::clicked, this, &TmainForm::ToolButton2Click);
    auto* modbusPages =
        SpeedButton("ToolButton3", QString(), style->standardIcon(QStyle::SP_DialogHelpButton));
    modbusPages->setAccessibleName("Modbus specifications");
    connect(modbusPages, &QToolButton::clicked, this,
            [this] { OpenExternalPage(kSpecificationAddress); });
    for (QToolButton* button : {navigate, reload, modbusPages}) {
        button->setIconSize(QSize(kWebIconSize, kWebIconSize));
        WebToolBar->addWidget(button);
    }
    return WebToolBar;
}

QWidget* TmainForm::BuildPages() {
    PageControl1 = new QTabWidget;
    PageControl1->setObjectName("PageControl1");
    const char* names[] = {"GridInst", "GridPhase", "GridLP", "Grid32"};
    for (std::size_t i = 0; i < fGrids.size(); ++i) {
        fGrids[i] = new RegisterGrid;
        fGrids[i]->setObjectName(names[i]);
        connect(fGrids[i], &RegisterGrid::CellSelected, this, &TmainForm::GridInstSelectCell);
        PageControl1->addTab(fGrids[i], TextOf(RegisterTables()[i].Caption));
    }
    pnlPolar = new QWidget;
    pnlPolar->setObjectName("pnlPolar");
    PageControl1->addTab(pnlPolar, "Phase diagram");
    WebTabSheet = new QWidget;
    WebTabSheet->setObjectName("WebTabSheet");
    auto* webLayout = new QVBoxLayout(WebTabSheet);
    webLayout->setContentsMargins(0, 0, 0, 0);
    PageControl1->addTab(WebTabSheet, "Web interface");
    connect(PageControl1, &QTabWidget::currentChanged, this, &TmainForm::PageControl1Change);
    return PageControl1;
}

QWidget* TmainForm::BuildLogPanel() {
    auto* panel = new QGroupBox(" Communication ");
    panel->setObjectName("Panel1");
    Panel1 = panel;
    panel->setFixedHeight(kLogPanelHeight);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(4, 4, 4, 4);
    listLog = new QListWidget;
    listLog->setObjectName("listLog");
    listLog->setAccessibleName("Communication");
    listLog->setSelectionMode(QAbstractItemView::SingleSelection);
    listLog->viewport()->installEventFilter(this);
    column->addWidget(listLog);
    return panel;
}

QWidget* TmainForm::BuildStatusBar() {
    Panel4 = new QWidget;
    Panel4->setObjectName("Panel4");
    Panel4->setFixedHeight(kStatusBarHeight);
    SpeedButton4 = SpeedButton("SpeedButton4", "Show or hide the communication log",
                               style()->standardIcon(QStyle::SP_TitleBarShadeButton));
    SpeedButton4->setParent(Panel4);
    SpeedButton4->setGeometry(0, 0, kStatusBarHeight, kStatusBarHeight);
    connect(SpeedButton4, &QToolButton::clicked, this, &TmainForm::SpeedButton4Click);
    LabelZorbel = new QLabel("For FloatingPoint decoding visit : ", Panel4);
    LabelZorbel->setObjectName("LabelZorbel");
    LabelZorbel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LabelZorbelLink = new QLabel(kFloatDecoderAddress, Panel4);
    LabelZorbelLink->setObjectName("LabelZorbelLink");
    LabelZorbelLink->setStyleSheet("color: blue");
    LabelZorbelLink->setCursor(Qt::PointingHandCursor);
    LabelZorbelLink->setAccessibleName(kFloatDecoderAddress);
    LabelZorbelLink->installEventFilter(this);
    for (QLabel* label : {LabelZorbel, LabelZorbelLink}) {
        label->adjustSize();
        label->setFixedHeight(kStatusBarHeight);
    }
    return Panel4;
}

void TmainForm::FormCreate() {
    fPolarDiagram = new TPolarDiagram(pnlPolar, fRegisters);
    for (std::size_t i = 0; i < fGrids.size(); ++i) {
        fGrids[i]->FillRegisterGrid(RegisterTables()[i].Rows, font());
    }
    SpeedButton1Click();
    InitPolarDiagram();
    const QRect screenArea = screen()->geometry();
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    setMaximumSize(screenArea.size());
    ApplyConfig(ConfigFile(fEnvironment.ConfigPath).Read());
}

void TmainForm::ApplyConfig(const ClientConfig& config) {
    const QRect placement = ClampedPlacement(config.Placement, screen()->availableGeometry());
    move(placement.topLeft());
    resize(placement.size());
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
}

ClientConfig TmainForm::CurrentConfig() const {
    ClientConfig config;
    config.Placement = QRect(pos(), size());
    config.TCPAddress = TCPHostEdit->text();
    config.TCPPort = ClientConfig::IntegerText(TCPPortEdit->text());
    config.UsingTCP = RadioTCP->isChecked();
    config.ModbusRTUAddress = ClientConfig::IntegerText(mbRTUaddr->text());
    config.SerialCOM = ComboSerials->currentIndex() >= 0 ? ComboSerials->currentText() : QString();
    config.ModbusRTUSpeedIndex = SpeedBox->currentIndex();
    config.Poll = fPollSettings;
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

void TmainForm::FormResize() {
    const int pairWidth = LabelZorbel->width() + LabelZorbelLink->width();
    const int left = width() / 2 - pairWidth / 2;
    LabelZorbel->move(left, 0);
    LabelZorbelLink->move(left + LabelZorbel->width(), 0);
}

void TmainForm::closeEvent(QCloseEvent* event) {
    readStopClick();
    ShutdownPollers();
    // The application ends with its last window; the statistics window must not outlive this one.
    debugForm->hide();
    QMainWindow::closeEvent(event);
    FormClose();
}

void TmainForm::FormClose() {
    ConfigFile(fEnvironment.ConfigPath).Write(CurrentConfig());
}

void TmainForm::RefreshDisplay() {
    int index = 0;
    for (std::size_t i = 0; i < fGrids.size(); ++i) {
        index = RefreshGrid(*fGrids[i], index);
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
    constexpr double kRadiansPerDegree = 0.017453292519943295;
    auto single = [this](int index) {
        return static_cast<double>(fRegisters.RegisterSingle(index));
    };
    TPolarDiagram& d = *fPolarDiagram;
    d.SetCurrent(P_L1, single(68), single(58) * kRadiansPerDegree);
    d.SetCurrent(P_L2, single(76), single(60) * kRadiansPerDegree);
    d.SetCurrent(P_L3, single(84), single(62) * kRadiansPerDegree);
    d.SetVoltage(P_L1, single(92), 0);
    d.SetVoltage(P_L2, single(100), single(64) * kRadiansPerDegree);
    d.SetVoltage(P_L3, single(108), single(66) * kRadiansPerDegree);
    d.SetInstantPower(single(52));
    d.SetFrequency(single(50));
    d.SetAvailableData(true, true, true, true, true, true);
}

int TmainForm::RefreshGrid(RegisterGrid& grid, int firstRegister) {
    RegisterTableModel& model = *grid.Model();
    int index = firstRegister;
    for (int row = 0; row < model.rowCount(); ++row) {
        const int count = model.Cell(row, kColumnBytes).toInt() / 2;
        const RegisterSheet::Row cells =
            RegisterSheet::DynamicCells(fRegisters, grid.CellText(row, kColumnType).toStdString(),
                                        count, index, DecimalSeparator());
        for (int column = kColumnRaw; column <= kColumnValue; ++column) {
            model.SetCell(row, column,
                          TextOf(cells.at(static_cast<std::size_t>(column - kColumnRaw))));
        }
        index += count;
    }
    model.DynamicColumnsChanged();
    return index;
}

void TmainForm::GridInstSelectCell(const QModelIndex& index) {
    QGuiApplication::clipboard()->setText(index.data().toString());
}

// The first scan that finds no port (the one at start-up) is silent; later ones say so.
void TmainForm::SpeedButton1Click() {
    ComboSerials->clear();
    ComboSerials->addItems(fEnvironment.ListSerialPorts ? fEnvironment.ListSerialPorts()
                                                        : QStringList());
    if (ComboSerials->count() == 0) {
        if (fSerialScanTag != 0) {
            ShowWarning("Unable to list the serial ports\r\nNo serial ports available");
        } else {
            fSerialScanTag = 1;
        }
    }
    ComboSerials->setCurrentIndex(ComboSerials->count() > 0 ? 0 : -1);
}

void TmainForm::SpeedButton2Click() {
    TCPHostEdit->setText(kFactoryTcpAddress);
    TCPPortEdit->setText(QString::number(kDefaultTcpPort));
}

void TmainForm::PageControl1Change(int index) {
    WebToolBar->setEnabled(PageControl1->widget(index) == WebTabSheet);
}

// The browser starts the first time it is needed, so that start-up stays fast.
void TmainForm::ToolButton1Click() {
    if (WebBrowser1 == nullptr) {
        auto* view = new QWebEngineView(WebTabSheet);
        view->setObjectName("WebBrowser1");
        view->setAccessibleName("Web interface");
        WebTabSheet->layout()->addWidget(view);
        connect(view->page(), &QWebEnginePage::loadingChanged, this,
                [this](const QWebEngineLoadingInfo& info) {
                    // A page with an HTTP error status still shows; only failed loads are errors.
                    WebBrowserLoadingChanged(
                        info.status() == QWebEngineLoadingInfo::LoadFailedStatus &&
                        info.errorDomain() != QWebEngineLoadingInfo::HttpStatusCodeDomain);
                });
        WebBrowser1 = view;
    }
    static_cast<QWebEngineView*>(WebBrowser1)->setUrl(QUrl("http://" + TCPHostEdit->text()));
}

void TmainForm::ToolButton2Click() {
    if (WebBrowser1 != nullptr) {
        static_cast<QWebEngineView*>(WebBrowser1)->reload();
    }
}

void TmainForm::WebBrowserLoadingChanged(bool failed) {
    if (failed) {
        if (fEnvironment.ShowError) {
            fEnvironment.ShowError(this, "Browser navigation error");
        } else {
            QMessageBox box(QMessageBox::NoIcon, kCaption, "Browser navigation error",
                            QMessageBox::Ok, this);
            box.exec();
        }
    }
}

void TmainForm::OpenExternalPage(const QString& address) {
    if (!QDesktopServices::openUrl(QUrl(address))) {
        QMessageBox::critical(this, kCaption, "Browser execution failed");
    }
}

bool TmainForm::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == mbRTUaddr || watched == TCPPortEdit) && event->type() == QEvent::KeyPress) {
        return !mbRTUaddrKeyPress(static_cast<const QKeyEvent&>(*event));
    }
    if (listLog != nullptr && watched == listLog->viewport() &&
        event->type() == QEvent::MouseButtonDblClick) {
        listLogDblClick();
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

} // namespace kalvo

namespace kalvo {

void TmainForm::readStepClick() {
    StartRun(RunLifecycle::kStepCycles);
}

void TmainForm::readContinuousClick() {
    StartRun(RunLifecycle::kRunCycles);
}

void TmainForm::StartRun(std::uint32_t cycles) {
    // A stopped run may still be finishing its read and hold the port: it is cut short, and
    // nothing of it reaches the new run's log, tables or statistics.
    RetireRuns();
    ClearValueColumns();
    listLog->clear();
    if (!ValidateConnectionInputs()) {
        return;
    }
    const bool step = cycles == RunLifecycle::kStepCycles;
    try {
        PanelModbusKind->setEnabled(false);
        PanelRTUSettings->setEnabled(!RadioRTU->isChecked());
        PanelTCPSettings->setEnabled(!RadioTCP->isChecked());
        readStep->setEnabled(false);
        readContinuous->setEnabled(false);
        readStop->setEnabled(!step);
        (step ? readStep : readContinuous)->repaint();
        const std::int32_t pollDelay = PollDelay();
        if (RadioTCP->isChecked()) {
            StartTcpThread(cycles, pollDelay);
        } else {
            StartRtuThread(cycles, pollDelay);
        }
    } catch (const std::exception& error) {
        qCWarning(lcKalvo) << "cannot start a run:" << error.what();
        ShowError("Error creating communication thread");
        readStopClick();
    }
}

std::int32_t TmainForm::PollDelay() const {
    return FormSettings->PollingDelayMs(fPollSettings.PollingDelayIndex);
}

// The serial connection is created here, on the UI thread, so that its results arrive here.
void TmainForm::StartRtuThread(std::uint32_t cycles, std::int32_t pollDelay) {
    const RunId run = ++fRunCounter;
    fHost->BeginRun(run);
    TModbusRTUThread::Parameters parameters{mbRTUaddr->text().toInt(),
                                            ComboSerials->currentText().toStdString(),
                                            SpeedBox->currentText().toInt(),
                                            cycles,
                                            pollDelay,
                                            fPollSettings.ResetStatistics};
    fRuns.push_back(std::make_unique<TModbusRTUThread>(*fHost, fStatistics, run, *fMessageQueue,
                                                       std::move(parameters)));
    fCurrentRun = fRuns.back().get();
}

void TmainForm::StartTcpThread(std::uint32_t cycles, std::int32_t pollDelay) {
    const RunId run = ++fRunCounter;
    fHost->BeginRun(run);
    TModbusTCPThread::Parameters parameters{TCPHostEdit->text().toStdString(),
                                            TCPPortEdit->text().toInt(), cycles, pollDelay,
                                            fPollSettings.ResetStatistics};
    fRuns.push_back(
        std::make_unique<TModbusTCPThread>(*fHost, fStatistics, run, std::move(parameters)));
    fCurrentRun = fRuns.back().get();
}

bool TmainForm::ValidateConnectionInputs() {
    bool valid = true;
    auto check = [this, &valid](bool ok, const QString& message) {
        if (!ok) {
            ShowError(message);
            valid = false;
        }
    };
    bool numeric = false;
    if (RadioTCP->isChecked()) {
        const int port = TCPPortEdit->text().toInt(&numeric);
        check(!TCPHostEdit->text().isEmpty(),
              TCPHostEdit->text() + " is not a valid TCP host name / address.");
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
    for (RegisterGrid* grid : fGrids) {
        grid->Model()->ClearDynamicColumns();
        if (grid == fGrids[1]) {
            fPolarDiagram->ClearDiagram();
            InitPolarDiagram();
        }
    }
}

void TmainForm::readStopClick() {
    if (fCurrentRun != nullptr) {
        fCurrentRun->Stop();
        fCurrentRun = nullptr;
    }
    RestoreIdleControls();
}

void TmainForm::RestoreIdleControls() {
    readStop->setEnabled(false);
    readStep->setEnabled(true);
    readContinuous->setEnabled(true);
    PanelRTUSettings->setEnabled(true);
    PanelTCPSettings->setEnabled(true);
    PanelModbusKind->setEnabled(true);
}

void TmainForm::PollerThreadDone(RunId run, bool restoreControls) {
    const auto ended = std::find_if(fRuns.begin(), fRuns.end(),
                                    [run](const auto& poller) { return poller->Run() == run; });
    if (ended == fRuns.end()) {
        return;
    }
    if (fCurrentRun == ended->get()) {
        fCurrentRun = nullptr;
    }
    fRuns.erase(ended);
    if (restoreControls) {
        RestoreIdleControls();
    }
    if (fRuns.empty()) {
        emit runsFinished();
    }
}

void TmainForm::RetireRuns() {
    if (fRuns.empty()) {
        return;
    }
    fHost->BeginRun(0);
    fCurrentRun = nullptr;
    for (const auto& poller : fRuns) {
        poller->Abort();
    }
    WaitForRuns();
}

// Every wait of a run is interruptible, so an aborted run ends within moments; meanwhile this
// thread serves (and refuses) the calls it makes and receives its end.
void TmainForm::WaitForRuns() {
    QEventLoop loop;
    connect(this, &TmainForm::runsFinished, &loop, &QEventLoop::quit);
    if (!fRuns.empty()) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
}

void TmainForm::ShutdownPollers() {
    fHost->SetClosing();
    RetireRuns();
}

// Saves what the active tab shows: a register grid as CSV, the diagram as a bitmap.
void TmainForm::SpeedButton5Click() {
    const QString name = "KALVO_" + fGrids[0]->CellText(0, kColumnValue) + "_" +
                         PageControl1->tabText(PageControl1->currentIndex());
    const int tab = PageControl1->currentIndex();
    bool saved = false;
    if (tab < static_cast<int>(fGrids.size())) {
        saved = SaveGridToCsv(*fGrids[static_cast<std::size_t>(tab)], name);
    } else if (PageControl1->widget(tab) == pnlPolar) {
        saved = SaveDiagramToBitmap(name);
    }
    if (saved) {
        ShowInformation("File successfully saved");
    }
}

namespace {

// The busy cursor for as long as a file is being written.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

QByteArray GridCsv(const RegisterGrid& grid) {
    const RegisterTableModel& model = *grid.Model();
    std::string text;
    std::vector<std::string> cells;
    for (int column = 0; column < kRegisterColumnCount; ++column) {
        cells.push_back(
            model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString().toStdString());
    }
    text += CsvLine(cells);
    for (int row = 0; row < model.rowCount(); ++row) {
        cells.clear();
        for (int column = 0; column < kRegisterColumnCount; ++column) {
            cells.push_back(model.Cell(row, column).toStdString());
        }
        text += CsvLine(cells);
    }
    return QByteArray::fromStdString(text);
}

} // namespace

bool TmainForm::SaveGridToCsv(const RegisterGrid& grid, const QString& defaultName) {
    const QString chosen = ChooseSaveFile("Comma separated values (*.csv *.CSV)",
                                          QDir::currentPath(), "csv", defaultName);
    if (chosen.isEmpty()) {
        return false;
    }
    const QString path = CsvFileName(chosen);
    if (!ConfirmOverwrite(path)) {
        return false;
    }
    BusyCursor busy;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(GridCsv(grid)) < 0 ||
        !file.flush()) {
        ShowError("Error saving file\r\n" + path + ": " + file.errorString());
        return false;
    }
    return true;
}

bool TmainForm::SaveDiagramToBitmap(const QString& defaultName) {
    const QString chosen =
        ChooseSaveFile("Bitmap (*.bmp *.BMP)", QString(), QString(), defaultName);
    if (chosen.isEmpty()) {
        return false;
    }
    const QString path = BmpFileName(chosen);
    if (!ConfirmOverwrite(path)) {
        return false;
    }
    BusyCursor busy;
    try {
        fPolarDiagram->SaveToFile(path);
        return true;
    } catch (const std::exception&) {
        ShowError("Error saving file");
        return false;
    }
}

QString TmainForm::ChooseSaveFile(const QString& filter, const QString& folder,
                                  const QString& suffix, const QString& name) {
    if (fEnvironment.ChooseSaveFile) {
        return fEnvironment.ChooseSaveFile(this, filter, folder, suffix, name);
    }
    QFileDialog dialog(this, QString(), folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(suffix);
    dialog.selectFile(name);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

bool TmainForm::ConfirmOverwrite(const QString& path) {
    if (!QFile::exists(path)) {
        return true;
    }
    const QString question = "Overwrite existing file\r\n" + path + "\r\n?";
    if (fEnvironment.AskYesNo) {
        return fEnvironment.AskYesNo(this, question);
    }
    return QMessageBox::warning(this, kCaption, question, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void TmainForm::ShowInformation(const QString& text) {
    if (fEnvironment.ShowInformation) {
        fEnvironment.ShowInformation(this, text);
    } else {
        QMessageBox::information(this, kCaption, text);
    }
}

void TmainForm::ShowWarning(const QString& text) {
    if (fEnvironment.ShowWarning) {
        fEnvironment.ShowWarning(this, text);
    } else {
        QMessageBox::warning(this, kCaption, text);
    }
}

void TmainForm::ShowError(const QString& text) {
    if (fEnvironment.ShowError) {
        fEnvironment.ShowError(this, text);
    } else {
        QMessageBox::critical(this, kCaption, text);
    }
}

bool TmainForm::mbRTUaddrKeyPress(const QKeyEvent& event) const {
    const QString text = event.text();
    if (text.isEmpty() || text.at(0) < QLatin1Char(' ')) {
        return true;
    }
    return text.at(0).isDigit() && text.at(0) <= QLatin1Char('9');
}

void TmainForm::AppendLog(const QString& message) {
    listLog->setUpdatesEnabled(false);
    if (listLog->count() >= kMaxLogLines) {
        delete listLog->takeItem(0);
    }
    qCDebug(lcKalvo).noquote() << LongTimeText(QTime::currentTime()) + "  " + message;
    listLog->addItem(LongTimeText(QTime::currentTime()) + " " + message);
    listLog->setCurrentRow(listLog->count() - 1);
    listLog->clearSelection();
    listLog->setUpdatesEnabled(true);
}

void TmainForm::UpdateVisibleDebugWindow() {
    if (debugForm->isVisible()) {
        debugForm->UpdateDebugWindow();
    }
}

void TmainForm::Showdebugpanel1Click() {
    debugForm->UpdateDebugWindow();
    debugForm->show();
    debugForm->raise();
}

void TmainForm::listLogDblClick() {
    if (!debugForm->isVisible()) {
        debugForm->UpdateDebugWindow();
        debugForm->show();
    }
}

void TmainForm::SpeedButton4Click() {
    const int tag = fLogPanelTag;
    fLogPanelTag = 1 - tag;
    SpeedButton4->setIcon(style()->standardIcon(
        fLogPanelTag == 0 ? QStyle::SP_TitleBarShadeButton : QStyle::SP_TitleBarUnshadeButton));
    Panel1->setVisible(!Panel1->isVisible());
}

} // namespace kalvo
