#include "phasor/polar_diagram.h"

#include "phasor/polar_diagram_painter.h"

#include <QCursor>
#include <QPainter>
#include <QVBoxLayout>
#include <stdexcept>

namespace kalvo {

namespace {

constexpr double kDpiMetres = 96.0 / 0.0254;

const QColor kPhaseColors[] = {QColor(0xFF, 0, 0), QColor(0, 0x80, 0), QColor(0, 0, 0xFF)};

QImage NewBitmap(QSize size) {
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    // Point sizes as on a 96-dpi screen canvas.
    image.setDotsPerMeterX(static_cast<int>(kDpiMetres));
    image.setDotsPerMeterY(static_cast<int>(kDpiMetres));
    return image;
}

// A fresh arrow in the phase's colour; angles are the caller's.
TPolarArrow PhaseArrow(TPhaseType phase, const QString& name, const QString& descr, double module,
                       int thick, Qt::PenStyle style, const QString& unit) {
    TPolarArrow arrow;
    arrow.Name = name;
    arrow.Descr = descr;
    arrow.Module = module;
    arrow.Thick = thick;
    arrow.Style = style;
    arrow.Color = kPhaseColors[phase];
    arrow.MUnit = unit;
    return arrow;
}

} // namespace

TPolarDiagram::TPolarDiagram(QWidget* panel, const ModbusRegisters& registers)
    : QWidget(panel), fRegisters(registers) {
    setObjectName("PolarDiagram");
    setAccessibleName("Phase diagram");
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(this);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    m_drawBitmap = NewBitmap(QSize(width(), width()));
    m.Clear();
}

void TPolarDiagram::ClearDiagram() {
    m.Clear();
}

void TPolarDiagram::SetVoltage(TPhaseType phase, const QString& name, const QString& descr,
                               double module, double angle, int thick, Qt::PenStyle style) {
    TPolarArrow arrow = PhaseArrow(phase, name, descr, module, thick, style, "V");
    arrow.Angle = angle;
    m.m_arr_voltages[static_cast<std::size_t>(phase)] = arrow;
    update();
}

void TPolarDiagram::SetVoltage(TPhaseType phase, double module, double angle) {
    TPolarArrow& voltage = m.m_arr_voltages[static_cast<std::size_t>(phase)];
    voltage.Module = module;
    voltage.Angle = angle;
    const TPolarArrow& current = m.m_arr_currents[static_cast<std::size_t>(phase)];
    SetCurrent(phase, current.Module, current.DiffAngle);
    update();
}

void TPolarDiagram::SetCurrent(TPhaseType phase, const QString& name, const QString& descr,
                               double module, double diffangle, int thick, Qt::PenStyle style) {
    m.m_arr_currents[static_cast<std::size_t>(phase)] =
        PhaseArrow(phase, name, descr, module, thick, style, "A");
    SetCurrent(phase, module, diffangle);
}

void TPolarDiagram::SetCurrent(TPhaseType phase, double module, double diffangle) {
    TPolarArrow& current = m.m_arr_currents[static_cast<std::size_t>(phase)];
    current.Module = module;
    current.DiffAngle = diffangle;
    current.Angle = m.m_arr_voltages[static_cast<std::size_t>(phase)].Angle + diffangle;
    update();
}

void TPolarDiagram::SetAvailableData(bool hasVoltages, bool hasCurrents, bool hasFrequency,
                                     bool hasInstantPower, bool hasVoltagesPhases,
                                     bool hasCurrentsPhases) {
    m.m_hasVoltages = hasVoltages;
    m.m_hasCurrents = hasCurrents;
    m.m_hasFrequency = hasFrequency;
    m.m_hasInstantPower = hasInstantPower;
    m.m_hasVoltagesPhases = hasVoltagesPhases;
    m.m_hasCurrentsPhases = hasCurrentsPhases;
}

void TPolarDiagram::SetFrequency(double hertz) {
    if (hertz > 0) {
        m.m_frequency = hertz;
        update();
    } else {
        m.m_frequency = -1.0;
    }
}

void TPolarDiagram::SetInstantPower(double kilowatts) {
    m.m_instantPower = kilowatts;
    update();
}

void TPolarDiagram::SetBackcolor(const QColor& color) {
    m.m_backcolor = color;
    update();
}

TPolarArrow TPolarDiagram::GetArrow(TPolarObjectType object, TPhaseType phase) const {
    return m.Arrow(object, phase);
}

void TPolarDiagram::SaveToFile(const QString& filename) const {
    if (!m_drawBitmap.save(filename, "BMP")) {
        throw std::runtime_error("Cannot write " + filename.toStdString());
    }
}

QPoint TPolarDiagram::Pointer() const {
    return mapFromGlobal(QCursor::pos());
}

void TPolarDiagram::paintEvent(QPaintEvent*) {
    if (m_drawBitmap.size() != size()) {
        m_drawBitmap = NewBitmap(size());
    }
    m.ComputeLayout(size());
    fCanvas.Begin(m_drawBitmap);
    PolarDiagramPainter(m, fCanvas, fRegisters, Pointer()).Paint();
    fCanvas.End();
    QPainter(this).drawImage(QPoint(0, 0), m_drawBitmap);
}

void TPolarDiagram::mouseMoveEvent(QMouseEvent*) {
    m.ComputeLayout(size());
    if (!m.Large()) {
        return;
    }
    const bool hit = m.HitTest(Pointer()).has_value();
    if (hit != m.m_insideLabelShown) {
        update();
    }
}

} // namespace kalvo
