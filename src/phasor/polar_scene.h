#pragma once

#include "phasor/polar_types.h"

#include <QPoint>
#include <QPointF>
#include <QSize>
#include <array>
#include <optional>

namespace kalvo {

// Integer rectangle by its edges, as the layout computes it.
struct PolarRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

// What the hover test found: which arrow.
struct PolarHit {
    TPolarObjectType Object;
    TPhaseType Phase;
};

// Everything the phasor diagram shows and the layout derived from its size: the model's
// state plus the geometry that every paint recomputes.
struct PolarScene {
    using Arrows = std::array<TPolarArrow, 3>;

    QPoint m_center;
    int m_max_volt_radius = 0;
    int m_max_curr_radius = 0;
    int m_border = 0;
    double m_frequency = -1.0;
    double m_instantPower = 0.0;
    double m_max_voltage = 0.0;
    double m_max_current = 0.0;
    PolarRect m_diag_rect;
    PolarRect m_legend_rect;
    Arrows m_arr_voltages;
    Arrows m_arr_currents;
    QColor m_backcolor;
    QColor m_voltage_backcolor;
    QColor m_current_backcolor;
    bool m_zero_on_top = true;
    bool m_insideLabelShown = false;
    TPolarDirectionType m_polar_direction = PD_Clockwise;
    bool m_hasVoltages = false;
    bool m_hasCurrents = false;
    bool m_hasFrequency = false;
    bool m_hasInstantPower = false;
    bool m_hasVoltagesPhases = false;
    bool m_hasCurrentsPhases = false;

    // Nearest integer, halves to even.
    static int Nearest(double value);
    // The point at distance `length` from `from` in screen direction `t`, rounded.
    static QPoint PointAt(QPoint from, double length, double t);

    // The initial state, also restored by ClearDiagram; arrows and direction untouched.
    void Clear();
    // Layout and magnitude scaling for a control of `size`.
    void ComputeLayout(QSize size);
    bool Large() const { return m_max_volt_radius > 100; }
    double ScreenAngle(double angle) const;
    int VoltageToPixels(double volts) const;
    int CurrentToPixels(double amps) const;
    // The arrow's tip drawn from `from`, in doubles; `raw` takes Angle as a screen angle.
    QPointF Tip(QPoint from, const TPolarArrow& arrow, bool raw) const;
    // The arrow whose tip is within R div 10 of `pointer`; voltages win over currents and
    // L3 over L1.
    std::optional<PolarHit> HitTest(QPoint pointer) const;
    const TPolarArrow& Arrow(TPolarObjectType object, TPhaseType phase) const;
};

} // namespace kalvo
