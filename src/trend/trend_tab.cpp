#include "trend/trend_tab.h"

#include "registers/csv_text.h"
#include "registers/register_map.h"
#include "registers/run_record.h"
#include "registers/value_text.h"
#include "trend/trend_quantity.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QSplitter>
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

} // namespace

TrendTab::TrendTab(QWidget* parent)
    : QWidget(parent), fList(new QTreeWidget), fChart(new TrendChart) {
    setObjectName("TrendTab");
    fList->setObjectName("TrendQuantities");
    fList->setAccessibleName("Trend quantities");
    fList->setHeaderLabels({"Quantity", "Unit"});
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
                                         {quantity.Name(), quantity.Unit()});
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
    row->addStretch(1);
    fCapacityLabel = new QLabel;
    fCapacityLabel->setObjectName("TrendCapacity");
    row->addWidget(fCapacityLabel);
    SetCapacity(fCapacity);
    return bar;
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
        lines.push_back({&series, quantity.Name(), quantity.Unit(), fColours.ColourOf(index)});
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

void TrendTab::BlockRead(RegisterBlock block, const ModbusRegisters& registers) {
    AddBlock(NowSeconds(), block, registers);
}

void TrendTab::BlockFailed(RegisterBlock block) {
    AddGap(NowSeconds(), block);
}

void TrendTab::SetCapacity(std::size_t readings) {
    fCapacity = std::max<std::size_t>(readings, 1000);
    for (auto& [index, series] : fHistory) {
        series.SetCapacity(fCapacity);
    }
    fCapacityLabel->setText(QString("Keeps the newest %1 readings of each line")
                                .arg(QLocale().toString(static_cast<qulonglong>(fCapacity))));
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

std::string TrendTab::VisibleCsv() const {
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
            if (time < fChart->From() || time > fChart->To() || std::isnan(series->ValueAt(k))) {
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
