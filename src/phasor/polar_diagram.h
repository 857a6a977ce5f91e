#pragma once

#include "phasor/polar_canvas.h"
#include "phasor/polar_scene.h"
#include "registers/modbus_registers.h"

#include <QImage>
#include <QWidget>

namespace kalvo {

// The phasor diagram: three voltages and three currents as arrows on a polar diagram, with
// their value table, the frequency, the active power and the meter's factory number and
// clock (read from the register image at paint time). Every paint draws into an off-screen
// image that is then copied to the screen in one step. The accessible description carries
// the values as text.
class TPolarDiagram : public QWidget {
    Q_OBJECT

public:
    // Fills `panel`.
    TPolarDiagram(QWidget* panel, const ModbusRegisters& registers);

    void ClearDiagram();
    void SetVoltage(TPhaseType phase, const QString& name, const QString& descr, double module,
                    double angle, int thick, Qt::PenStyle style);
    void SetVoltage(TPhaseType phase, double module, double angle);
    void SetCurrent(TPhaseType phase, const QString& name, const QString& descr, double module,
                    double diffangle, int thick, Qt::PenStyle style);
    void SetCurrent(TPhaseType phase, double module, double diffangle);
    void SetAvailableData(bool hasVoltages, bool hasCurrents, bool hasFrequency,
                          bool hasInstantPower, bool hasVoltagesPhases, bool hasCurrentsPhases);
    double Frequency() const { return fScene.m_frequency; }
    void SetFrequency(double hertz);
    double InstantPower() const { return fScene.m_instantPower; }
    void SetInstantPower(double kilowatts);
    QColor Backcolor() const { return fScene.m_backcolor; }
    void SetBackcolor(const QColor& color);
    // The values shown are from the read at `readAt` and a later read failed: the diagram is
    // washed out and says so; empty marks it current.
    void SetStale(const QString& readAt);
    const QString& StaleSince() const { return fStaleSince; }
    TPolarArrow GetArrow(TPolarObjectType object, TPhaseType phase) const;
    // Writes the diagram as a BMP file, without transient decorations; raises
    // std::runtime_error with the reason on failure.
    void SaveToFile(const QString& filename) const;

    // The scene as the last paint left it (layout included).
    const PolarScene& Scene() const { return fScene; }
    const QImage& Image() const { return m_drawBitmap; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QPoint Pointer() const;
    void UpdateAccessibleText();
    QString StaleText() const;
    void PaintStaleMark();

    PolarScene fScene;
    const ModbusRegisters& fRegisters;
    QImage m_drawBitmap;
    PolarCanvas fCanvas;
    QString fStaleSince;
};

} // namespace kalvo
