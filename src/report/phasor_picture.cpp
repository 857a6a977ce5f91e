#include "report/phasor_picture.h"

#include <cmath>
#include <numbers>
#include <sstream>

namespace kalvo {

namespace {

constexpr int kBorder = PhasorPicture::kSize / PhasorSet::kBorderDivisor;
constexpr double kCentre = PhasorPicture::kSize / 2.0;
constexpr double kVoltageRadius = kCentre - kBorder;
constexpr double kCurrentRadius = kVoltageRadius * PhasorSet::kCurrentRadiusShare;
constexpr double kDegree = std::numbers::pi / 180;

std::string Number(double value) {
    std::ostringstream out;
    out.precision(1);
    out << std::fixed << (std::fabs(value) < 0.05 ? 0.0 : value);
    return out.str();
}

std::string Colour(std::size_t phase) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06X", PhasorSet::kPhaseColours[phase]);
    return text;
}

double X(double length, double t) {
    return kCentre + length * std::cos(t);
}

double Y(double length, double t) {
    return kCentre - length * std::sin(t);
}

void Background(std::ostringstream& svg) {
    svg << "<circle cx=\"" << kCentre << "\" cy=\"" << kCentre << "\" r=\"" << kVoltageRadius
        << "\" fill=\"#F0FFF0\" stroke=\"#888\"/><circle cx=\"" << kCentre << "\" cy=\"" << kCentre
        << "\" r=\"" << kCurrentRadius << "\" fill=\"#FFFFF0\" stroke=\"#bbb\"/>";
    for (int degrees = 0; degrees < 360; degrees += 30) {
        const double t = PhasorSet::ScreenAngle(degrees * kDegree);
        svg << "<line x1=\"" << Number(X(kVoltageRadius - 5, t)) << "\" y1=\""
            << Number(Y(kVoltageRadius - 5, t)) << "\" x2=\"" << Number(X(kVoltageRadius, t))
            << "\" y2=\"" << Number(Y(kVoltageRadius, t)) << "\" stroke=\"#888\"/><text x=\""
            << Number(X(kVoltageRadius + 14, t)) << "\" y=\"" << Number(Y(kVoltageRadius + 14, t))
            << "\" text-anchor=\"middle\" dominant-baseline=\"middle\">" << degrees
            << "\u00B0</text>";
    }
}

// A shaft and a filled head; nothing for a zero length.
void Arrow(std::ostringstream& svg, double length, double angle, const std::string& colour,
           bool dashed, const std::string& label) {
    if (!(length > 0.5) || !std::isfinite(angle)) {
        return;
    }
    const double t = PhasorSet::ScreenAngle(angle);
    const double head = 10;
    const double back = std::max(0.0, length - head);
    svg << "<line x1=\"" << kCentre << "\" y1=\"" << kCentre << "\" x2=\"" << Number(X(back, t))
        << "\" y2=\"" << Number(Y(back, t)) << "\" stroke=\"" << colour << "\" stroke-width=\"2\""
        << (dashed ? " stroke-dasharray=\"5 3\"" : "") << "/>";
    const double side = 4 / std::max(back, 1.0);
    svg << "<polygon fill=\"" << colour << "\" points=\"" << Number(X(length, t)) << ','
        << Number(Y(length, t)) << ' ' << Number(X(back, t + side)) << ','
        << Number(Y(back, t + side)) << ' ' << Number(X(back, t - side)) << ','
        << Number(Y(back, t - side)) << "\"/>";
    // Beside the shaft near the tip, clear of the angle scale around the voltage circle.
    const double along = std::max(length - 18, length / 2);
    const double aside = t - 10 / std::max(along, 1.0);
    svg << "<text x=\"" << Number(X(along, aside)) << "\" y=\"" << Number(Y(along, aside))
        << "\" fill=\"" << colour << "\" text-anchor=\"middle\" dominant-baseline=\"middle\">"
        << label << "</text>";
}

} // namespace

std::string PhasorPicture::Svg(const PhasorSet& phasors) {
    std::array<double, 3> voltages{};
    std::array<double, 3> currents{};
    for (std::size_t j = 0; j < 3; ++j) {
        voltages[j] = phasors.Phases[j].Voltage;
        currents[j] = phasors.Phases[j].Current;
    }
    const double voltageScale = PhasorSet::FullScale(voltages);
    const double currentScale = PhasorSet::FullScale(currents);
    std::ostringstream svg;
    svg << "<svg viewBox=\"0 0 " << kSize << ' ' << kSize << "\" width=\"" << kSize
        << "\" height=\"" << kSize << "\" role=\"img\">";
    Background(svg);
    for (std::size_t j = 0; j < 3; ++j) {
        const PhasorSet::Phase& phase = phasors.Phases[j];
        const std::string n = std::to_string(j + 1);
        if (voltageScale > 0) {
            Arrow(svg, phase.Voltage / voltageScale * kVoltageRadius, phase.VoltageAngle, Colour(j),
                  false, "U" + n);
        }
        if (currentScale > 0) {
            Arrow(svg, phase.Current / currentScale * kCurrentRadius,
                  phase.VoltageAngle + phase.Shift, Colour(j), true, "I" + n);
        }
    }
    svg << "</svg>";
    return svg.str();
}

} // namespace kalvo
