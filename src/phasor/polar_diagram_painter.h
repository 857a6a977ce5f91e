#pragma once

#include "phasor/polar_canvas.h"
#include "phasor/polar_scene.h"
#include "registers/modbus_registers.h"

#include <QPoint>
#include <utility>

namespace kalvo {

// One paint of the phasor diagram onto its canvas, step by step: background, emblem, angle
// scale, lag/lead arcs, scale bar, legend, value table, phasors, frequency, info panel and
// hover label. Integer arithmetic and rounding follow the layout's rules exactly.
class PolarDiagramPainter {
public:
    PolarDiagramPainter(PolarScene& scene, PolarCanvas& canvas, const ModbusRegisters& registers,
                        QPoint pointer);

    void Paint();

    // (v scaled by 1000s, SI prefix): up to four times "k", "M", "G", "T" while v >= 1000.
    static std::pair<double, QString> ScaleToPrefix(double value);
    // The meter's clock from registers 2 to 7, or "Invalid date".
    static QString TimestampText(const ModbusRegisters& registers);
    // What the value table and the info panel show, as lines of text: per phase the voltage
    // and its angle, the current, its phase shift and power factor; then the frequency, the
    // mean power factor and the meter's clock.
    static QString ValuesText(const PolarScene& scene, const ModbusRegisters& registers);

private:
    void DrawBackground();
    void DrawNormCaption();
    void DrawArrow(QPoint from, const TPolarArrow& arrow, bool raw);
    void DrawHead(QPointF tip, double direction, int size);
    void DrawRotationEmblem();
    void DrawAngleScale();
    void DrawTick(double angle);
    void DrawLagLeadArcs();
    void DrawArcArrow(QPoint from, int r, double start, double end);
    void DrawScaleBar();
    void DrawScaleLabels(int x, int y0, int t);
    void DrawLegend();
    void DrawValueTable();
    void DrawTableValues(int x0, int w, int u, int y0);
    void DrawFrequency();
    void DrawInfoPanel();
    void DrawHoverLabel();
    void DrawTooltipBox(int x, int y, const QString& text, const QColor& fill, const QColor& frame,
                        const QColor& fontColor);
    void DrawLabel(QPoint from, int r, double t, const QColor& color, const QString& text,
                   int align);
    void DrawCellText(int x, int y, int w, const QString& text, int align);
    int TextSize() const;

    PolarScene& fScene;
    PolarCanvas& fCanvas;
    const ModbusRegisters& fRegisters;
    QPoint fPointer;
};

} // namespace kalvo
