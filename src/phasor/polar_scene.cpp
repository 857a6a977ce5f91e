#include "phasor/polar_scene.h"

#include "registers/phasor_set.h"

#include <algorithm>
#include <cmath>

namespace kalvo {

namespace {

// Lengths beyond this many pixels only overflow integers; the drawing clips them anyway.
constexpr double kMaxPixels = 100000.0;

int Pixels(double value, double fullScale, int radius) {
    if (fullScale == 0 || !std::isfinite(value)) {
        return 0;
    }
    const double pixels = std::clamp(value / fullScale * radius, -kMaxPixels, kMaxPixels);
    return PolarScene::Nearest(pixels);
}

double FullScale(const PolarScene::Arrows& arrows) {
    return PhasorSet::FullScale({arrows[0].Module, arrows[1].Module, arrows[2].Module});
}

} // namespace

int PolarScene::Nearest(double value) {
    return static_cast<int>(std::nearbyint(value));
}

QPoint PolarScene::PointAt(QPoint from, double length, double t) {
    return {from.x() + Nearest(length * std::cos(t)), from.y() + Nearest(-length * std::sin(t))};
}

void PolarScene::Clear() {
    m_backcolor = QColor(0xFF, 0xFF, 0xFF);
    m_voltage_backcolor = QColor(0xF0, 0xFF, 0xF0);
    m_current_backcolor = QColor(0xFF, 0xFF, 0xF0);
    m_frequency = -1.0;
    m_instantPower = 0.0;
    m_insideLabelShown = false;
    m_zero_on_top = true;
    m_hasVoltages = m_hasCurrents = m_hasFrequency = false;
    m_hasInstantPower = m_hasVoltagesPhases = m_hasCurrentsPhases = false;
}

void PolarScene::ComputeLayout(QSize size) {
    const int m = std::min(size.width(), size.height());
    const int b = m / PhasorSet::kBorderDivisor;
    m_border = b;
    m_diag_rect = {b, b, m - b, m - b};
    m_legend_rect = {m, b, size.width() - b, m - b};
    m_max_volt_radius = (m_diag_rect.Right - m_diag_rect.Left) / 2;
    m_max_curr_radius = Nearest(PhasorSet::kCurrentRadiusShare * m_max_volt_radius);
    m_center = QPoint(m_max_volt_radius + b, m_max_volt_radius + b);
    m_max_current = FullScale(m_arr_currents);
    m_max_voltage = FullScale(m_arr_voltages);
    for (std::size_t phase = 0; phase < 3; ++phase) {
        TPolarArrow& voltage = m_arr_voltages[phase];
        TPolarArrow& current = m_arr_currents[phase];
        voltage.ScaleModule = std::isfinite(voltage.Angle) ? VoltageToPixels(voltage.Module) : 0;
        current.ScaleModule = std::isfinite(current.Angle) ? CurrentToPixels(current.Module) : 0;
    }
}

double PolarScene::ScreenAngle(double angle) const {
    return PhasorSet::ScreenAngle(angle, m_polar_direction == PD_Clockwise, m_zero_on_top);
}

int PolarScene::VoltageToPixels(double volts) const {
    return Pixels(volts, m_max_voltage, m_max_volt_radius);
}

int PolarScene::CurrentToPixels(double amps) const {
    return Pixels(amps, m_max_current, m_max_curr_radius);
}

QPointF PolarScene::Tip(QPoint from, const TPolarArrow& arrow, bool raw) const {
    if (arrow.ScaleModule == 0) {
        return QPointF(from);
    }
    const double t = raw ? arrow.Angle : ScreenAngle(arrow.Angle);
    return {from.x() + std::cos(t) * arrow.ScaleModule, from.y() - std::sin(t) * arrow.ScaleModule};
}

std::optional<PolarHit> PolarScene::HitTest(QPoint pointer) const {
    const double d = std::hypot(pointer.x() - m_center.x(), pointer.y() - m_center.y());
    const int tolerance = m_max_volt_radius / 10;
    std::optional<PolarHit> hit;
    auto test = [&](const Arrows& arrows, TPolarObjectType object) {
        for (int phase = P_L1; phase <= P_L3; ++phase) {
            const QPointF tip = Tip(m_center, arrows[static_cast<std::size_t>(phase)], false);
            const QPoint rounded(Nearest(tip.x()), Nearest(tip.y()));
            if (tolerance > std::hypot(rounded.x() - pointer.x(), rounded.y() - pointer.y())) {
                hit = PolarHit{object, static_cast<TPhaseType>(phase)};
            }
        }
    };
    if (m_max_curr_radius > d) {
        test(m_arr_currents, PO_Current);
    }
    if (m_max_volt_radius > d) {
        test(m_arr_voltages, PO_Voltage);
    }
    return hit;
}

const TPolarArrow& PolarScene::Arrow(TPolarObjectType object, TPhaseType phase) const {
    const Arrows& arrows = object == PO_Voltage ? m_arr_voltages : m_arr_currents;
    return arrows[static_cast<std::size_t>(phase)];
}

} // namespace kalvo
