#include "phasor/polar_diagram.h"

#include "phasor/polar_diagram_painter.h"
#include "registers/phasor_set.h"

#include <QCursor>
#include <QFile>
#include <QPainter>
#include <QVBoxLayout>
#include <stdexcept>

namespace kalvo {

namespace {

constexpr double kDpiMetres = 96.0 / 0.0254;

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
    arrow.Color = QColor(static_cast<QRgb>(PhasorSet::kPhaseColours[phase]));
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
    ClearDiagram();
}

void TPolarDiagram::ClearDiagram() {
    fScene.Clear();
    fStaleSince.clear();
    UpdateAccessibleText();
}

void TPolarDiagram::SetVoltage(TPhaseType phase, const QString& name, const QString& descr,
                               double module, double angle, int thick, Qt::PenStyle style) {
    TPolarArrow arrow = PhaseArrow(phase, name, descr, module, thick, style, "V");
    arrow.Angle = angle;
    fScene.m_arr_voltages[static_cast<std::size_t>(phase)] = arrow;
    update();
}

void TPolarDiagram::SetVoltage(TPhaseType phase, double module, double angle) {
    TPolarArrow& voltage = fScene.m_arr_voltages[static_cast<std::size_t>(phase)];
    voltage.Module = module;
    voltage.Angle = angle;
    const TPolarArrow& current = fScene.m_arr_currents[static_cast<std::size_t>(phase)];
    SetCurrent(phase, current.Module, current.DiffAngle);
    update();
}

void TPolarDiagram::SetCurrent(TPhaseType phase, const QString& name, const QString& descr,
                               double module, double diffangle, int thick, Qt::PenStyle style) {
    fScene.m_arr_currents[static_cast<std::size_t>(phase)] =
        PhaseArrow(phase, name, descr, module, thick, style, "A");
    SetCurrent(phase, module, diffangle);
}

void TPolarDiagram::SetCurrent(TPhaseType phase, double module, double diffangle) {
    TPolarArrow& current = fScene.m_arr_currents[static_cast<std::size_t>(phase)];
    current.Module = module;
    current.DiffAngle = diffangle;
    current.Angle = fScene.m_arr_voltages[static_cast<std::size_t>(phase)].Angle + diffangle;
    update();
}

void TPolarDiagram::SetAvailableData(bool hasVoltages, bool hasCurrents, bool hasFrequency,
                                     bool hasInstantPower, bool hasVoltagesPhases,
                                     bool hasCurrentsPhases) {
    fScene.m_hasVoltages = hasVoltages;
    fScene.m_hasCurrents = hasCurrents;
    fScene.m_hasFrequency = hasFrequency;
    fScene.m_hasInstantPower = hasInstantPower;
    fScene.m_hasVoltagesPhases = hasVoltagesPhases;
    fScene.m_hasCurrentsPhases = hasCurrentsPhases;
    UpdateAccessibleText();
}

// Screen readers and scripts read the values the picture shows.
void TPolarDiagram::UpdateAccessibleText() {
    const QString values = PolarDiagramPainter::ValuesText(fScene, fRegisters);
    setAccessibleDescription(fStaleSince.isEmpty() ? values : StaleText() + "\n" + values);
}

QString TPolarDiagram::StaleText() const {
    return "Stale: read at " + fStaleSince + ", later reads failed";
}

void TPolarDiagram::SetStale(const QString& readAt) {
    if (readAt != fStaleSince) {
        fStaleSince = readAt;
        UpdateAccessibleText();
        update();
    }
}

// Stale values stay legible but washed out, under a line that says since when.
void TPolarDiagram::PaintStaleMark() {
    QPainter painter(&m_drawBitmap);
    QColor wash = fScene.m_backcolor;
    wash.setAlpha(150);
    painter.fillRect(m_drawBitmap.rect(), wash);
    painter.setPen(palette().color(QPalette::WindowText));
    const QRect line(4, 2, m_drawBitmap.width() - 8, fontMetrics().height() + 2);
    painter.fillRect(line, fScene.m_backcolor);
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, StaleText());
}

void TPolarDiagram::SetFrequency(double hertz) {
    if (hertz > 0) {
        fScene.m_frequency = hertz;
        update();
    } else {
        fScene.m_frequency = -1.0;
    }
}

void TPolarDiagram::SetInstantPower(double kilowatts) {
    fScene.m_instantPower = kilowatts;
    update();
}

void TPolarDiagram::SetBackcolor(const QColor& color) {
    fScene.m_backcolor = color;
    update();
}

TPolarArrow TPolarDiagram::GetArrow(TPolarObjectType object, TPhaseType phase) const {
    return fScene.Arrow(object, phase);
}

// Painted afresh, without the pointer: a hover label is no part of the saved picture.
void TPolarDiagram::SaveToFile(const QString& filename) const {
    const QPoint kNoPointer(-100000, -100000);
    QImage image = NewBitmap(size());
    PolarScene scene = fScene;
    scene.ComputeLayout(size());
    PolarCanvas canvas;
    canvas.Begin(image);
    PolarDiagramPainter(scene, canvas, fRegisters, kNoPointer).Paint();
    canvas.End();
    QFile file(filename);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        throw std::runtime_error(file.errorString().toStdString());
    }
    if (!image.save(&file, "BMP")) {
        throw std::runtime_error(file.errorString().toStdString());
    }
}

QPoint TPolarDiagram::Pointer() const {
    return mapFromGlobal(QCursor::pos());
}

void TPolarDiagram::paintEvent(QPaintEvent*) {
    if (m_drawBitmap.size() != size()) {
        m_drawBitmap = NewBitmap(size());
    }
    fScene.ComputeLayout(size());
    fCanvas.Begin(m_drawBitmap);
    PolarDiagramPainter(fScene, fCanvas, fRegisters, Pointer()).Paint();
    fCanvas.End();
    if (!fStaleSince.isEmpty()) {
        PaintStaleMark();
    }
    QPainter(this).drawImage(QPoint(0, 0), m_drawBitmap);
}

void TPolarDiagram::mouseMoveEvent(QMouseEvent*) {
    fScene.ComputeLayout(size());
    if (!fScene.Large()) {
        return;
    }
    const bool hit = fScene.HitTest(Pointer()).has_value();
    if (hit != fScene.m_insideLabelShown) {
        update();
    }
}

} // namespace kalvo
