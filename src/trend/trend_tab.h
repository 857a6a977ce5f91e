#pragma once

#include "recording/recorded_run.h"
#include "registers/modbus_registers.h"
#include "trend/trend_chart.h"
#include "trend/trend_colours.h"
#include "trend/trend_series.h"

#include <QWidget>
#include <functional>
#include <map>
#include <vector>

class QComboBox;
class QLabel;
class QTableWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kalvo {

// The "Trend" tab: the quantities of the register map, grouped by table, each with a tick box,
// beside the time chart of the ticked ones and its controls (follow, normalised, fit all,
// clear). Each successful read adds a point to the ticked quantities of its block; a failed
// read adds a gap.
class TrendTab : public QWidget {
    Q_OBJECT

public:
    explicit TrendTab(QWidget* parent = nullptr);

    // The first registers of the ticked quantities.
    std::vector<int> Selection() const;
    void SetSelection(const std::vector<int>& indices);
    // `block`, read at `time` (seconds since the epoch).
    void AddBlock(double time, RegisterBlock block, const ModbusRegisters& registers);
    // A failed read of `block`: its lines break there.
    void AddGap(double time, RegisterBlock block);
    // AddGap at the present time.
    void BlockFailed(RegisterBlock block);
    // A new run starts: what it reads is not joined to what came before.
    void RunStarted();
    // Every line breaks at `time`.
    void AddBreak(double time);
    // Replaces the history of the ticked quantities with their readings in `run`, once `ask`
    // says yes when there is history, and shows it whole. A pause of more than a few
    // intervals between two readings (a failed read, a stopped Run) is drawn as a break.
    void LoadRecording(const RecordedRun& run);
    // The quantities a recording is read for: the ticked ones.
    std::vector<Quantity> TickedQuantities() const;
    // Forgets the history, once `ask` says yes, and follows again.
    void Clear();
    void SetAsk(std::function<bool(QWidget* parent, const QString& question)> ask) {
        fAsk = std::move(ask);
    }
    TrendColours& Colours() { return fColours; }
    // The limits set on quantities, by first register.
    const std::map<int, TrendLimit>& Limits() const { return fLimits; }
    void SetLimits(std::map<int, TrendLimit> limits);
    // How many readings each line keeps (the oldest go first).
    void SetCapacity(std::size_t readings);
    std::size_t Capacity() const { return fCapacity; }
    TrendChart* Chart() const { return fChart; }
    const TrendSeries* History(int index) const;
    enum class CsvSpan { View, WholeHistory };
    // The samples as CSV: a time column, then one column per ticked quantity.
    std::string Csv(CsvSpan span) const;
    // The size a saved picture of the chart has.
    QSize PictureSize() const;
    void SetPictureSize(QSize size);

signals:
    void openRecordingRequested();

private:
    QWidget* BuildControls();
    QWidget* BuildMeasurements();
    void ShowMeasurements();
    void LimitEdited(int row, int column);
    void SetMeasureCell(int row, int column, const QString& text, const QColor& key);
    void SelectionChanged();
    template <typename Add> void AddToBlock(RegisterBlock block, Add add);

    QTreeWidget* fList;
    TrendChart* fChart;
    QToolButton* fFollow = nullptr;
    std::map<int, TrendSeries> fHistory;
    TrendColours fColours;
    std::size_t fCapacity = TrendSeries::kDefaultCapacity;
    QLabel* fCapacityLabel = nullptr;
    QComboBox* fPictureSize = nullptr;
    QWidget* fMeasurePanel = nullptr;
    QLabel* fDeltaTime = nullptr;
    QTableWidget* fMeasurements = nullptr;
    std::map<int, TrendLimit> fLimits;
    std::function<bool(QWidget*, const QString&)> fAsk;
    bool fFilling = false;
};

} // namespace kalvo
