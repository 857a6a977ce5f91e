#pragma once

#include "trend/trend_series.h"

#include <QColor>
#include <QString>
#include <QWidget>
#include <map>
#include <vector>

class QCPAxis;
class QCPGraph;
class QCPItemStraightLine;
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
    };

    explicit TrendChart(QWidget* parent = nullptr);

    void SetLines(std::vector<Line> lines);
    // New data came in: the view follows it when it follows, and is drawn again.
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
    // Draws what is in view now (the test and the benchmark call it directly).
    void Redraw();
    QCustomPlot* Plot() const { return fPlot; }

signals:
    void followingChanged(bool on);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QCPAxis* AxisFor(const QString& unit);
    void UserRangeChanged();
    void ShowCursor(int x);
    void HideCursor();
    void ScaleValueAxes();
    void KeyAxesToLines();
    void FollowThePalette();
    static void ShowDigitsTheTicksNeed(QCPAxis* axis);
    double LatestTime() const;
    double EarliestTime() const;

    QCustomPlot* fPlot;
    std::vector<Line> fLines;
    std::vector<QCPGraph*> fGraphs;
    std::map<QString, QCPAxis*> fAxes;
    QLabel* fReadOut = nullptr;
    QCPItemStraightLine* fCursorLine = nullptr;
    bool fFollowing = true;
    bool fNormalised = false;
    bool fSettingRange = false;
    double fSpanSeconds = 120; // the span in view while following
};

} // namespace kalvo
