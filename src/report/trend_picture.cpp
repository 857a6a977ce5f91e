#include "report/trend_picture.h"

#include "checks/check_text.h"
#include "registers/markup_text.h"
#include "registers/value_text.h"
#include "trend/trend_columns.h"

#include <cmath>
#include <sstream>

namespace kalvo {

namespace {

constexpr int kLeft = 80;
constexpr int kRight = TrendPicture::kWidth - 20;
constexpr int kTop = 12;
constexpr int kBottom = TrendPicture::kHeight - 36;
constexpr int kTicks = 4;

struct Frame {
    double From;
    double To;
    double Lowest;
    double Highest;

    double X(double time) const {
        return To > From ? kLeft + (time - From) / (To - From) * (kRight - kLeft)
                         : (kLeft + kRight) / 2.0;
    }
    double Y(double value) const {
        return kBottom - (value - Lowest) / (Highest - Lowest) * (kBottom - kTop);
    }
};

std::string Number(double value) {
    std::ostringstream out;
    out.precision(1);
    out << std::fixed << value;
    return out.str();
}

// A flat line gets a band around it, so that it sits in the middle; the range then widens to
// whole steps of 1, 2, 2.5 or 5 times a power of ten, about four of them.
double Widen(double& lowest, double& highest) {
    if (highest - lowest < 1e-9 * std::max(1.0, std::fabs(highest))) {
        const double half = std::max(1.0, std::fabs(highest)) * 0.01;
        lowest -= half;
        highest += half;
    }
    const double raw = (highest - lowest) / kTicks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10 * magnitude;
    for (const double factor : {1.0, 2.0, 2.5, 5.0}) {
        if (factor * magnitude >= raw) {
            step = factor * magnitude;
            break;
        }
    }
    lowest = std::floor(lowest / step) * step;
    highest = std::ceil(highest / step) * step;
    return step;
}

void Axes(std::ostringstream& svg, const Frame& frame, double step, const std::string& unit,
          const std::string& separator) {
    svg << "<rect x=\"" << kLeft << "\" y=\"" << kTop << "\" width=\"" << kRight - kLeft
        << "\" height=\"" << kBottom - kTop << "\" fill=\"#fff\" stroke=\"#888\"/>";
    const int ticks = static_cast<int>(std::lround((frame.Highest - frame.Lowest) / step));
    for (int k = 0; k <= ticks; ++k) {
        const double value = frame.Lowest + step * k;
        const std::string y = Number(frame.Y(value));
        svg << "<line x1=\"" << kLeft << "\" y1=\"" << y << "\" x2=\"" << kRight << "\" y2=\"" << y
            << "\" stroke=\"#e4e4e4\"/><text x=\"" << kLeft - 6 << "\" y=\"" << y
            << "\" text-anchor=\"end\" dominant-baseline=\"middle\">"
            << MarkupText(FormatGeneralFloat(std::round(value / step) * step, separator))
            << "</text>";
    }
    svg << "<text x=\"12\" y=\"" << (kTop + kBottom) / 2 << "\" transform=\"rotate(-90 12 "
        << (kTop + kBottom) / 2 << ")\" text-anchor=\"middle\">" << MarkupText(unit) << "</text>";
    // A single reading's time sits under it, in the middle.
    const bool span = frame.To > frame.From;
    const double times[] = {frame.From, (frame.From + frame.To) / 2, frame.To};
    const char* anchors[] = {"start", "middle", "end"};
    for (int k = 0; k < (span ? 3 : 1); ++k) {
        svg << "<text x=\"" << Number(frame.X(times[k])) << "\" y=\"" << kBottom + 18
            << "\" text-anchor=\"" << (span ? anchors[k] : "middle") << "\">"
            << CheckText::LocalTime(std::floor(times[k])) << "</text>";
    }
}

// Runs of drawn points as polylines; a lone point between gaps as a dot.
void Line(std::ostringstream& svg, const Frame& frame,
          const std::vector<TrendSeries::Point>& points) {
    std::vector<std::string> run;
    auto flush = [&] {
        if (run.size() == 1) {
            const std::size_t comma = run[0].find(',');
            svg << "<circle cx=\"" << run[0].substr(0, comma) << "\" cy=\""
                << run[0].substr(comma + 1) << "\" r=\"2.5\" fill=\"#1f5fa8\"/>";
        } else if (run.size() > 1) {
            svg << "<polyline fill=\"none\" stroke=\"#1f5fa8\" stroke-width=\"1.5\" points=\"";
            for (std::size_t i = 0; i < run.size(); ++i) {
                svg << (i > 0 ? " " : "") << run[i];
            }
            svg << "\"/>";
        }
        run.clear();
    };
    for (const TrendSeries::Point& point : points) {
        if (std::isnan(point.Value)) {
            flush();
            continue;
        }
        run.push_back(Number(frame.X(point.Time)) + "," + Number(frame.Y(point.Value)));
    }
    flush();
}

} // namespace

std::string TrendPicture::Svg(const TrendSeries& series, double from, double to,
                              const std::string& unit, const std::string& decimalSeparator) {
    Frame frame{from, to, 0, 0};
    std::ostringstream svg;
    svg << "<svg viewBox=\"0 0 " << kWidth << ' ' << kHeight << "\" width=\"" << kWidth
        << "\" height=\"" << kHeight << "\">";
    if (!series.Range(from, to, frame.Lowest, frame.Highest)) {
        frame.Lowest = 0;
        frame.Highest = 1;
        Axes(svg, frame, 0.25, unit, decimalSeparator);
        svg << "<text x=\"" << (kLeft + kRight) / 2 << "\" y=\"" << (kTop + kBottom) / 2
            << "\" text-anchor=\"middle\">not read</text></svg>";
        return svg.str();
    }
    const double step = Widen(frame.Lowest, frame.Highest);
    Axes(svg, frame, step, unit, decimalSeparator);
    TrendColumns columns;
    const std::vector<TrendSeries::Point> points =
        to > from ? columns.Points(series, from, to, kRight - kLeft)
                  : std::vector<TrendSeries::Point>{{from, series.ValueAt(series.IndexAt(from))}};
    Line(svg, frame, points);
    svg << "</svg>";
    return svg.str();
}

} // namespace kalvo
