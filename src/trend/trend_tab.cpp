#include "trend/trend_tab.h"

#include "recording/run_record.h"
#include "registers/csv_text.h"
#include "registers/register_map.h"
#include "registers/value_text.h"
#include "trend/trend_measurement.h"
#include "trend/trend_quantity.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPixmap>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

namespace kalvo {

namespace {

constexpr int kIndexRole = Qt::UserRole;

QString TextOf(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::chrono::system_clock::time_point TimePoint(double seconds) {
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::duration<double>(seconds)));
}

double NowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

constexpr int kMeasureHeight = 150;
constexpr int kListMinimumWidth = 180;
// The first is the default.
const QSize kPictureSizes[] = {{1600, 900}, {1280, 720}, {1920, 1080}, {3840, 2160}};
constexpr QSize kSmallestPicture(320, 200);
constexpr std::array<const char*, 9> kMeasureColumns = {
    "Quantity", "A", "B", "B - A", "Minimum", "Maximum", "Mean", "Lower limit", "Upper limit"};
constexpr int kColumnMinimum = 4;
constexpr int kColumnMaximum = 5;
constexpr int kColumnLower = 7;

QString UnitSuffix(const QString& unit) {
    return unit.isEmpty() ? QString() : " [" + unit + "]";
}

QString NumberText(std::optional<double> value) {
    return value ? QString::number(*value, 'g', 10) : QString();
}

// A number as typed, in the user's notation or with a point.
std::optional<double> NumberOf(const QString& text) {
    bool ok = false;
    double value = QLocale().toDouble(text, &ok);
    if (!ok) {
        value = QLocale::c().toDouble(text, &ok);
    }
    return ok && std::isfinite(value) ? std::optional(value) : std::nullopt;
}

QIcon ColourKey(const QColor& colour) {
    QPixmap key(10, 10);
    key.fill(colour);
    return QIcon(key);
}

QString ClockText(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(seconds * 1000)))
        .toString("HH:mm:ss.zzz");
}

QString DeltaTimeText(std::optional<double> a, std::optional<double> b) {
    if (!a && !b) {
        return "Cursors: click for A, Shift+click for B (keys A, B; Shift+arrows move; Delete "
               "removes). Statistics are of the view.";
    }
    QStringList parts;
    if (a) {
        parts << "A " + ClockText(*a);
    }
    if (b) {
        parts << "B " + ClockText(*b);
    }
    if (a && b) {
        parts << QString("B - A = %1 s").arg(*b - *a, 0, 'f', 3);
    }
    return parts.join("   ");
}

// Readings more than this many times the usual interval apart were not one stretch.
constexpr double kBreakAfterIntervals = 2.5;

void FillWithBreaks(TrendSeries& series, const std::vector<RecordedRun::Reading>& readings) {
    std::vector<double> intervals;
    for (std::size_t i = 1; i < readings.size(); ++i) {
        intervals.push_back(readings[i].Time - readings[i - 1].Time);
    }
    double usual = 0;
    if (!intervals.empty()) {
        const auto middle = intervals.begin() + static_cast<std::ptrdiff_t>(intervals.size() / 2);
        std::nth_element(intervals.begin(), middle, intervals.end());
        usual = *middle;
    }
    for (std::size_t i = 0; i < readings.size(); ++i) {
        if (i > 0 && readings[i].Time - readings[i - 1].Time > kBreakAfterIntervals * usual) {
            series.Append((readings[i].Time + readings[i - 1].Time) / 2,
                          std::numeric_limits<double>::quiet_NaN());
        }
        series.Append(readings[i].Time, readings[i].Value);
    }
}

} // namespace

TrendTab::TrendTab(QWidget* parent)
    : QWidget(parent), fList(new QTreeWidget), fChart(new TrendChart) {
    setObjectName("TrendTab");
    fList->setObjectName("TrendQuantities");
    fList->setAccessibleName("Trend quantities");
    fList->setHeaderLabels({"Quantity", "Unit"});
    fList->setMinimumWidth(kListMinimumWidth);
    fList->header()->setStretchLastSection(false);
    fList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    fList->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    // Fusion draws a tick box's outline from the window colour, darkened: on a dark theme it
    // vanishes into the list's base. The list takes a window colour its outlines show from.
    QPalette colours = fList->palette();
    if (colours.color(QPalette::Base).lightness() < 128) {
        colours.setColor(QPalette::Window, colours.color(QPalette::Text));
        fList->setPalette(colours);
    }
    std::vector<QTreeWidgetItem*> tables;
    for (const RegisterTable& table : RegisterTables()) {
        tables.push_back(new QTreeWidgetItem(fList, {TextOf(table.Caption)}));
    }
    for (const TrendQuantity& quantity : TrendQuantity::All()) {
        auto* item = new QTreeWidgetItem(tables[static_cast<std::size_t>(quantity.Table)],
                                         {quantity.ShortName(), quantity.Unit()});
        item->setData(0, kIndexRole, quantity.Index());
        item->setCheckState(0, Qt::Unchecked);
        item->setToolTip(0, quantity.Name());
    }
    fAsk = [](QWidget* parent, const QString& question) {
        return QMessageBox::question(parent, "Trend", question, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
    fList->expandItem(tables[0]);
    fList->expandItem(tables[1]);
    connect(fList, &QTreeWidget::itemChanged, this, [this] { SelectionChanged(); });
    auto* splitter = new QSplitter;
    splitter->addWidget(fList);
    auto* right = new QWidget;
    auto* column = new QVBoxLayout(right);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(BuildControls());
    column->addWidget(fChart, 1);
    column->addWidget(BuildMeasurements());
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 700});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    SetSelection(TrendQuantity::DefaultSelection());
}

QWidget* TrendTab::BuildControls() {
    auto* bar = new QWidget;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 2, 4, 2);
    auto button = [row](const char* name, const QString& text, const QString& hint) {
        auto* tool = new QToolButton;
        tool->setObjectName(name);
        tool->setText(text);
        tool->setToolTip(hint);
        tool->setAccessibleName(text);
        row->addWidget(tool);
        return tool;
    };
    fFollow = button("TrendFollow", "Follow", "Follow the newest readings (End); off: paused");
    fFollow->setCheckable(true);
    fFollow->setChecked(true);
    connect(fFollow, &QToolButton::toggled, fChart, &TrendChart::SetFollowing);
    connect(fChart, &TrendChart::followingChanged, fFollow, &QToolButton::setChecked);
    QToolButton* normalised =
        button("TrendNormalised", "Normalised", "Every line from its lowest to its highest value");
    normalised->setCheckable(true);
    connect(normalised, &QToolButton::toggled, fChart, &TrendChart::SetNormalised);
    connect(button("TrendFitAll", "Fit all", "The whole history (Home)"), &QToolButton::clicked,
            fChart, &TrendChart::FitAll);
    connect(button("TrendClear", "Clear", "Forget the history"), &QToolButton::clicked, this,
            &TrendTab::Clear);
    connect(button("TrendOpen", "Open...",
                   "Open a recording: show the ticked quantities of a recorded Run (CSV)"),
            &QToolButton::clicked, this, &TrendTab::openRecordingRequested);
    QToolButton* measure = button("TrendMeasure", "Measure",
                                  "Cursors (click: A, Shift+click: B; keys A, B, Shift+arrows, "
                                  "Delete), statistics of the view and limits");
    measure->setCheckable(true);
    connect(measure, &QToolButton::toggled, this, [this](bool on) {
        fMeasurePanel->setVisible(on);
        ShowMeasurements();
    });
    fPictureSize = new QComboBox;
    fPictureSize->setObjectName("TrendPictureSize");
    fPictureSize->setAccessibleName("Size of a saved trend picture");
    fPictureSize->setToolTip("Size of a saved trend picture");
    for (const QSize size : kPictureSizes) {
        fPictureSize->addItem(QString("%1 x %2").arg(size.width()).arg(size.height()), size);
    }
    row->addWidget(fPictureSize);
    fCapacityLabel = new QLabel;
    fCapacityLabel->setObjectName("TrendCapacity");
    // At the window's narrowest the label is cut rather than squeezing the quantity list.
    fCapacityLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    fCapacityLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(fCapacityLabel, 1);
    SetCapacity(fCapacity);
    return bar;
}

QWidget* TrendTab::BuildMeasurements() {
    fMeasurePanel = new QWidget;
    fMeasurePanel->setObjectName("TrendMeasurePanel");
    auto* column = new QVBoxLayout(fMeasurePanel);
    column->setContentsMargins(4, 0, 4, 0);
    fDeltaTime = new QLabel;
    fDeltaTime->setObjectName("TrendDeltaTime");
    fDeltaTime->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(fDeltaTime);
    fMeasurements = new QTableWidget(0, static_cast<int>(kMeasureColumns.size()));
    fMeasurements->setObjectName("TrendMeasurements");
    fMeasurements->setAccessibleName("Trend measurements");
    fMeasurements->setHorizontalHeaderLabels(
        QStringList(kMeasureColumns.begin(), kMeasureColumns.end()));
    fMeasurements->verticalHeader()->hide();
    fMeasurements->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    fMeasurements->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    fMeasurements->setTabKeyNavigation(false);
    fMeasurements->setMaximumHeight(kMeasureHeight);
    column->addWidget(fMeasurements);
    fMeasurePanel->hide();
    connect(fChart, &TrendChart::measurementsChanged, this, &TrendTab::ShowMeasurements);
    connect(fMeasurements, &QTableWidget::cellChanged, this, &TrendTab::LimitEdited);
    return fMeasurePanel;
}

// Per line: its values at the cursors and their difference, its minimum, maximum and mean
// over the view (in red beyond a limit), and its limits, which are edited here.
void TrendTab::ShowMeasurements() {
    if (!fMeasurePanel->isVisibleTo(this)) {
        return;
    }
    const QSignalBlocker quiet(fMeasurements);
    const std::vector<TrendChart::Line>& lines = fChart->Lines();
    const std::optional<double> a = fChart->Cursor(TrendChart::CursorA);
    const std::optional<double> b = fChart->Cursor(TrendChart::CursorB);
    fMeasurements->setRowCount(static_cast<int>(lines.size()));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const TrendChart::Line& line = lines[i];
        const TrendMeasurement m =
            TrendMeasurement::Of(*line.Series, fChart->From(), fChart->To(), a, b);
        const bool counted = m.View.Count > 0;
        const std::array<bool, 2> beyond = {
            counted && line.Limit.Lower && m.View.Lowest < *line.Limit.Lower,
            counted && line.Limit.Upper && m.View.Highest > *line.Limit.Upper};
        const std::array<std::optional<double>, kMeasureColumns.size() - 1> values = {
            m.AtA,
            m.AtB,
            m.Delta,
            counted ? std::optional(m.View.Lowest) : std::nullopt,
            counted ? std::optional(m.View.Highest) : std::nullopt,
            counted ? std::optional(m.View.Mean) : std::nullopt,
            line.Limit.Lower,
            line.Limit.Upper};
        SetMeasureCell(static_cast<int>(i), 0, line.Name + UnitSuffix(line.Unit), line.Colour);
        for (std::size_t c = 0; c < values.size(); ++c) {
            const bool red =
                (c == kColumnMinimum - 1 && beyond[0]) || (c == kColumnMaximum - 1 && beyond[1]);
            SetMeasureCell(static_cast<int>(i), static_cast<int>(c) + 1, NumberText(values[c]),
                           red ? QColor(Qt::red) : QColor());
        }
    }
    fDeltaTime->setText(DeltaTimeText(a, b));
}

void TrendTab::SetMeasureCell(int row, int column, const QString& text, const QColor& key) {
    QTableWidgetItem* item = fMeasurements->item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        const bool limit = column >= kColumnLower;
        item->setFlags(limit ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable
                             : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        if (column != 0) {
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        fMeasurements->setItem(row, column, item);
    }
    // An unchanged text is not set again: an open limit editor keeps what is being typed.
    if (item->text() != text) {
        item->setText(text);
    }
    if (column == 0) {
        item->setIcon(ColourKey(key));
    } else {
        item->setData(Qt::ForegroundRole, key.isValid() ? QVariant(key) : QVariant());
    }
}

// An empty cell removes the limit; a text that is no number is refused.
void TrendTab::LimitEdited(int row, int column) {
    if (column < kColumnLower || row < 0 || static_cast<std::size_t>(row) >= Selection().size()) {
        return;
    }
    const QString text = fMeasurements->item(row, column)->text().trimmed();
    const std::optional<double> value = NumberOf(text);
    const int index = Selection()[static_cast<std::size_t>(row)];
    TrendLimit& limit = fLimits[index];
    if (text.isEmpty() || value) {
        (column == kColumnLower ? limit.Lower : limit.Upper) = value;
    }
    fChart->SetLimit(static_cast<std::size_t>(row), limit);
    ShowMeasurements();
}

void TrendTab::SetLimits(std::map<int, TrendLimit> limits) {
    fLimits = std::move(limits);
    SelectionChanged();
}

std::vector<int> TrendTab::Selection() const {
    std::vector<int> indices;
    for (int t = 0; t < fList->topLevelItemCount(); ++t) {
        const QTreeWidgetItem* table = fList->topLevelItem(t);
        for (int q = 0; q < table->childCount(); ++q) {
            if (table->child(q)->checkState(0) == Qt::Checked) {
                indices.push_back(table->child(q)->data(0, kIndexRole).toInt());
            }
        }
    }
    return indices;
}

void TrendTab::SetSelection(const std::vector<int>& indices) {
    fFilling = true;
    for (int t = 0; t < fList->topLevelItemCount(); ++t) {
        QTreeWidgetItem* table = fList->topLevelItem(t);
        for (int q = 0; q < table->childCount(); ++q) {
            QTreeWidgetItem* item = table->child(q);
            const bool ticked = std::find(indices.begin(), indices.end(),
                                          item->data(0, kIndexRole).toInt()) != indices.end();
            item->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
        }
    }
    fFilling = false;
    SelectionChanged();
}

// A newly ticked quantity starts its history now.
void TrendTab::SelectionChanged() {
    if (fFilling) {
        return;
    }
    const std::vector<int> selection = Selection();
    fColours.Assign(selection);
    std::vector<TrendChart::Line> lines;
    for (const int index : selection) {
        const TrendQuantity& quantity = TrendQuantity::At(index);
        TrendSeries& series = fHistory[index];
        series.SetCapacity(fCapacity);
        lines.push_back(
            {&series, quantity.Name(), quantity.Unit(), fColours.ColourOf(index), fLimits[index]});
    }
    fChart->SetLines(std::move(lines));
}

template <typename Add> void TrendTab::AddToBlock(RegisterBlock block, Add add) {
    for (const int index : Selection()) {
        if (TrendQuantity::At(index).Row->Block == block) {
            add(index, fHistory[index]);
        }
    }
    fChart->Refresh();
}

void TrendTab::AddBlock(double time, RegisterBlock block, const ModbusRegisters& registers) {
    AddToBlock(block, [&](int index, TrendSeries& series) {
        const std::optional<double> value = registers.Value(TrendQuantity::At(index).Row->Id);
        series.Append(time, value.value_or(std::numeric_limits<double>::quiet_NaN()));
    });
}

void TrendTab::AddGap(double time, RegisterBlock block) {
    AddToBlock(block, [time](int, TrendSeries& series) {
        series.Append(time, std::numeric_limits<double>::quiet_NaN());
    });
}

void TrendTab::BlockFailed(RegisterBlock block) {
    AddGap(NowSeconds(), block);
}

QSize TrendTab::PictureSize() const {
    return fPictureSize->currentData().toSize();
}

// A size that is not offered is added to the list.
void TrendTab::SetPictureSize(QSize size) {
    if (size.width() < kSmallestPicture.width() || size.height() < kSmallestPicture.height()) {
        return;
    }
    int found = fPictureSize->findData(size);
    if (found < 0) {
        fPictureSize->addItem(QString("%1 x %2").arg(size.width()).arg(size.height()), size);
        found = fPictureSize->count() - 1;
    }
    fPictureSize->setCurrentIndex(found);
}

void TrendTab::SetCapacity(std::size_t readings) {
    fCapacity = std::max<std::size_t>(readings, 1000);
    for (auto& [index, series] : fHistory) {
        series.SetCapacity(fCapacity);
    }
    const QString count = QLocale().toString(static_cast<qulonglong>(fCapacity));
    fCapacityLabel->setText("History: " + count + " readings");
    fCapacityLabel->setToolTip("Keeps the newest " + count + " readings of each line");
}

void TrendTab::RunStarted() {
    AddBreak(NowSeconds());
}

void TrendTab::AddBreak(double time) {
    for (auto& [index, series] : fHistory) {
        if (series.Size() > 0) {
            series.Append(time, std::numeric_limits<double>::quiet_NaN());
        }
    }
}

std::vector<Quantity> TrendTab::TickedQuantities() const {
    std::vector<Quantity> quantities;
    for (const int index : Selection()) {
        quantities.push_back(TrendQuantity::At(index).Row->Id);
    }
    return quantities;
}

void TrendTab::LoadRecording(const RecordedRun& run) {
    const bool any = std::any_of(fHistory.begin(), fHistory.end(),
                                 [](const auto& entry) { return entry.second.Size() > 0; });
    if (any && fAsk && !fAsk(this, "Replace the history of the trend with the recording?")) {
        return;
    }
    for (auto& [index, series] : fHistory) {
        series.Clear();
    }
    for (const int index : Selection()) {
        FillWithBreaks(fHistory[index], run.Readings(TrendQuantity::At(index).Row->Id));
    }
    fChart->ResetView();
    fChart->FitAll();
}

void TrendTab::Clear() {
    if (fAsk && !fAsk(this, "Forget the whole history of the trend?")) {
        return;
    }
    for (auto& [index, series] : fHistory) {
        series.Clear();
    }
    fChart->ResetView();
}

const TrendSeries* TrendTab::History(int index) const {
    const auto found = fHistory.find(index);
    return found == fHistory.end() ? nullptr : &found->second;
}

std::string TrendTab::Csv(CsvSpan span) const {
    const bool whole = span == CsvSpan::WholeHistory;
    const std::vector<int> selection = Selection();
    std::vector<std::string> header = {"Time"};
    std::map<double, std::vector<std::string>> rows;
    for (std::size_t column = 0; column < selection.size(); ++column) {
        const int index = selection[column];
        const TrendQuantity& quantity = TrendQuantity::At(index);
        header.push_back((quantity.Name() +
                          (quantity.Unit().isEmpty() ? QString() : " [" + quantity.Unit() + "]"))
                             .toStdString());
        const TrendSeries* series = History(index);
        for (std::size_t k = 0; series != nullptr && k < series->Size(); ++k) {
            const double time = series->TimeAt(k);
            const bool inView = time >= fChart->From() && time <= fChart->To();
            if ((!whole && !inView) || std::isnan(series->ValueAt(k))) {
                continue;
            }
            std::vector<std::string>& row = rows[time];
            row.resize(selection.size());
            row[column] = FormatGeneralFloat(series->ValueAt(k), ".");
        }
    }
    std::string text = CsvLine(header);
    for (auto& [time, cells] : rows) {
        cells.insert(cells.begin(), RunRecord::TimeText(TimePoint(time)));
        text += CsvLine(cells);
    }
    return text;
}

} // namespace kalvo
