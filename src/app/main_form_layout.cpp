// The main window's layout: menus, the top panel, the tabs, the log panel and the status bar.
#include "app/checks_tab.h"
#include "app/client_config.h"
#include "app/main_form.h"
#include "app/serial_port_box.h"
#include "dialogs/about_form.h"
#include "dialogs/check_settings_form.h"
#include "dialogs/settings_form.h"
#include "qt_common/glyph_icon.h"
#include "registers/register_map.h"
#include "trend/trend_tab.h"

#include <QAction>
#include <QActionGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace kalvo {

namespace {

const QStringList kSpeeds = {"2400", "4800", "9600", "19200"};
constexpr int kStatusBarHeight = 20;
constexpr int kLogPanelMinimumHeight = 80;
// The phasor's value table and info panel need this much height beside the diagram, and a
// diagram large enough that its scale legend stays clear of the table.
constexpr int kPagesMinimumHeight = 330;
constexpr int kWebIconSize = 32;
constexpr int kAcquisitionIconSize = 24;

QString TextOf(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* CaptionLabel(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    buddy->setAccessibleName(text);
    return label;
}

// Wide enough for `sample` in the widget's font, plus room for the frame.
void FitWidth(QWidget* widget, const QString& sample) {
    constexpr int kFrameRoom = 14;
    widget->setMinimumWidth(widget->fontMetrics().horizontalAdvance(sample) + kFrameRoom);
}

// The two rows of a connection group, close together.
QGridLayout* PanelGrid(QGroupBox* panel) {
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setVerticalSpacing(2);
    return grid;
}

QGroupBox* Group(const char* name, const QString& accessibleName) {
    auto* group = new QGroupBox;
    group->setObjectName(name);
    group->setAccessibleName(accessibleName);
    return group;
}

} // namespace

void TmainForm::BuildMenus() {
    QStyle* style = this->style();
    QMenu* file = menuBar()->addMenu("&File");
    Esci1 = file->addAction(style->standardIcon(QStyle::SP_DialogCloseButton), "&Exit", this,
                            &QWidget::close);
    Esci1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QMenu* acquisition = menuBar()->addMenu("&Communication");
    const QPalette colours = palette();
    StepAction = AcquisitionAction("Step", GlyphIcon(Glyph::Step, colours), Qt::Key_F6,
                                   &TmainForm::readStepClick);
    RunAction = AcquisitionAction("Run", GlyphIcon(Glyph::Run, colours), Qt::Key_F5,
                                  &TmainForm::readContinuousClick);
    StopAction = AcquisitionAction("Stop communication", GlyphIcon(Glyph::Stop, colours),
                                   Qt::SHIFT | Qt::Key_F5, &TmainForm::readStopClick);
    SaveAction =
        AcquisitionAction("Save current tab", style->standardIcon(QStyle::SP_DialogSaveButton),
                          QKeySequence(Qt::CTRL | Qt::Key_S), &TmainForm::SpeedButton5Click);
    RecordAction = AcquisitionAction("Record", GlyphIcon(Glyph::Record, colours),
                                     QKeySequence(Qt::CTRL | Qt::Key_R), nullptr);
    ReportAction =
        AcquisitionAction("Save report...", style->standardIcon(QStyle::SP_FileDialogContentsView),
                          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &TmainForm::SaveReport);
    RecordAction->setCheckable(true);
    connect(RecordAction, &QAction::toggled, this, &TmainForm::RecordClick);
    StopAction->setEnabled(false);
    acquisition->addActions({StepAction, RunAction, StopAction});
    acquisition->addSeparator();
    acquisition->addActions({SaveAction, ReportAction, RecordAction});
    QMenu* split = acquisition->addMenu("Split recordings");
    auto* splits = new QActionGroup(this);
    const QString texts[] = {"One file", "A file per hour", "A file per day"};
    for (int i = 0; i < 3; ++i) {
        fSplitActions[static_cast<std::size_t>(i)] = SplitAction(split, texts[i], i);
        splits->addAction(fSplitActions[static_cast<std::size_t>(i)]);
    }
    QMenu* options = menuBar()->addMenu("&Options");
    Settings1 = options->addAction(style->standardIcon(QStyle::SP_FileDialogDetailedView),
                                   "&Settings ...", this, [this] { FormSettings->exec(); });
    options->addAction("&Check settings ...", this, [this] {
        CheckSettingsForm dialog(fCheckSettings, this);
        dialog.exec();
    });
    Showdebugpanel1 =
        options->addAction(style->standardIcon(QStyle::SP_FileDialogInfoView), "Show debug panel",
                           this, &TmainForm::Showdebugpanel1Click);
    QMenu* help = menuBar()->addMenu("?");
    Informazionisu1 =
        help->addAction(style->standardIcon(QStyle::SP_MessageBoxInformation), "&About ...", this,
                        [this] { TfrmAbout::ShowAbout(false, this); });
}

// A command of the Communication menu, with its key shown in its tooltip.
QAction* TmainForm::AcquisitionAction(const QString& text, const QIcon& icon,
                                      const QKeySequence& key, void (TmainForm::*slot)()) {
    auto* action = new QAction(icon, text, this);
    action->setShortcut(key);
    action->setToolTip(text + " (" + key.toString(QKeySequence::NativeText) + ")");
    if (slot != nullptr) {
        connect(action, &QAction::triggered, this, slot);
    }
    return action;
}

QAction* TmainForm::SplitAction(QMenu* menu, const QString& text, int split) {
    QAction* action = menu->addAction(text, this, [this, split] { fRecordSplit = split; });
    action->setCheckable(true);
    return action;
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
    Panel2 = new QWidget;
    Panel2->setObjectName("Panel2");
    Panel2->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(Panel2);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(3);
    row->addWidget(BuildModbusKindPanel());
    row->addWidget(BuildTcpPanel());
    row->addWidget(BuildRtuPanel());
    row->addWidget(BuildAcquisitionButtons());
    row->addStretch(1);
    row->addWidget(BuildWebToolBar());
    return Panel2;
}

QWidget* TmainForm::BuildModbusKindPanel() {
    QGroupBox* panel = Group("PanelModbusKind", "Connection type");
    PanelModbusKind = panel;
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(4, 2, 4, 2);
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
    QGroupBox* panel = Group("PanelTCPSettings", "Modbus TCP connection");
    PanelTCPSettings = panel;
    QGridLayout* grid = PanelGrid(panel);
    TCPHostEdit = new QLineEdit(kFactoryTcpAddress);
    TCPHostEdit->setObjectName("TCPHostEdit");
    FitWidth(TCPHostEdit, "192.168.100.10");
    TCPPortEdit = new QLineEdit(QString::number(kDefaultTcpPort));
    TCPPortEdit->setObjectName("TCPPortEdit");
    TCPPortEdit->setMaxLength(6);
    TCPPortEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]*"), TCPPortEdit));
    FitWidth(TCPPortEdit, "655350");
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
    QGroupBox* panel = Group("PanelRTUSettings", "Modbus RTU connection");
    PanelRTUSettings = panel;
    QGridLayout* grid = PanelGrid(panel);
    mbRTUaddr = new QLineEdit("1");
    mbRTUaddr->setObjectName("mbRTUaddr");
    FitWidth(mbRTUaddr, "2550");
    mbRTUaddr->installEventFilter(this);
    ComboSerials = new SerialPortBox;
    ComboSerials->setObjectName("ComboSerials");
    ComboSerials->setAccessibleName("Serial port");
    FitWidth(ComboSerials, "ttyUSB10_____");
    auto* rescan = SpeedButton("SpeedButton1", "Rescan serial ports",
                               style()->standardIcon(QStyle::SP_BrowserReload));
    connect(rescan, &QToolButton::clicked, this, &TmainForm::SpeedButton1Click);
    SpeedBox = new QComboBox;
    SpeedBox->setObjectName("SpeedBox");
    SpeedBox->setAccessibleName("Baud rate");
    SpeedBox->addItems(kSpeeds);
    SpeedBox->setCurrentIndex(kDefaultSpeedIndex);
    auto* rescanAndFormat = new QHBoxLayout;
    rescanAndFormat->setSpacing(4);
    rescanAndFormat->addWidget(rescan);
    rescanAndFormat->addWidget(new QLabel("N, 8, 1"));
    grid->addWidget(CaptionLabel("Server address", mbRTUaddr), 0, 0);
    grid->addWidget(mbRTUaddr, 0, 1);
    grid->addWidget(SpeedBox, 0, 2);
    grid->addWidget(ComboSerials, 1, 0, 1, 2);
    grid->addLayout(rescanAndFormat, 1, 2);
    return panel;
}

QWidget* TmainForm::BuildAcquisitionButtons() {
    auto* panel = new QWidget;
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(2, 0, 2, 0);
    row->setSpacing(0);
    auto button = [this, row](const char* name, QAction* action) {
        auto* tool = new QToolButton;
        tool->setObjectName(name);
        tool->setDefaultAction(action);
        tool->setAutoRaise(true);
        tool->setIconSize(QSize(kAcquisitionIconSize, kAcquisitionIconSize));
        tool->setAccessibleName(action->text());
        row->addWidget(tool);
        return tool;
    };
    readStep = button("readStep", StepAction);
    readContinuous = button("readContinuous", RunAction);
    readStop = button("readStop", StopAction);
    SpeedButton5 = button("SpeedButton5", SaveAction);
    readRecord = button("readRecord", RecordAction);
    return panel;
}

QToolBar* TmainForm::BuildWebToolBar() {
    WebToolBar = new QToolBar;
    WebToolBar->setObjectName("WebToolBar");
    WebToolBar->setIconSize(QSize(kWebIconSize, kWebIconSize));
    // On a narrow window the tool bar folds its buttons into its extension menu.
    WebToolBar->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    QStyle* style = this->style();
    auto* navigate =
        SpeedButton("ToolButton1", "Navigate", style->standardIcon(QStyle::SP_ArrowForward));
    auto* reload =
        SpeedButton("ToolButton2", "Reload page", style->standardIcon(QStyle::SP_BrowserReload));
    connect(navigate, &QToolButton::clicked, this, &TmainForm::ToolButton1Click);
    connect(reload, &QToolButton::clicked, this, &TmainForm::ToolButton2Click);
    auto* ToolButton3 =
        SpeedButton("ToolButton3", QString(), style->standardIcon(QStyle::SP_MessageBoxQuestion));
    ToolButton3->setAccessibleName("Modbus specifications");
    connect(ToolButton3, &QToolButton::clicked, this,
            [this] { OpenExternalPage(QStringLiteral("https://www.modbus.org/specs.php")); });
    for (QToolButton* tool : {navigate, reload, ToolButton3}) {
        tool->setIconSize(QSize(kWebIconSize, kWebIconSize));
        WebToolBar->addWidget(tool);
    }
    return WebToolBar;
}

QWidget* TmainForm::BuildPages() {
    PageControl1 = new QTabWidget;
    PageControl1->setObjectName("PageControl1");
    PageControl1->setMinimumHeight(kPagesMinimumHeight);
    const char* names[] = {"GridInst", "GridPhase", "GridLP", "Grid32"};
    for (std::size_t i = 0; i < fGrids.size(); ++i) {
        const QString caption = TextOf(RegisterTables()[i].Caption);
        fGrids[i] = new RegisterGrid;
        fGrids[i]->setObjectName(names[i]);
        fGrids[i]->setAccessibleName(caption);
        connect(fGrids[i], &RegisterGrid::CellSelected, this, &TmainForm::GridInstSelectCell);
        PageControl1->addTab(fGrids[i], caption);
    }
    pnlPolar = new QWidget;
    pnlPolar->setObjectName("pnlPolar");
    PageControl1->addTab(pnlPolar, "Phase diagram");
    fTrend = new TrendTab;
    PageControl1->addTab(fTrend, "Trend");
    fChecksTab = new ChecksTab;
    PageControl1->addTab(fChecksTab, "Checks");
    WebTabSheet = new QWidget;
    WebTabSheet->setObjectName("WebTabSheet");
    auto* webLayout = new QVBoxLayout(WebTabSheet);
    webLayout->setContentsMargins(0, 0, 0, 0);
    PageControl1->addTab(WebTabSheet, "Web interface");
    connect(PageControl1, &QTabWidget::currentChanged, this, &TmainForm::PageControl1Change);
    AddTabKeys();
    return PageControl1;
}

// Ctrl+Tab and Ctrl+PgDn go to the next tab, Ctrl+Shift+Tab and Ctrl+PgUp to the previous
// one, wherever the focus is in the window.
void TmainForm::AddTabKeys() {
    auto step = [this](int by) {
        const int count = PageControl1->count();
        PageControl1->setCurrentIndex((PageControl1->currentIndex() + by + count) % count);
    };
    const std::pair<QKeySequence, int> keys[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
        {QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
        {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1}};
    for (const auto& [key, by] : keys) {
        connect(new QShortcut(key, this), &QShortcut::activated, this, [step, by] { step(by); });
    }
}

QWidget* TmainForm::BuildLogPanel() {
    auto* panel = new QGroupBox(" Communication ");
    panel->setObjectName("Panel1");
    Panel1 = panel;
    panel->setMinimumHeight(kLogPanelMinimumHeight);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(4, 4, 4, 4);
    listLog = new QListWidget;
    listLog->setObjectName("listLog");
    listLog->setAccessibleName("Communication");
    listLog->setSelectionMode(QAbstractItemView::SingleSelection);
    // Every line is one line of text: the list need not measure all 101 again for each new one.
    listLog->setUniformItemSizes(true);
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
    LabelRunStatus = new QLabel(Panel4);
    LabelRunStatus->setObjectName("LabelRunStatus");
    LabelRunStatus->setAccessibleName("Run state");
    LabelZorbel = new QLabel("For FloatingPoint decoding visit : ", Panel4);
    LabelZorbel->setObjectName("LabelZorbel");
    LabelZorbel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const QString decoder = QStringLiteral("https://www.h-schmidt.net/FloatConverter/IEEE754.html");
    LabelZorbelLink = new QLabel(decoder, Panel4);
    LabelZorbelLink->setObjectName("LabelZorbelLink");
    // The theme's link colour: a fixed blue is unreadable on a dark one.
    LabelZorbelLink->setForegroundRole(QPalette::Link);
    LabelZorbelLink->setCursor(Qt::PointingHandCursor);
    LabelZorbelLink->setAccessibleName(decoder);
    LabelZorbelLink->installEventFilter(this);
    for (QLabel* label : {LabelZorbel, LabelZorbelLink}) {
        label->adjustSize();
        label->setFixedHeight(kStatusBarHeight);
    }
    return Panel4;
}

// No control may overlap another at any size the window allows: the top panel's natural
// width and the fixed heights set the floor, never below the window's own minimum.
void TmainForm::FitMinimumSize() {
    const QSize needed =
        centralWidget()->minimumSizeHint() + QSize(0, menuBar()->sizeHint().height());
    setMinimumSize(std::max(kMinimumWidth, Panel2->minimumSizeHint().width()),
                   std::max(kMinimumHeight, needed.height()));
}

} // namespace kalvo
