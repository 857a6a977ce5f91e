#pragma once

#include "trend/trend_columns.h"
#include "trend/trend_limit.h"
#include "trend/trend_series.h"

#include <QColor>
#include <QString>
#include <QWidget>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <vector>

class QCPAxis;
class QCPLayoutGrid;
class QCPGraph;
class QCPItemStraightLine;
class QCPItemText;
class QWheelEvent;
class QMouseEvent;
class QCustomPlot;
class QLabel;

namespace kalvo {

// The time chart of the trend: one line per followed quantity, one value axis per unit (or
// all on one normalised axis), a legend, and under the pointer the time and every value at
// it. While it follows, the newest minutes scroll in; dragging or zooming (mouse, or the
// arrow, +, - keys) pauses it, End follows again, Home fits the whole history. Every redraw
// reduces each line to one minimum and one maximum per pixel column of what is in view.
class TrendChart : public QWidget {
    Q_OBJECT

public:
    struct Line {
        const TrendSeries* Series;
        QString Name;
        QString Unit;
        QColor Colour;
        TrendLimit Limit;
    };
    enum CursorId { CursorA, CursorB };

    explicit TrendChart(QWidget* parent = nullptr);
    ~TrendChart() override;
    TrendChart(const TrendChart&) = delete;
    TrendChart& operator=(const TrendChart&) = delete;

    void SetLines(std::vector<Line> lines);
    // New data came in: the view follows it when it follows, and is drawn again once the
    // event loop comes round (at once when shown next, if hidden now).
    void Refresh();
    bool Following() const { return fFollowing; }
    void SetFollowing(bool on);
    void SetNormalised(bool on);
    void FitAll();
    // Follows again, over the newest two minutes.
    void ResetView();
    // The time range in view, seconds since the epoch.
    double From() const;
    double To() const;
    void SetRange(double from, double to);
    // The read-out at `time`, `tolerance` seconds either side of a lone sample: the time of
    // the nearest sample, then each line's value there; empty where nothing was read.
    QString CursorText(double time, double tolerance = 0) const;
    // The read-out shown under the pointer, or nothing.
    QString ShownReadOut() const;
    const std::vector<Line>& Lines() const { return fLines; }
    void SetLimit(std::size_t line, TrendLimit limit);
    // Places a measuring cursor at the sample nearest `time` (within a few pixels), or at
    // `time` where there is none.
    void PlaceCursor(CursorId cursor, double time);
    std::optional<double> Cursor(CursorId cursor) const { return fCursors[cursor]; }
    void ClearCursors();
    // Lets the value axis of `unit` follow its lines again after the user zoomed it.
    void AutoScaleValueAxes();
    // Writes what is in view as a PNG picture of `size` with `title` above it and the whole
    // legend below, never the pointer's read-out; false when it could not be written.
    bool SavePicture(const QString& path, QSize size, const QString& title);
    // Draws what is in view now (the test and the benchmark call it directly).
    void Redraw();
    QCustomPlot* Plot() const { return fPlot; }

signals:
    void followingChanged(bool on);
    // The view, the data in it or a cursor changed: measurements are out of date.
    void measurementsChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void RefreshNow();
    QCPAxis* AxisFor(const QString& unit);
    void UserRangeChanged();
    void ShowCursor(int x);
    void HideCursor();
    QWidget* BuildLegend();
    void ShowLegend();
    void DrawCursors();
    void DrawLimits();
    void RemoveLimitItems();
    std::optional<double> NearestSampleTime(double time, double tolerance) const;
    // The cursor moved last, by keys, to the previous (-1) or next (+1) reading.
    void StepCursor(int direction);
    double PointerTime() const;
    bool ZoomValueAxis(QWheelEvent* event);
    void MouseReleased(QMouseEvent* event);
    void ScaleValueAxes();
    void KeyAxesToLines();
    void FollowThePalette();
    static void ShowDigitsTheTicksNeed(QCPAxis* axis);
    double LatestTime() const;
    double EarliestTime() const;

    QCustomPlot* fPlot;
    std::vector<Line> fLines;
    // Each line's columns, kept so that a redraw reduces only what changed.
    std::vector<TrendColumns> fColumns;
    std::vector<QCPGraph*> fGraphs;
    std::map<QString, QCPAxis*> fAxes;
    QLabel* fReadOut = nullptr;
    QLabel* fLegend = nullptr;
    QCPLayoutGrid* fPicturedLegend = nullptr;
    QCPItemStraightLine* fCursorLine = nullptr;
    std::array<std::optional<double>, 2> fCursors;
    std::array<QCPItemStraightLine*, 2> fCursorItems{};
    std::array<QCPItemText*, 2> fCursorLabels{};
    CursorId fLastCursor = CursorA;
    std::vector<QCPItemStraightLine*> fLimitItems;
    // Value axes the user zoomed or panned: they keep their range until fitted again.
    std::set<QCPAxis*> fManualAxes;
    QPoint fPressedAt;
    bool fFollowing = true;
    bool fRefreshWhenShown = false;
    bool fRefreshQueued = false;
    bool fNormalised = false;
    // Normalised, or too many units for an axis each.
    bool fScaledTogether = false;
    bool fSettingRange = false;
    double fSpanSeconds = 120; // the span in view while following
};

} // namespace kalvo
