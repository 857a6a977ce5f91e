#pragma once

#include <QColor>
#include <QString>

namespace kalvo {

enum TPhaseType { P_L1, P_L2, P_L3 };
enum TPolarObjectType { PO_Voltage, PO_Current };
enum TPolarDirectionType { PD_Clockwise, PD_CounterClockwise };

// One phasor as the diagram holds it. Angles are radians in the meter's convention: 0 is the
// L1 voltage; a current's Angle is its voltage's Angle plus its DiffAngle.
struct TPolarArrow {
    QString Name;
    QString Descr;
    double Module = 0;
    QString MUnit;
    int ScaleModule = 0; // drawn length in pixels, recomputed at every paint; 0: not drawn
    double DiffAngle = 0;
    double Angle = 0;
    QColor Color = QColor(0, 0, 0);
    int Thick = 0;
    Qt::PenStyle Style = Qt::SolidLine;
};

} // namespace kalvo
