#include "trend/trend_chart.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <optional>
#include <qcustomplot.h>

namespace kalvo {

namespace {

constexpr double kPanShare = 0.1;
constexpr double kZoomFactor = 1.5;
constexpr std::size_t kDotsBelow = 60;
constexpr double kDefaultSpanSeconds = 120;
constexpr int kMinimumDigits = 3;
constexpr int kMaximumDigits = 15;
constexpr int kPixelsPerTimeTick = 110;
constexpr int kSnapPixels = 8;
constexpr int kClickSlack = 3;
constexpr std::size_t kMostValueAxes = 4;
// The legend under the plot shows this many lines; more scroll.
constexpr int kLegendLines = 3;

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
    layout->setSpacing(0);
    layout->addWidget(fPlot, 1);
    layout->addWidget(BuildLegend());
    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeFormat("HH:mm:ss");
    fPlot->xAxis->setTicker(ticker);
    fPlot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    fPlot->axisRect()->setRangeDrag(Qt::Horizontal);
    fPlot->axisRect()->setRangeZoom(Qt::Horizontal);
    // On screen the legend is a widget under the plot that scrolls; the plot's own legend,
    // in columns under it, is only laid out for a saved picture.
    fPicturedLegend = new QCPLayoutGrid;
    fPicturedLegend->addElement(0, 0, fPlot->legend);
    fPlot->legend->setVisible(false);
    fPlot->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    fPlot->legend->setWrap(3);
    fPlot->legend->setBorderPen(Qt::NoPen);
    fPlot->setNoAntialiasingOnDrag(true);
    FollowThePalette();
    fPlot->yAxis->setVisible(false);
    fCursorLine = new QCPItemStraightLine(fPlot);
    fCursorLine->setPen(QPen(Qt::gray, 1, Qt::DashLine));
    fCursorLine->setVisible(false);
    for (const CursorId id : {CursorA, CursorB}) {
        fCursorItems[id] = new QCPItemStraightLine(fPlot);
        fCursorItems[id]->setPen(QPen(palette().color(QPalette::Text), 1.5));
        fCursorItems[id]->setVisible(false);
        fCursorLabels[id] = new QCPItemText(fPlot);
        fCursorLabels[id]->setText(id == CursorA ? "A" : "B");
        fCursorLabels[id]->setColor(palette().color(QPalette::Text));
        fCursorLabels[id]->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        fCursorLabels[id]->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
        fCursorLabels[id]->setVisible(false);
    }
    // A box over the plot, not an item of it: it is never part of an exported picture.
    fReadOut = new QLabel(fPlot);
    fReadOut->setObjectName("TrendReadOut");
    fReadOut->setTextFormat(Qt::RichText);
    fReadOut->setAttribute(Qt::WA_TransparentForMouseEvents);
    fReadOut->setStyleSheet("QLabel { background: rgba(255, 255, 255, 235); color: black;"
                            " border: 1px solid gray; padding: 3px; }");
    fReadOut->hide();
    fPlot->installEventFilter(this);
    fPlot->setMouseTracking(true);
    connect(fPlot->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this] { UserRangeChanged(); });
    connect(fPlot, &QCustomPlot::mouseMove, this,
            [this](QMouseEvent* event) { ShowCursor(event->pos().x()); });
    connect(fPlot, &QCustomPlot::mousePress, this,
            [this](QMouseEvent* event) { fPressedAt = event->pos(); });
    connect(fPlot, &QCustomPlot::mouseRelease, this, &TrendChart::MouseReleased);
    const double now = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000;
    SetRange(now - fSpanSeconds, now);
}

// The picture's legend goes back into the plot's layout, which owns and deletes it with the
// plot's own legend inside.
TrendChart::~TrendChart() {
    fPlot->plotLayout()->addElement(fPlot->plotLayout()->rowCount(), 0, fPicturedLegend);
}

void TrendChart::SetLines(std::vector<Line> lines) {
    RemoveLimitItems();
    fManualAxes.clear();
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
    HideCursor();
    fLines = std::move(lines);
    fColumns.assign(fLines.size(), TrendColumns{});
    // Axes beyond a few leave no room for the plot: then every line is normalised instead.
    std::set<QString> units;
    for (const Line& line : fLines) {
        units.insert(line.Unit);
    }
    fScaledTogether = fNormalised || units.size() > kMostValueAxes;
    for (std::size_t i = 0; i < fLines.size(); ++i) {
        QCPGraph* graph = fPlot->addGraph(fPlot->xAxis, AxisFor(fLines[i].Unit));
        graph->setName(fLines[i].Name +
                       (fLines[i].Unit.isEmpty() ? "" : " [" + fLines[i].Unit + "]"));
        graph->setPen(QPen(fLines[i].Colour, 1));
        graph->setAdaptiveSampling(false);
        fGraphs.push_back(graph);
    }
    KeyAxesToLines();
    DrawLimits();
    ShowLegend();
    Redraw();
}

void TrendChart::SetLimit(std::size_t line, TrendLimit limit) {
    fLines.at(line).Limit = limit;
    DrawLimits();
    fPlot->replot(QCustomPlot::rpQueuedReplot);
    emit measurementsChanged();
}

void TrendChart::RemoveLimitItems() {
    for (QCPItemStraightLine* item : fLimitItems) {
        fPlot->removeItem(item);
    }
    fLimitItems.clear();
}

// A limit is a dashed line in its quantity's colour, on its axis; normalised, a limit has
// no place and is not drawn.
void TrendChart::DrawLimits() {
    RemoveLimitItems();
    for (std::size_t i = 0; i < fLines.size() && !fScaledTogether; ++i) {
        for (const std::optional<double>& value : {fLines[i].Limit.Lower, fLines[i].Limit.Upper}) {
            if (!value) {
                continue;
            }
            auto* item = new QCPItemStraightLine(fPlot);
            for (QCPItemPosition* point : {item->point1, item->point2}) {
                point->setAxes(fPlot->xAxis, fGraphs[i]->valueAxis());
            }
            item->point1->setCoords(0, *value);
            item->point2->setCoords(1, *value);
            item->setPen(QPen(fLines[i].Colour, 1, Qt::DashLine));
            fLimitItems.push_back(item);
        }
    }
}

// The chart in the window's colours: a dark theme gets a dark chart, not a white box.
void TrendChart::FollowThePalette() {
    const QColor base = palette().color(QPalette::Base);
    const QColor text = palette().color(QPalette::Text);
    QColor grid = palette().color(QPalette::Mid);
    fPlot->setBackground(base);
    fPlot->legend->setBrush(base);
    fPlot->legend->setTextColor(text);
    for (QCPAxis* axis : fPlot->axisRect()->axes()) {
        for (const auto& pen :
             {&QCPAxis::setBasePen, &QCPAxis::setTickPen, &QCPAxis::setSubTickPen}) {
            (axis->*pen)(QPen(text));
        }
        axis->setTickLabelColor(text);
        axis->setLabelColor(text);
        axis->grid()->setPen(QPen(grid, 0, Qt::DotLine));
    }
}

// An axis that carries one line takes that line's colour, so the eye finds its scale; an
// axis shared by several stays in the text colour.
void TrendChart::KeyAxesToLines() {
    const QColor text = palette().color(QPalette::Text);
    for (auto& [unit, axis] : fAxes) {
        std::vector<QCPGraph*> carried;
        std::copy_if(fGraphs.begin(), fGraphs.end(), std::back_inserter(carried),
                     [axis = axis](QCPGraph* graph) { return graph->valueAxis() == axis; });
        const QColor colour = carried.size() == 1 ? carried.front()->pen().color() : text;
        // A line without a unit names its axis itself.
        if (unit.isEmpty() && !fScaledTogether) {
            axis->setLabel(carried.size() == 1 ? carried.front()->name() : QString("no unit"));
        }
        axis->setBasePen(QPen(colour));
        axis->setTickPen(QPen(colour));
        axis->setSubTickPen(QPen(colour));
        axis->setTickLabelColor(colour);
        axis->setLabelColor(colour);
    }
}

// The first unit takes the left axis, the second the right one, more stack up on the right;
// normalised, every line shares the left axis from 0 to 1.
QCPAxis* TrendChart::AxisFor(const QString& unit) {
    const QString key = fScaledTogether ? QString("normalised") : unit;
    if (const auto found = fAxes.find(key); found != fAxes.end()) {
        return found->second;
    }
    QCPAxis* axis = fAxes.empty()       ? fPlot->yAxis
                    : fAxes.size() == 1 ? fPlot->yAxis2
                                        : fPlot->axisRect()->addAxis(QCPAxis::atRight);
    axis->setVisible(true);
    axis->setLabel(!fScaledTogether ? unit
                   : fNormalised
                       ? QString("normalised (0 = lowest, 1 = highest in view)")
                       : QString("normalised: more than %1 units shown").arg(kMostValueAxes));
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

// The read-out under a still pointer follows what the view shows now. A chart nobody sees
// (another tab is shown) is brought up to date when it is shown again.
void TrendChart::Refresh() {
    if (!isVisible()) {
        fRefreshWhenShown = true;
        return;
    }
    // Both blocks of a cycle, or a burst of readings, make one redraw.
    if (!fRefreshQueued) {
        fRefreshQueued = true;
        QMetaObject::invokeMethod(this, &TrendChart::RefreshNow, Qt::QueuedConnection);
    }
}

void TrendChart::RefreshNow() {
    fRefreshQueued = false;
    if (fFollowing && LatestTime() > 0) {
        fSpanSeconds = std::max(1.0, To() - From());
        SetRange(LatestTime() - fSpanSeconds, LatestTime());
    }
    Redraw();
    if (fReadOut->isVisible()) {
        ShowCursor(fPlot->mapFromGlobal(QCursor::pos()).x());
    }
}

void TrendChart::SetFollowing(bool on) {
    if (on == fFollowing) {
        return;
    }
    fFollowing = on;
    emit followingChanged(on);
    if (on) {
        RefreshNow();
    }
}

void TrendChart::SetNormalised(bool on) {
    fNormalised = on;
    SetLines(fLines);
}

void TrendChart::FitAll() {
    fManualAxes.clear();
    const double earliest = EarliestTime();
    const double latest = LatestTime();
    if (latest > earliest) {
        SetFollowing(false);
        SetRange(earliest, latest);
        Redraw();
    }
}

void TrendChart::ResetView() {
    HideCursor();
    ClearCursors();
    fManualAxes.clear();
    fSpanSeconds = kDefaultSpanSeconds;
    const double now = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000;
    SetRange(now - fSpanSeconds, now);
    fFollowing = false;
    SetFollowing(true);
    Redraw();
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
    // A time label is about a hundred pixels wide: no more ticks than fit side by side.
    fPlot->xAxis->ticker()->setTickCount(std::clamp(columns / kPixelsPerTimeTick, 2, 6));
    const double from = From();
    const double to = To();
    for (std::size_t i = 0; i < fLines.size(); ++i) {
        const std::vector<TrendSeries::Point>& points =
            fColumns[i].Points(*fLines[i].Series, from, to, columns);
        double lowest = 0;
        double highest = 1;
        const bool scaled = fScaledTogether && fLines[i].Series->Range(from, to, lowest, highest) &&
                            highest > lowest;
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
    emit measurementsChanged();
}

void TrendChart::ScaleValueAxes() {
    for (auto& [unit, axis] : fAxes) {
        if (fManualAxes.contains(axis)) {
            continue;
        }
        if (fScaledTogether) {
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
            ShowDigitsTheTicksNeed(axis);
        }
    }
}

// Enough significant digits that neighbouring tick labels differ: those before the point of
// the largest value in view and those after it that the tick step needs. A totaliser of
// 12346.9 that moves by a thousandth would otherwise read "12346.9" at every tick.
void TrendChart::ShowDigitsTheTicksNeed(QCPAxis* axis) {
    constexpr int kTicks = 5;
    const QCPRange range = axis->range();
    const double magnitude = std::max(std::abs(range.lower), std::abs(range.upper));
    const double step = range.size() / kTicks;
    if (!(magnitude > 0) || !(step > 0)) {
        return;
    }
    const int whole = static_cast<int>(std::floor(std::log10(magnitude))) + 1;
    const int fraction = static_cast<int>(std::ceil(-std::log10(step))) + 1;
    axis->setNumberPrecision(std::clamp(whole + fraction, kMinimumDigits, kMaximumDigits));
}

std::optional<double> TrendChart::NearestSampleTime(double time, double tolerance) const {
    std::optional<double> at;
    for (const Line& line : fLines) {
        const std::size_t index = line.Series->SampleNear(time, tolerance);
        if (index < line.Series->Size() &&
            (!at || std::abs(line.Series->TimeAt(index) - time) < std::abs(*at - time))) {
            at = line.Series->TimeAt(index);
        }
    }
    return at;
}

QString TrendChart::CursorText(double time, double tolerance) const {
    const std::optional<double> at = NearestSampleTime(time, tolerance);
    if (!at) {
        return {};
    }
    QStringList rows = {"<b>" + TimeText(*at) + "</b>"};
    for (const Line& line : fLines) {
        const std::size_t index = line.Series->SampleNear(*at, tolerance);
        if (index >= line.Series->Size()) {
            continue;
        }
        rows << QString("<span style=\"color:%1\">&#9632;</span> %2: %3%4")
                    .arg(line.Colour.name(), line.Name.toHtmlEscaped(),
                         QString::number(line.Series->ValueAt(index), 'g', 10),
                         line.Unit.isEmpty() ? QString() : " " + line.Unit.toHtmlEscaped());
    }
    return rows.join("<br>");
}

bool TrendChart::SavePicture(const QString& path, QSize size, const QString& title) {
    HideCursor();
    QFont bold = font();
    bold.setBold(true);
    QCPLayoutGrid& layout = *fPlot->plotLayout();
    auto* heading = new QCPTextElement(fPlot, title, bold);
    layout.insertRow(0);
    layout.addElement(0, 0, heading);
    layout.addElement(2, 0, fPicturedLegend);
    layout.setRowStretchFactors({0.001, 1, 0.001});
    fPlot->legend->setVisible(true);
    const bool saved = fPlot->savePng(path, size.width(), size.height());
    fPlot->legend->setVisible(false);
    layout.take(fPicturedLegend);
    layout.remove(heading);
    layout.simplify();
    fPlot->replot(QCustomPlot::rpQueuedReplot);
    return saved;
}

QWidget* TrendChart::BuildLegend() {
    fLegend = new QLabel;
    fLegend->setObjectName("TrendLegend");
    fLegend->setTextFormat(Qt::RichText);
    fLegend->setWordWrap(true);
    fLegend->setContentsMargins(6, 2, 6, 2);
    auto* scroll = new QScrollArea;
    scroll->setObjectName("TrendLegendArea");
    scroll->setWidget(fLegend);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setMaximumHeight(kLegendLines * (fontMetrics().lineSpacing() + 3) + 4);
    return scroll;
}

// Each line's colour key and whole name; an entry wraps to the next line as a whole.
void TrendChart::ShowLegend() {
    QStringList entries;
    for (const Line& line : fLines) {
        const QString name = line.Name + (line.Unit.isEmpty() ? QString() : " [" + line.Unit + "]");
        entries << QString("<span style=\"color:%1\">&#9632;</span>&nbsp;%2")
                       .arg(line.Colour.name(), name.toHtmlEscaped().replace(' ', "&nbsp;"));
    }
    fLegend->setText(entries.join(" &nbsp; "));
    fLegend->parentWidget()->parentWidget()->setVisible(!fLines.empty());
}

QString TrendChart::ShownReadOut() const {
    return fReadOut->isVisible() ? fReadOut->text() : QString();
}

// Two pixels either side of a lone sample still count as pointing at it.
void TrendChart::ShowCursor(int x) {
    const double time = fPlot->xAxis->pixelToCoord(x);
    const double tolerance = std::abs(fPlot->xAxis->pixelToCoord(x + 2) - time);
    const QString text = CursorText(time, tolerance);
    if (text.isEmpty()) {
        HideCursor();
        return;
    }
    fCursorLine->point1->setCoords(time, 0);
    fCursorLine->point2->setCoords(time, 1);
    fCursorLine->setVisible(true);
    fReadOut->setText(text);
    fReadOut->adjustSize();
    const QRect plot = fPlot->axisRect()->rect();
    const int left =
        x + 12 + fReadOut->width() <= plot.right() ? x + 12 : x - 12 - fReadOut->width();
    fReadOut->move(std::max(plot.left(), left), plot.top() + 4);
    fReadOut->show();
    fPlot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendChart::HideCursor() {
    if (fReadOut->isVisible() || fCursorLine->visible()) {
        fReadOut->hide();
        fCursorLine->setVisible(false);
        fPlot->replot(QCustomPlot::rpQueuedReplot);
    }
}

void TrendChart::PlaceCursor(CursorId cursor, double time) {
    const double tolerance =
        std::abs(fPlot->xAxis->pixelToCoord(kSnapPixels) - fPlot->xAxis->pixelToCoord(0));
    fCursors[cursor] = NearestSampleTime(time, tolerance).value_or(time);
    fLastCursor = cursor;
    DrawCursors();
    emit measurementsChanged();
}

void TrendChart::ClearCursors() {
    fCursors = {};
    DrawCursors();
    emit measurementsChanged();
}

void TrendChart::DrawCursors() {
    for (const CursorId id : {CursorA, CursorB}) {
        const std::optional<double> time = fCursors[id];
        fCursorItems[id]->setVisible(time.has_value());
        fCursorLabels[id]->setVisible(time.has_value());
        if (time) {
            fCursorItems[id]->point1->setCoords(*time, 0);
            fCursorItems[id]->point2->setCoords(*time, 1);
            fCursorLabels[id]->position->setCoords(*time, 0);
        }
    }
    fPlot->replot(QCustomPlot::rpQueuedReplot);
}

// The next or previous reading of any line, from where the cursor stands (or the middle).
void TrendChart::StepCursor(int direction) {
    const double from = fCursors[fLastCursor].value_or((From() + To()) / 2);
    std::optional<double> best;
    for (const Line& line : fLines) {
        const TrendSeries& series = *line.Series;
        std::size_t i = series.IndexAt(from);
        if (direction > 0) {
            i = i == series.Size() ? 0 : i + 1;
        } else if (i < series.Size() && series.TimeAt(i) >= from) {
            i = i == 0 ? series.Size() : i - 1;
        }
        while (i < series.Size() && std::isnan(series.ValueAt(i))) {
            i = direction > 0 ? i + 1 : (i == 0 ? series.Size() : i - 1);
        }
        if (i < series.Size() &&
            (!best || std::abs(series.TimeAt(i) - from) < std::abs(*best - from))) {
            best = series.TimeAt(i);
        }
    }
    if (best) {
        PlaceCursor(fLastCursor, *best);
    }
}

double TrendChart::PointerTime() const {
    const QPoint pointer = fPlot->mapFromGlobal(QCursor::pos());
    return fPlot->axisRect()->rect().contains(pointer) ? fPlot->xAxis->pixelToCoord(pointer.x())
                                                       : (From() + To()) / 2;
}

// A click that did not drag places cursor A; with Shift, cursor B.
void TrendChart::MouseReleased(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton ||
        (event->pos() - fPressedAt).manhattanLength() > kClickSlack ||
        !fPlot->axisRect()->rect().contains(event->pos())) {
        return;
    }
    PlaceCursor(event->modifiers().testFlag(Qt::ShiftModifier) ? CursorB : CursorA,
                fPlot->xAxis->pixelToCoord(event->pos().x()));
}

// The wheel over a value axis zooms it about the pointer, with Shift pans it; from then on
// the axis keeps the user's range until Fit all.
bool TrendChart::ZoomValueAxis(QWheelEvent* event) {
    const QPointF at = event->position();
    for (auto& [unit, axis] : fAxes) {
        if (axis->selectTest(at, false) < 0) {
            continue;
        }
        const double steps = event->angleDelta().y() / 120.0;
        if (event->modifiers().testFlag(Qt::ShiftModifier)) {
            axis->moveRange(axis->range().size() * kPanShare * steps);
        } else {
            axis->scaleRange(std::pow(kZoomFactor, -steps), axis->pixelToCoord(at.y()));
        }
        fManualAxes.insert(axis);
        ShowDigitsTheTicksNeed(axis);
        fPlot->replot(QCustomPlot::rpQueuedReplot);
        return true;
    }
    return false;
}

void TrendChart::AutoScaleValueAxes() {
    fManualAxes.clear();
    Redraw();
}

bool TrendChart::eventFilter(QObject* watched, QEvent* event) {
    if (watched == fPlot && event->type() == QEvent::Leave) {
        HideCursor();
    }
    if (watched == fPlot && event->type() == QEvent::Wheel &&
        ZoomValueAxis(static_cast<QWheelEvent*>(event))) {
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TrendChart::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (fRefreshWhenShown) {
        fRefreshWhenShown = false;
        RefreshNow();
    }
}

void TrendChart::hideEvent(QHideEvent* event) {
    HideCursor();
    QWidget::hideEvent(event);
}

void TrendChart::keyPressEvent(QKeyEvent* event) {
    const double span = To() - From();
    const double middle = (From() + To()) / 2;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
        if (event->modifiers().testFlag(Qt::ShiftModifier)) {
            StepCursor(event->key() == Qt::Key_Left ? -1 : 1);
            break;
        }
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
    case Qt::Key_A:
    case Qt::Key_B:
        PlaceCursor(event->key() == Qt::Key_A ? CursorA : CursorB, PointerTime());
        break;
    case Qt::Key_Delete:
        ClearCursors();
        break;
    case Qt::Key_End:
        SetFollowing(true);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace kalvo
