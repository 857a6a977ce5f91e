#include "metrics/metrics_exposition.h"

#include "registers/quantity_info.h"

#include <array>
#include <charconv>
#include <cmath>
#include <functional>
#include <utility>

namespace kalvo {

namespace {

using Format = MetricsExposition::Format;
using Label = std::pair<std::string_view, std::string>;
using Labels = std::vector<Label>;

struct Family {
    std::string_view Name; // without "_total" for a counter
    std::string_view Type; // "gauge", "counter", "info"
    std::string_view Unit; // the name's unit suffix, for OpenMetrics; may be empty
    std::string_view Help;
};

// A quantity's sample: its family and the labels that tell it from its siblings.
struct QuantitySample {
    Quantity Id;
    std::size_t FamilyIndex;
    std::string_view Key1;
    std::string_view Value1;
    std::string_view Key2 = {};
    std::string_view Value2 = {};
};

constexpr std::array kQuantityFamilies = {
    Family{"kalvo_voltage_volts", "gauge", "volts", "Phase to neutral voltage."},
    Family{"kalvo_voltage_harmonic_volts", "gauge", "volts", "Voltage harmonic."},
    Family{"kalvo_current_amperes", "gauge", "amperes", "Phase current."},
    Family{"kalvo_current_harmonic_amperes", "gauge", "amperes", "Current harmonic."},
    Family{"kalvo_voltage_angle_radians", "gauge", "radians", "Voltage angle from L1 voltage."},
    Family{"kalvo_current_angle_radians", "gauge", "radians", "Current angle from its voltage."},
    Family{"kalvo_frequency_hertz", "gauge", "hertz", "Mean frequency."},
    Family{"kalvo_power_factor_ratio", "gauge", "ratio", "Mean power factor."},
    Family{"kalvo_active_power_watts", "gauge", "watts", "Total active power."},
    Family{"kalvo_reactive_power_volt_amperes_reactive", "gauge", "volt_amperes_reactive",
           "Total reactive power."},
    Family{"kalvo_apparent_power_volt_amperes", "gauge", "volt_amperes", "Total apparent power."},
    Family{"kalvo_active_energy_joules", "counter", "joules", "Active energy totaliser."},
    Family{"kalvo_reactive_energy_volt_ampere_reactive_seconds", "counter",
           "volt_ampere_reactive_seconds", "Reactive energy totaliser."},
    Family{"kalvo_reactive_energy_quadrant_volt_ampere_reactive_seconds", "counter",
           "volt_ampere_reactive_seconds", "Reactive energy totaliser of one quadrant."},
    Family{"kalvo_apparent_energy_volt_ampere_seconds", "counter", "volt_ampere_seconds",
           "Apparent energy totaliser."},
};

const std::vector<QuantitySample>& QuantitySamples() {
    using Q = Quantity;
    static const std::vector<QuantitySample> samples = {
        {Q::VoltageL1, 0, "phase", "L1"},
        {Q::VoltageL2, 0, "phase", "L2"},
        {Q::VoltageL3, 0, "phase", "L3"},
        {Q::VoltageL1Harmonic3, 1, "phase", "L1", "harmonic", "3"},
        {Q::VoltageL1Harmonic5, 1, "phase", "L1", "harmonic", "5"},
        {Q::VoltageL1Harmonic7, 1, "phase", "L1", "harmonic", "7"},
        {Q::VoltageL2Harmonic3, 1, "phase", "L2", "harmonic", "3"},
        {Q::VoltageL2Harmonic5, 1, "phase", "L2", "harmonic", "5"},
        {Q::VoltageL2Harmonic7, 1, "phase", "L2", "harmonic", "7"},
        {Q::VoltageL3Harmonic3, 1, "phase", "L3", "harmonic", "3"},
        {Q::VoltageL3Harmonic5, 1, "phase", "L3", "harmonic", "5"},
        {Q::VoltageL3Harmonic7, 1, "phase", "L3", "harmonic", "7"},
        {Q::CurrentL1, 2, "phase", "L1"},
        {Q::CurrentL2, 2, "phase", "L2"},
        {Q::CurrentL3, 2, "phase", "L3"},
        {Q::CurrentL1Harmonic3, 3, "phase", "L1", "harmonic", "3"},
        {Q::CurrentL1Harmonic5, 3, "phase", "L1", "harmonic", "5"},
        {Q::CurrentL1Harmonic7, 3, "phase", "L1", "harmonic", "7"},
        {Q::CurrentL2Harmonic3, 3, "phase", "L2", "harmonic", "3"},
        {Q::CurrentL2Harmonic5, 3, "phase", "L2", "harmonic", "5"},
        {Q::CurrentL2Harmonic7, 3, "phase", "L2", "harmonic", "7"},
        {Q::CurrentL3Harmonic3, 3, "phase", "L3", "harmonic", "3"},
        {Q::CurrentL3Harmonic5, 3, "phase", "L3", "harmonic", "5"},
        {Q::CurrentL3Harmonic7, 3, "phase", "L3", "harmonic", "7"},
        {Q::VoltageAngleL2, 4, "phase", "L2"},
        {Q::VoltageAngleL3, 4, "phase", "L3"},
        {Q::CurrentAngleL1, 5, "phase", "L1"},
        {Q::CurrentAngleL2, 5, "phase", "L2"},
        {Q::CurrentAngleL3, 5, "phase", "L3"},
        {Q::Frequency, 6, {}, {}},
        {Q::MeanPowerFactor, 7, {}, {}},
        {Q::ActivePowerTotal, 8, {}, {}},
        {Q::ReactivePowerTotal, 9, {}, {}},
        {Q::ApparentPowerTotal, 10, {}, {}},
        {Q::ActiveEnergyImport, 11, "direction", "import"},
        {Q::ActiveEnergyExport, 11, "direction", "export"},
        {Q::ReactiveEnergyImport, 12, "direction", "import"},
        {Q::ReactiveEnergyExport, 12, "direction", "export"},
        {Q::ReactiveEnergyQ1, 13, "quadrant", "1"},
        {Q::ReactiveEnergyQ2, 13, "quadrant", "2"},
        {Q::ReactiveEnergyQ3, 13, "quadrant", "3"},
        {Q::ReactiveEnergyQ4, 13, "quadrant", "4"},
        {Q::ApparentEnergyImport, 14, "direction", "import"},
        {Q::ApparentEnergyExport, 14, "direction", "export"},
    };
    return samples;
}

class Writer {
public:
    Writer(std::string& out, Format format) : fOut(out), fFormat(format) {}

    void Begin(const Family& family) {
        fFamily = &family;
        const std::string name = NameOfFamily();
        fOut += "# HELP " + name + ' ' + std::string(family.Help) + '\n';
        fOut += "# TYPE " + name + ' ' + TypeText() + '\n';
        if (fFormat == Format::OpenMetrics && !family.Unit.empty()) {
            fOut += "# UNIT " + name + ' ' + std::string(family.Unit) + '\n';
        }
    }

    void Sample(const Labels& labels, double value) {
        fOut += fFamily->Name;
        if (fFamily->Type == "counter") {
            fOut += "_total";
        } else if (fFamily->Type == "info") {
            fOut += "_info";
        }
        char separator = '{';
        for (const auto& [key, text] : labels) {
            if (text.empty()) {
                continue;
            }
            fOut += separator;
            fOut += key;
            fOut += "=\"";
            AppendEscaped(text);
            fOut += '"';
            separator = ',';
        }
        if (separator == ',') {
            fOut += '}';
        }
        fOut += ' ';
        AppendNumber(value);
        fOut += '\n';
    }

private:
    // OpenMetrics names the family without the counter's and the info's suffix; the older
    // text format names it as its samples are named, and knows no info type.
    std::string NameOfFamily() const {
        std::string name(fFamily->Name);
        if (fFormat == Format::Prometheus && fFamily->Type == "counter") {
            name += "_total";
        } else if (fFormat == Format::Prometheus && fFamily->Type == "info") {
            name += "_info";
        }
        return name;
    }

    std::string TypeText() const {
        return fFormat == Format::Prometheus && fFamily->Type == "info"
                   ? std::string("gauge")
                   : std::string(fFamily->Type);
    }

    void AppendEscaped(std::string_view text) {
        for (const char c : text) {
            if (c == '\\' || c == '"') {
                fOut += '\\';
                fOut += c;
            } else if (c == '\n') {
                fOut += "\\n";
            } else {
                fOut += c;
            }
        }
    }

    void AppendNumber(double value) {
        if (std::isnan(value)) {
            fOut += "NaN";
            return;
        }
        if (std::isinf(value)) {
            fOut += value > 0 ? "+Inf" : "-Inf";
            return;
        }
        std::array<char, 32> text{};
        char* end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
        fOut.append(text.data(), static_cast<std::size_t>(end - text.data()));
    }

    std::string& fOut;
    Format fFormat;
    const Family* fFamily = nullptr;
};

Labels ModuleLabels(const ModuleSnapshot& module) {
    return {{"module", module.SerialNumber}, {"target", module.Target}};
}

void ModuleFamilies(Writer& writer, const std::vector<ModuleSnapshot>& modules) {
    using Value = std::function<double(const ModuleSnapshot&)>;
    const std::array<std::pair<Family, Value>, 9> families = {{
        {{"kalvo_up", "gauge", "", "Whether the module's last read cycle succeeded."},
         [](const ModuleSnapshot& m) { return m.Up ? 1.0 : 0.0; }},
        {{"kalvo_last_read_timestamp_seconds", "gauge", "seconds",
          "When the module was last read in full."},
         [](const ModuleSnapshot& m) { return m.LastGoodReadSeconds; }},
        {{"kalvo_read_duration_seconds", "gauge", "seconds",
          "How long the module's last read cycle took."},
         [](const ModuleSnapshot& m) { return m.ReadDurationSeconds; }},
        {{"kalvo_requests", "counter", "", "Requests sent to the module."},
         [](const ModuleSnapshot& m) { return double(m.Statistics.Requests); }},
        {{"kalvo_responses", "counter", "", "Replies that answered a request."},
         [](const ModuleSnapshot& m) { return double(m.Statistics.Responses); }},
        {{"kalvo_timeouts", "counter", "", "Requests left without a reply."},
         [](const ModuleSnapshot& m) { return double(m.Statistics.NoResponses); }},
        {{"kalvo_mismatches", "counter", "", "Replies that did not match their request."},
         [](const ModuleSnapshot& m) { return double(m.Statistics.Unmatched); }},
        {{"kalvo_exceptions", "counter", "", "Exception replies."},
         [](const ModuleSnapshot& m) { return double(m.Statistics.Exceptions); }},
        {{"kalvo_invalid_replies", "counter", "", "Replies that broke the protocol."},
         [](const ModuleSnapshot& m) { return double(m.Statistics.Invalid); }},
    }};
    const Family info{"kalvo_module", "info", "", "The module's target and name."};
    writer.Begin(info);
    for (const ModuleSnapshot& module : modules) {
        Labels labels = ModuleLabels(module);
        labels.emplace_back("name", module.Name);
        writer.Sample(labels, 1);
    }
    for (const auto& [family, value] : families) {
        writer.Begin(family);
        for (const ModuleSnapshot& module : modules) {
            writer.Sample(ModuleLabels(module), value(module));
        }
    }
}

void QuantityFamilies(Writer& writer, const std::vector<ModuleSnapshot>& modules) {
    for (std::size_t index = 0; index < kQuantityFamilies.size(); ++index) {
        writer.Begin(kQuantityFamilies[index]);
        for (const ModuleSnapshot& module : modules) {
            if (!module.Up) {
                continue;
            }
            for (const QuantitySample& sample : QuantitySamples()) {
                if (sample.FamilyIndex != index) {
                    continue;
                }
                const std::optional<double> value = module.Registers.ScaledValue(sample.Id);
                if (!value) {
                    continue;
                }
                Labels labels = ModuleLabels(module);
                labels.emplace_back(sample.Key1, std::string(sample.Value1));
                labels.emplace_back(sample.Key2, std::string(sample.Value2));
                writer.Sample(labels, *value * InfoOf(sample.Id).BaseFactor);
            }
        }
    }
}

// Concluded checks only: one waiting for more readings says nothing yet.
void CheckFamilies(Writer& writer, const std::vector<ModuleSnapshot>& modules) {
    const std::array<std::pair<Family, Verdict>, 2> families = {{
        {{"kalvo_check_passed", "gauge", "",
          "1 when the check passed (a warning included), 0 when it failed."},
         Verdict::Failed},
        {{"kalvo_check_warning", "gauge", "", "1 when the check passed with a warning."},
         Verdict::Warning},
    }};
    for (const auto& [family, verdict] : families) {
        writer.Begin(family);
        for (const ModuleSnapshot& module : modules) {
            if (!module.Up) {
                continue;
            }
            for (const CheckResult& check : module.Checks) {
                const Verdict outcome = check.Outcome;
                if (outcome != Verdict::Passed && outcome != Verdict::Warning &&
                    outcome != Verdict::Failed) {
                    continue;
                }
                Labels labels = ModuleLabels(module);
                labels.emplace_back("check", std::string(check.Key()));
                const bool shown = verdict == Verdict::Failed ? outcome != Verdict::Failed
                                                              : outcome == Verdict::Warning;
                writer.Sample(labels, shown ? 1 : 0);
            }
        }
    }
}

} // namespace

MetricsExposition::Format MetricsExposition::Negotiate(std::string_view accept) {
    return accept.find("application/openmetrics-text") != std::string_view::npos
               ? Format::OpenMetrics
               : Format::Prometheus;
}

std::string_view MetricsExposition::ContentType(Format format) {
    return format == Format::OpenMetrics
               ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
               : "text/plain; version=0.0.4; charset=utf-8";
}

std::string MetricsExposition::Text(const std::vector<ModuleSnapshot>& modules, Format format) {
    std::string out;
    Writer writer(out, format);
    ModuleFamilies(writer, modules);
    QuantityFamilies(writer, modules);
    CheckFamilies(writer, modules);
    if (format == Format::OpenMetrics) {
        out += "# EOF\n";
    }
    return out;
}

} // namespace kalvo
