#include "trend/trend_chart.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <cmath>
#include <qcustomplot.h>

namespace kalvo {

namespace {

const QColor kColors[] = {QColor(0xD6, 0x28, 0x28), QColor(0x2A, 0x9D, 0x3F),
                          QColor(0x1F, 0x5F, 0xD6), QColor(0xE0, 0x8A, 0x00),
                          QColor(0x8E, 0x44, 0xAD), QColor(0x00, 0x99, 0x99),
                          QColor(0x66, 0x66, 0x66), QColor(0xC0, 0x39, 0x8B)};
constexpr double kPanShare = 0.1;
constexpr double kZoomFactor = 1.5;
constexpr std::size_t kDotsBelow = 60;

QString TimeText(double time) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(time * 1000)))
        .toString("HH:mm:ss.zzz");
}

} // namespace

TrendChart::TrendChart(QWidget* parent) : QWidget(parent), fPlot(new QCustomPlot(this)) {
    setObjectName("TrendChart");
    setAccessibleName("Trend chart");
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(fPlot);
    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeFormat("HH:mm:ss");
    fPlot->xAxis->setTicker(ticker);
    fPlot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    fPlot->axisRect()->setRangeDrag(Qt::Horizontal);
    fPlot->axisRect()->setRangeZoom(Qt::Horizontal);
    // The legend goes under the chart, in columns, so it never hides a line.
    auto* legendRow = new QCPLayoutGrid;
    fPlot->plotLayout()->addElement(1, 0, legendRow);
    fPlot->plotLayout()->setRowStretchFactor(1, 0.001);
    fPlot->legend->setVisible(true);
    legendRow->addElement(0, 0, fPlot->legend);
    fPlot->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    fPlot->legend->setWrap(3);
    fPlot->legend->setBorderPen(Qt::NoPen);
    fPlot->setNoAntialiasingOnDrag(true);
    fPlot->yAxis->setVisible(false);
    fCursorLine = new QCPItemStraightLine(fPlot);
    fCursorLine->setPen(QPen(Qt::gray, 1, Qt::DashLine));
    fCursorLine->setVisible(false);
    fCursorLabel = new QCPItemText(fPlot);
    fCursorLabel->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    fCursorLabel->position->setType(QCPItemPosition::ptAxisRectRatio);
    fCursorLabel->position->setCoords(0.01, 0.01);
    fCursorLabel->setBrush(QColor(255, 255, 255, 220));
    fCursorLabel->setPadding(QMargins(4, 2, 4, 2));
    fCursorLabel->setVisible(false);
    fPlot->setMouseTracking(true);
    connect(fPlot->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this] { UserRangeChanged(); });
    connect(fPlot, &QCustomPlot::mouseMove, this,
            [this](QMouseEvent* event) { ShowCursor(event->pos().x()); });
    const double now = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000;
    SetRange(now - fSpanSeconds, now);
}

void TrendChart::SetLines(std::vector<Line> lines) {
    for (QCPGraph* graph : fGraphs) {
        fPlot->removeGraph(graph);
    }
    fGraphs.clear();
    for (auto& [unit, axis] : fAxes) {
        if (axis != fPlot->yAxis && axis != fPlot->yAxis2) {
            fPlot->axisRect()->removeAxis(axis);
        }
    }
    fAxes.clear();
    fPlot->yAxis->setVisible(false);
    fPlot->yAxis2->setVisible(false);
    fLines = std::move(lines);
    for (std::size_t i = 0; i < fLines.size(); ++i) {
        QCPGraph* graph = fPlot->addGraph(fPlot->xAxis, AxisFor(fLines[i].Unit));
        graph->setName(fLines[i].Name +
                       (fLines[i].Unit.isEmpty() ? "" : " [" + fLines[i].Unit + "]"));
        graph->setPen(QPen(kColors[i % std::size(kColors)], 1));
        graph->setAdaptiveSampling(false);
        fGraphs.push_back(graph);
    }
    Redraw();
}

// The first unit takes the left axis, the second the right one, more stack up on the right;
// normalised, every line shares the left axis from 0 to 1.
QCPAxis* TrendChart::AxisFor(const QString& unit) {
    const QString key = fNormalised ? QString("normalised") : unit;
    if (const auto found = fAxes.find(key); found != fAxes.end()) {
        return found->second;
    }
    QCPAxis* axis = fAxes.empty()       ? fPlot->yAxis
                    : fAxes.size() == 1 ? fPlot->yAxis2
                                        : fPlot->axisRect()->addAxis(QCPAxis::atRight);
    axis->setVisible(true);
    axis->setLabel(fNormalised ? QString("normalised (0 = lowest, 1 = highest in view)") : unit);
    fAxes[key] = axis;
    return axis;
}

double TrendChart::From() const {
    return fPlot->xAxis->range().lower;
}

double TrendChart::To() const {
    return fPlot->xAxis->range().upper;
}

void TrendChart::SetRange(double from, double to) {
    fSettingRange = true;
    fPlot->xAxis->setRange(from, to);
    fSettingRange = false;
}

double TrendChart::LatestTime() const {
    double latest = 0;
    for (const Line& line : fLines) {
        latest = std::max(latest, line.Series->LastTime());
    }
    return latest;
}

double TrendChart::EarliestTime() const {
    double earliest = 0;
    for (const Line& line : fLines) {
        if (line.Series->Size() > 0 && (earliest == 0 || line.Series->FirstTime() < earliest)) {
            earliest = line.Series->FirstTime();
        }
    }
    return earliest;
}

void TrendChart::Refresh() {
    if (fFollowing && LatestTime() > 0) {
        fSpanSeconds = std::max(1.0, To() - From());
        SetRange(LatestTime() - fSpanSeconds, LatestTime());
    }
    Redraw();
}

void TrendChart::SetFollowing(bool on) {
    if (on == fFollowing) {
        return;
    }
    fFollowing = on;
    emit followingChanged(on);
    if (on) {
        Refresh();
    }
}

void TrendChart::SetNormalised(bool on) {
    fNormalised = on;
    SetLines(fLines);
}

void TrendChart::FitAll() {
    const double earliest = EarliestTime();
    const double latest = LatestTime();
    if (latest > earliest) {
        SetFollowing(false);
        SetRange(earliest, latest);
        Redraw();
    }
}

void TrendChart::UserRangeChanged() {
    if (fSettingRange) {
        return;
    }
    SetFollowing(false);
    Redraw();
}

void TrendChart::Redraw() {
    const int columns = std::max(1, fPlot->axisRect()->width());
    const double from = From();
    const double to = To();
    for (std::size_t i = 0; i < fLines.size(); ++i) {
        const std::vector<TrendSeries::Point> points =
            fLines[i].Series->Decimated(from, to, columns);
        double lowest = 0;
        double highest = 1;
        const bool scaled =
            fNormalised && fLines[i].Series->Range(from, to, lowest, highest) && highest > lowest;
        QVector<double> keys(static_cast<qsizetype>(points.size()));
        QVector<double> values(static_cast<qsizetype>(points.size()));
        for (std::size_t k = 0; k < points.size(); ++k) {
            keys[static_cast<qsizetype>(k)] = points[k].Time;
            values[static_cast<qsizetype>(k)] =
                scaled ? (points[k].Value - lowest) / (highest - lowest) : points[k].Value;
        }
        // A line that fills its columns is drawn without antialiasing: several times faster,
        // and at one point pair per pixel column it looks the same.
        fGraphs[i]->setAntialiased(points.size() < static_cast<std::size_t>(columns));
        // A few readings show as dots too: a single one would otherwise not show at all.
        fGraphs[i]->setScatterStyle(points.size() < kDotsBelow
                                        ? QCPScatterStyle(QCPScatterStyle::ssDisc, 4)
                                        : QCPScatterStyle());
        fGraphs[i]->setData(keys, values, true);
    }
    ScaleValueAxes();
    fPlot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendChart::ScaleValueAxes() {
    for (auto& [unit, axis] : fAxes) {
        if (fNormalised) {
            axis->setRange(-0.05, 1.05);
            continue;
        }
        bool found = false;
        QCPRange range;
        for (QCPGraph* graph : fGraphs) {
            if (graph->valueAxis() == axis) {
                bool ok = false;
                const QCPRange own = graph->getValueRange(ok, QCP::sdBoth, fPlot->xAxis->range());
                if (ok) {
                    range = found ? QCPRange(std::min(range.lower, own.lower),
                                             std::max(range.upper, own.upper))
                                  : own;
                    found = true;
                }
            }
        }
        if (found) {
            const double margin = std::max(1e-9, (range.upper - range.lower) * 0.05);
            axis->setRange(range.lower - margin, range.upper + margin);
        }
    }
}

QString TrendChart::CursorText(double time) const {
    QStringList parts = {TimeText(time)};
    for (const Line& line : fLines) {
        const std::size_t index = line.Series->IndexAt(time);
        const double value = index < line.Series->Size() ? line.Series->ValueAt(index) : NAN;
        parts << line.Name + ": " +
                     (std::isnan(value) ? QString("-") : QString::number(value, 'g', 6)) +
                     (line.Unit.isEmpty() ? "" : " " + line.Unit);
    }
    return parts.join('\n');
}

void TrendChart::ShowCursor(int x) {
    const double time = fPlot->xAxis->pixelToCoord(x);
    fCursorLine->point1->setCoords(time, 0);
    fCursorLine->point2->setCoords(time, 1);
    fCursorLine->setVisible(true);
    fCursorLabel->setText(CursorText(time));
    fCursorLabel->setVisible(true);
    fPlot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendChart::keyPressEvent(QKeyEvent* event) {
    const double span = To() - From();
    const double middle = (From() + To()) / 2;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const double step = span * kPanShare * (event->key() == Qt::Key_Left ? -1 : 1);
        SetFollowing(false);
        SetRange(From() + step, To() + step);
        Redraw();
        break;
    }
    case Qt::Key_Plus:
    case Qt::Key_Minus: {
        const double half =
            span / 2 * (event->key() == Qt::Key_Plus ? 1 / kZoomFactor : kZoomFactor);
        SetFollowing(false);
        SetRange(middle - half, middle + half);
        Redraw();
        break;
    }
    case Qt::Key_Home:
        FitAll();
        break;
    case Qt::Key_End:
        SetFollowing(true);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace kalvo
