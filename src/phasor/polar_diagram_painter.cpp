#include "phasor/polar_diagram_painter.h"

#include "qt_common/locale_time.h"

#include <QDateTime>
#include <QLocale>
#include <QPalette>
#include <QPolygon>
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace kalvo {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kSmallestTextSize = 7;
constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kRadiansPerDegree = 0.017453292519943295;
const QColor kGray(0x80, 0x80, 0x80);
const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kBlack(0, 0, 0);
const QColor kGreen(0, 0x80, 0);
const QColor kRed(0xFF, 0, 0);
const QColor kBlue(0, 0, 0xFF);
const std::array<QColor, 3> kPhaseColors = {kRed, kGreen, kBlue};
const std::array<QString, 3> kPhaseNames = {"L1", "L2", "L3"};

// A number with a fixed count of decimals, the locale's separator and no grouping, as the
// patterns "0", "0.0", "0.00" and "0.00000" give it. Values that are not finite are unknown.
QString Fixed(double value, int decimals) {
    if (!std::isfinite(value)) {
        return QStringLiteral("Unavailable");
    }
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', decimals);
}

int Nearest(double value) {
    return PolarScene::Nearest(value);
}

} // namespace

PolarDiagramPainter::PolarDiagramPainter(PolarScene& scene, PolarCanvas& canvas,
                                         const ModbusRegisters& registers, QPoint pointer)
    : fScene(scene), fCanvas(canvas), fRegisters(registers), fPointer(pointer) {}

// Every paint starts from the same text size, so that nothing depends on the paint before.
void PolarDiagramPainter::Paint() {
    fCanvas.SetFontSize(TextSize());
    DrawBackground();
    DrawRotationEmblem();
    if (fScene.Large()) {
        DrawAngleScale();
    }
    DrawLagLeadArcs();
    DrawScaleBar();
    DrawLegend();
    if (fScene.Large()) {
        DrawValueTable();
    }
    for (const TPolarArrow& voltage : fScene.m_arr_voltages) {
        DrawArrow(fScene.m_center, voltage, false);
    }
    for (const TPolarArrow& current : fScene.m_arr_currents) {
        DrawArrow(fScene.m_center, current, false);
    }
    if (fScene.Large()) {
        DrawFrequency();
        DrawInfoPanel();
    }
    DrawHoverLabel();
}

void PolarDiagramPainter::DrawBackground() {
    fCanvas.SetBrush(fScene.m_backcolor);
    fCanvas.FillRect(fCanvas.Painter().viewport());
    struct Circle {
        int Radius;
        Qt::PenStyle Style;
        QColor Fill;
    };
    const double maxCurrent = fScene.m_max_current;
    const Circle circles[] = {
        {fScene.VoltageToPixels(fScene.m_max_voltage), Qt::SolidLine, fScene.m_voltage_backcolor},
        {fScene.CurrentToPixels(maxCurrent), Qt::SolidLine, fScene.m_current_backcolor},
        {fScene.CurrentToPixels(maxCurrent / 4 * 3), Qt::DotLine, fScene.m_current_backcolor},
        {fScene.CurrentToPixels(maxCurrent / 2), Qt::DotLine, fScene.m_current_backcolor},
        {fScene.CurrentToPixels(maxCurrent / 4), Qt::DotLine, fScene.m_current_backcolor},
    };
    const QPoint c = fScene.m_center;
    for (const Circle& circle : circles) {
        fCanvas.SetPen(kGray, 1, circle.Style);
        fCanvas.SetBrush(circle.Fill);
        fCanvas.Ellipse(c.x() - circle.Radius, c.y() - circle.Radius, c.x() + circle.Radius,
                        c.y() + circle.Radius);
    }
    const double offset = fScene.m_zero_on_top ? kPi / 2 : 0.0;
    const std::pair<double, int> radials[] = {{0, 2},       {2 * kPi / 3, 2}, {4 * kPi / 3, 2},
                                              {kPi / 3, 1}, {kPi, 1},         {5 * kPi / 3, 1}};
    for (const auto& [angle, width] : radials) {
        fCanvas.SetPen(kSilver, width, Qt::SolidLine);
        fCanvas.Line(c, PolarScene::PointAt(c, fScene.m_max_volt_radius, angle + offset));
    }
    if (fScene.Large()) {
        DrawNormCaption();
    }
}

void PolarDiagramPainter::DrawNormCaption() {
    const QString caption = QStringLiteral("DIN 410");
    fCanvas.SetBrush(fScene.m_backcolor);
    fCanvas.SetFontColor(kGray);
    fCanvas.Text(fScene.m_diag_rect.Right - fScene.m_border,
                 fScene.m_diag_rect.Bottom + fScene.m_border / 3 - fCanvas.TextHeight(caption) / 2,
                 caption);
}

void PolarDiagramPainter::DrawArrow(QPoint from, const TPolarArrow& arrow, bool raw) {
    if (arrow.ScaleModule == 0) {
        return;
    }
    fCanvas.SetBrush(fScene.m_backcolor);
    fCanvas.SetPen(arrow.Color, arrow.Thick, arrow.Style);
    const QPointF tip = fScene.Tip(from, arrow, raw);
    fCanvas.Line(from, QPoint(Nearest(tip.x()), Nearest(tip.y())));
    fCanvas.SetBrush(fCanvas.PenColor());
    DrawHead(tip, raw ? arrow.Angle : fScene.ScreenAngle(arrow.Angle),
             arrow.Thick * fScene.m_max_volt_radius / 50);
}

// An equilateral triangle of side 2h with its apex on the tip, pointing along `direction`.
void PolarDiagramPainter::DrawHead(QPointF tip, double direction, int size) {
    const double h = size;
    const double corners[3][2] = {{0, 0}, {-std::sqrt(3.0) * h, h}, {-std::sqrt(3.0) * h, -h}};
    const double c = std::cos(direction);
    const double s = std::sin(direction);
    QPolygon head;
    for (const auto& corner : corners) {
        const double x = corner[0] * c + corner[1] * s;
        const double y = -corner[0] * s + corner[1] * c;
        head << QPoint(Nearest(x + tip.x()), Nearest(y + tip.y()));
    }
    fCanvas.Polygon(head);
}

void PolarDiagramPainter::DrawRotationEmblem() {
    const int r = fScene.m_max_volt_radius;
    const QPoint e(fScene.m_border + r / 14, fScene.m_border + r / 14);
    const int length = r / 7;
    for (std::size_t phase = 0; phase < 3; ++phase) {
        TPolarArrow arrow;
        arrow.ScaleModule = length;
        arrow.Thick = 1;
        arrow.Style = Qt::SolidLine;
        arrow.Color = kPhaseColors[phase];
        arrow.Angle = 2 * kPi / 3 * static_cast<double>(phase);
        DrawArrow(e, arrow, false);
        if (fScene.Large()) {
            DrawLabel(e, Nearest(1.3 * length), fScene.ScreenAngle(arrow.Angle), arrow.Color,
                      kPhaseNames[phase], 2);
        }
    }
}

void PolarDiagramPainter::DrawAngleScale() {
    fCanvas.SetBrush(fScene.m_backcolor);
    fCanvas.SetFontSize(TextSize());
    for (int k = 0; k < 12; ++k) {
        DrawTick((30 * k) * kRadiansPerDegree);
    }
    if (fScene.m_max_volt_radius > 200) {
        fCanvas.SetFontSize(std::max(kSmallestTextSize, TextSize() - 2));
        for (int k = 0; k < 12; ++k) {
            DrawTick((30 * k + 15) * kRadiansPerDegree);
        }
    }
}

void PolarDiagramPainter::DrawTick(double angle) {
    const int r = fScene.m_max_volt_radius;
    const double d = 0.05 * r;
    fCanvas.SetPen(kSilver, 1, Qt::SolidLine);
    fCanvas.SetFontColor(kBlack);
    const QString text = QString::number(Nearest(angle * kDegreesPerRadian)) + QChar(0x00B0);
    const double t = fScene.ScreenAngle(angle);
    fCanvas.Line(PolarScene::PointAt(fScene.m_center, r - d / 3, t),
                 PolarScene::PointAt(fScene.m_center, r + 2 * d / 3, t));
    const QPoint anchor = PolarScene::PointAt(fScene.m_center, r + 1.5 * d, t);
    fCanvas.Text(anchor.x() - fCanvas.TextWidth(text) / 2,
                 anchor.y() - fCanvas.TextHeight(text) / 2, text);
}

void PolarDiagramPainter::DrawLagLeadArcs() {
    const int r = fScene.VoltageToPixels(1.2 * fScene.m_max_voltage);
    if (r == 0) {
        return;
    }
    constexpr double k55 = 0.9599310885968813;
    constexpr double k35 = 0.6108652381980153;
    constexpr double k46 = 0.8028514559173916;
    DrawArcArrow(fScene.m_center, r, k55, k35);
    DrawArcArrow(fScene.m_center, r, -k55, -k35);
    const int labelRadius = Nearest(1.03 * r);
    DrawLabel(fScene.m_center, labelRadius, k46, kGray, fScene.Large() ? "Lagging" : "R", 0);
    DrawLabel(fScene.m_center, labelRadius, -k46, kGray, fScene.Large() ? "Leading" : "A", 0);
}

void PolarDiagramPainter::DrawArcArrow(QPoint from, int r, double start, double end) {
    fCanvas.SetPen(kGray, 1, Qt::SolidLine);
    fCanvas.SetBrush(fScene.m_backcolor);
    const QPoint head(from.x() + Nearest(r * std::cos(start)),
                      from.y() + Nearest(-r * std::sin(start)));
    const bool forward = end > start;
    const QRect box(QPoint(from.x() - r, from.y() - r), QPoint(from.x() + r, from.y() + r));
    fCanvas.Arc(box, forward ? start : end, forward ? end : start);
    fCanvas.SetBrush(fCanvas.PenColor());
    DrawHead(QPointF(head), forward ? start - kPi / 2 : start + kPi / 2,
             fScene.m_max_volt_radius / 50);
}

void PolarDiagramPainter::DrawScaleBar() {
    fCanvas.SetPen(kGray, 1, Qt::SolidLine);
    fCanvas.SetBrush(fScene.m_backcolor);
    const int r = fScene.m_max_volt_radius;
    const int rc = fScene.m_max_curr_radius;
    const int x = fScene.m_diag_rect.Right + Nearest(2.5 * fScene.m_border);
    const int y0 = fScene.m_center.y();
    const int t = r / 50 + 1;
    fCanvas.Line(QPoint(x, y0), QPoint(x, y0 - r));
    const std::pair<int, int> ticks[] = {{y0, 2},
                                         {y0 - fScene.VoltageToPixels(fScene.m_max_voltage), 2},
                                         {y0 - rc, 2},
                                         {y0 - rc / 2, 1},
                                         {y0 - (3 * rc) / 4, 1},
                                         {y0 - rc / 4, 1}};
    for (const auto& [y, width] : ticks) {
        fCanvas.SetPen(kGray, width, Qt::SolidLine);
        fCanvas.Line(QPoint(x - t, y), QPoint(x + t, y));
    }
    if (fScene.Large()) {
        DrawScaleLabels(x, y0, t);
    }
}

// Grows with the diagram and never shrinks; readable on the smallest one.
int PolarDiagramPainter::TextSize() const {
    constexpr int kLargestTextSize = 13;
    return std::clamp((fScene.m_max_volt_radius - 100) / 30 + 6, kSmallestTextSize + 1,
                      kLargestTextSize);
}

void PolarDiagramPainter::DrawScaleLabels(int x, int y0, int t) {
    fCanvas.SetFontColor(kBlack);
    fCanvas.SetFontSize(TextSize());
    for (int k = 0; k <= 4; ++k) {
        const QString text = Fixed(k * fScene.m_max_current / 4, 1) + " A";
        fCanvas.SetFontColor(k == 0 || k == 4 ? kBlack : kGray);
        fCanvas.Text(x - t - 3 - fCanvas.TextWidth(text),
                     y0 - Nearest(fScene.m_max_curr_radius * k / 4.0) -
                         fCanvas.TextHeight("0") / 2 - 1,
                     text);
    }
    for (int k = 0; k <= 5; ++k) {
        const QString text = Fixed(k * fScene.m_max_voltage / 5, 0) + " V";
        fCanvas.SetFontColor(k == 0 || k == 5 ? kBlack : kGray);
        fCanvas.Text(x + t + 3,
                     y0 - Nearest(fScene.m_max_volt_radius * k / 5.0) -
                         fCanvas.TextHeight(text) / 2 - 1,
                     text);
    }
}

void PolarDiagramPainter::DrawLegend() {
    fCanvas.SetPenColor(kGray);
    fCanvas.SetBrush(fScene.m_backcolor);
    const int r = fScene.m_max_volt_radius;
    const int s = r / 8 + 1;
    QPoint p(fScene.m_diag_rect.Right + Nearest(1.5 * fScene.m_border),
             fScene.m_center.y() + 2 * s);
    const QString labels[] = {fScene.Large() ? "RMS Voltages" : "U",
                              fScene.Large() ? "RMS Currents" : "I"};
    const Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DotLine};
    for (int i = 0; i < 2; ++i) {
        TPolarArrow arrow;
        arrow.ScaleModule = r / 5;
        arrow.Color = kGray;
        arrow.Thick = 1;
        arrow.Style = styles[i];
        DrawArrow(p, arrow, true);
        DrawLabel(p, Nearest(1.1 * (r / 5)), 0, kGray, labels[i], 0);
        p.ry() += s;
    }
}

void PolarDiagramPainter::DrawValueTable() {
    const int w = fCanvas.TextWidth("000.00 V") + 10;
    const int u = fCanvas.TextHeight("X");
    const int x0 = fScene.m_diag_rect.Right + 5 * fScene.m_border;
    const int y0 = fScene.m_diag_rect.Top;
    for (std::size_t j = 1; j <= 3; ++j) {
        fCanvas.SetBrush(fScene.m_backcolor);
        fCanvas.SetFontColor(fScene.m_arr_voltages[j - 1].Color);
        DrawCellText(x0 + (w + 10) * static_cast<int>(j) + 10, y0, w, kPhaseNames[j - 1], 2);
    }
    const std::pair<QString, bool> rows[] = {{"RMS Voltages", fScene.m_hasVoltages},
                                             {"Angles", fScene.m_hasVoltagesPhases},
                                             {"RMS Currents", fScene.m_hasCurrents},
                                             {"Phi", fScene.m_hasCurrentsPhases},
                                             {"Power factor", fScene.m_hasCurrentsPhases}};
    for (int row = 0; row < 5; ++row) {
        fCanvas.SetFontColor(rows[row].second ? kBlack : kRed);
        DrawCellText(x0, y0 + 2 * (row + 1) * u, w, rows[row].first, 1);
    }
    DrawTableValues(x0, w, u, y0);
    fCanvas.SetPenColor(kBlack);
    fCanvas.Line(QPoint(x0 + w + 10, y0 + u), QPoint(x0 + 4 * (w + 10), y0 + u));
    fCanvas.Line(QPoint(x0 + w + 10, y0 + u), QPoint(x0 + w + 10, y0 + 11 * u));
}

void PolarDiagramPainter::DrawTableValues(int x0, int w, int u, int y0) {
    const QString degree(QChar(0x00B0));
    for (std::size_t j = 1; j <= 3; ++j) {
        const TPolarArrow& voltage = fScene.m_arr_voltages[j - 1];
        const TPolarArrow& current = fScene.m_arr_currents[j - 1];
        const std::pair<QString, bool> cells[] = {
            {Fixed(voltage.Module, 2) + " " + voltage.MUnit, fScene.m_hasVoltages},
            {Fixed(voltage.Angle * kDegreesPerRadian, 2) + degree, fScene.m_hasVoltagesPhases},
            {Fixed(current.Module, 2) + " " + current.MUnit, fScene.m_hasCurrents},
            {Fixed(current.DiffAngle * kDegreesPerRadian, 2) + degree, fScene.m_hasCurrentsPhases},
            {Fixed(std::cos(current.DiffAngle), 5), fScene.m_hasCurrentsPhases}};
        const int x = x0 + (w + 10) * static_cast<int>(j);
        for (int row = 0; row < 5; ++row) {
            fCanvas.SetBrush(fScene.m_backcolor);
            fCanvas.SetFontColor(cells[row].second ? kBlack : kRed);
            QString text = cells[row].first;
            if (text.startsWith(QStringLiteral("Unavailable"))) {
                text = QStringLiteral("Unavailable");
            }
            DrawCellText(x, y0 + 2 * (row + 1) * u, w, text, 1);
        }
    }
}

void PolarDiagramPainter::DrawFrequency() {
    fCanvas.SetPenColor(kGray);
    fCanvas.SetBrush(fScene.m_backcolor);
    const int x0 = fScene.m_border / 2;
    const int y0 = fScene.m_diag_rect.Bottom;
    const int w = fScene.m_max_volt_radius / 20;
    if (fScene.m_frequency == -1.0) {
        return;
    }
    fCanvas.SetFontColor(fScene.m_hasFrequency ? kBlack : kRed);
    fCanvas.Text(x0 + (3 * w) / 2, y0 - fCanvas.TextHeight("a"),
                 Fixed(fScene.m_frequency, 1) + " Hz");
    fCanvas.SetPen(kGray, 1, Qt::SolidLine);
    QPoint from(x0, y0);
    for (int k = 0; k <= w; ++k) {
        const QPoint to(x0 + 2 * k, y0 + Nearest(-std::sin(2 * kPi * k / w) * (w / 2)));
        fCanvas.Line(from, to);
        from = to;
    }
}

void PolarDiagramPainter::DrawInfoPanel() {
    fCanvas.SetBrush(fScene.m_backcolor);
    const int u = fCanvas.TextHeight("a");
    const int x =
        fScene.m_diag_rect.Right + 5 * fScene.m_border + (3 * (fScene.m_max_volt_radius / 20)) / 2;
    int y = fScene.m_diag_rect.Top + 12 * u + 10 + u / 2;
    auto line = [&](const QString& label, const QString& value) {
        fCanvas.SetFontColor(kBlack);
        fCanvas.Text(x, y - u, label);
        fCanvas.SetFontColor(kGreen);
        fCanvas.Text(x + fCanvas.TextWidth(label), y - u, value);
        y += (3 * u) / 2;
    };
    double powerFactor = 0;
    for (const TPolarArrow& current : fScene.m_arr_currents) {
        powerFactor += std::cos(current.DiffAngle) / 3;
    }
    line("Power factor (Cos Phi): ", Fixed(powerFactor, 5));
    if (!fScene.m_hasInstantPower) {
        return;
    }
    const auto [power, prefix] = ScaleToPrefix(fScene.m_instantPower * 1000);
    line("Active demand (secondary value): ",
         std::isfinite(power) ? Fixed(power, 2) + " " + prefix + "W x K" : Fixed(power, 2));
    line("Meter's factory number: ", QString::number(fRegisters.RegisterLongWord(0)));
    line("Timestamp: ", TimestampText(fRegisters));
}

QString PolarDiagramPainter::ValuesText(const PolarScene& scene, const ModbusRegisters& registers) {
    const QString degree(QChar(0x00B0));
    QStringList lines;
    double powerFactor = 0;
    for (std::size_t j = 0; j < 3; ++j) {
        const TPolarArrow& voltage = scene.m_arr_voltages[j];
        const TPolarArrow& current = scene.m_arr_currents[j];
        powerFactor += std::cos(current.DiffAngle) / 3;
        lines << kPhaseNames[j] + ": voltage " + Fixed(voltage.Module, 2) + " " + voltage.MUnit +
                     " at " + Fixed(voltage.Angle * kDegreesPerRadian, 2) + degree + ", current " +
                     Fixed(current.Module, 2) + " " + current.MUnit + ", phi " +
                     Fixed(current.DiffAngle * kDegreesPerRadian, 2) + degree + ", power factor " +
                     Fixed(std::cos(current.DiffAngle), 5);
    }
    if (scene.m_frequency != -1.0) {
        lines << "Frequency: " + Fixed(scene.m_frequency, 1) + " Hz";
    }
    lines << "Power factor (Cos Phi): " + Fixed(powerFactor, 5);
    lines << "Timestamp: " + TimestampText(registers);
    return lines.join('\n');
}

std::pair<double, QString> PolarDiagramPainter::ScaleToPrefix(double value) {
    static const char* const kPrefixes[] = {"k", "M", "G", "T"};
    double p = value;
    QString prefix;
    for (const char* next : kPrefixes) {
        if (!(p >= 1000)) {
            break;
        }
        p /= 1000;
        prefix = next;
    }
    return {p, prefix};
}

QString PolarDiagramPainter::TimestampText(const ModbusRegisters& registers) {
    // An unavailable field (0xFFFF) makes no date, not the year 65535.
    std::array<int, 6> fields{};
    const Quantity clock[] = {Quantity::ClockYear, Quantity::ClockMonth,  Quantity::ClockDay,
                              Quantity::ClockHour, Quantity::ClockMinute, Quantity::ClockSecond};
    for (std::size_t k = 0; k < fields.size(); ++k) {
        const std::optional<double> value = registers.Value(clock[k]);
        if (!value) {
            return QStringLiteral("Invalid date");
        }
        fields[k] = static_cast<int>(*value);
    }
    const QDate date(fields[0], fields[1], fields[2]);
    const QTime time(fields[3], fields[4], fields[5]);
    if (!date.isValid() || !time.isValid()) {
        return QStringLiteral("Invalid date");
    }
    const QString day = QLocale().toString(date, QLocale::ShortFormat);
    return time == QTime(0, 0) ? day : day + " " + LongTimeText(time);
}

void PolarDiagramPainter::DrawHoverLabel() {
    fScene.m_insideLabelShown = false;
    if (!fScene.Large()) {
        return;
    }
    try {
        const std::optional<PolarHit> hit = fScene.HitTest(fPointer);
        if (!hit) {
            return;
        }
        const TPolarArrow& arrow = fScene.Arrow(hit->Object, hit->Phase);
        const double angle = hit->Object == PO_Current ? arrow.DiffAngle : arrow.Angle;
        const QString text = arrow.Name + " = " + Fixed(arrow.Module, 2) + " " + arrow.MUnit +
                             " (" + Fixed(angle * kDegreesPerRadian, 2) + QChar(0x00B0) + ")";
        DrawTooltipBox(fPointer.x() + 15, fPointer.y() + 10, text,
                       QPalette().color(QPalette::ToolTipBase), kGray, arrow.Color);
        fScene.m_insideLabelShown = true;
    } catch (const std::exception&) {
        fScene.m_insideLabelShown = false;
    }
}

void PolarDiagramPainter::DrawTooltipBox(int x, int y, const QString& text, const QColor& fill,
                                         const QColor& frame, const QColor& fontColor) {
    fCanvas.SetPen(fCanvas.PenColor(), 1, Qt::SolidLine);
    fCanvas.SetBrush(fill);
    fCanvas.SetFontColor(fontColor);
    fCanvas.SetFontSize(TextSize());
    const QRect box(QPoint(x, y), QPoint(x + fCanvas.TextWidth(text) + 4 - 1,
                                         y + fCanvas.TextHeight(text) + 2 - 1));
    fCanvas.TextClipped(box, x + 1, y + 1, text);
    fCanvas.FrameRect(box, frame);
}

void PolarDiagramPainter::DrawLabel(QPoint from, int r, double t, const QColor& color,
                                    const QString& text, int align) {
    fCanvas.SetBrush(fScene.m_backcolor);
    fCanvas.SetFontColor(color);
    const QPoint anchor = PolarScene::PointAt(from, r, t);
    const int width = fCanvas.TextWidth(text);
    const int left = align == 0   ? anchor.x()
                     : align == 1 ? anchor.x() - width
                                  : anchor.x() - width / 2;
    fCanvas.Text(left, anchor.y() - fCanvas.TextHeight(text) / 2, text);
}

void PolarDiagramPainter::DrawCellText(int x, int y, int w, const QString& text, int align) {
    const int width = fCanvas.TextWidth(text);
    const int left = align == 0 ? x : align == 1 ? x + w - width : x + w / 2 - width / 2;
    fCanvas.Text(left, y - fCanvas.TextHeight(text) / 2, text);
}

} // namespace kalvo
