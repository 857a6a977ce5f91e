#pragma once

#include "report/report_data.h"

#include <string>
#include <string_view>

namespace kalvo {

// The commissioning report as one self-contained HTML5 document: inline style (with a print
// style for A4) and inline SVG pictures, no script, nothing fetched. Everything the run
// produced lies in its data section, the <main> element, whose SHA-256 the footer gives.
class CommissioningReport {
public:
    // `createdAt` in seconds since the epoch.
    static std::string Html(const ReportData& data, double createdAt);
    // The data section of a report: from "<main" to "</main>", both included; empty when
    // there is none.
    static std::string_view DataSection(std::string_view html);
    // "KALVO_<serial>_report_<yyyyMMdd_HHmmss>" of local `time`; no extension.
    static std::string FileName(const ReportData& data, double time);
    // The module's serial number as the tables show it, or "module" before any read.
    static std::string SerialText(const ReportData& data);
};

} // namespace kalvo
