// The window's commissioning report: what the run left in the journal, the image, the checks
// and the statistics, written by the report core; PDF through the browser engine.
#include "app/main_form.h"
#include "app/report_printer.h"
#include "app/serial_port_box.h"
#include "app/tab_export.h"
#include "qt_common/busy_cursor.h"
#include "qt_common/locale_time.h"
#include "report/commissioning_report.h"
#include "trend/trend_quantity.h"
#include "trend/trend_tab.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <kalvo_version.h>

namespace kalvo {

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

// A run is judged by the check settings of its start, and its report's trends follow what
// the trend follows then.
SessionPlan TmainForm::RunPlan(std::int32_t pollDelayMs) const {
    SessionPlan plan;
    plan.Checks = fCheckSettings;
    for (const int index : fTrend->Selection()) {
        plan.Trends.push_back(TrendQuantity::At(index).Row->Id);
    }
    if (RadioTCP->isChecked()) {
        plan.Connection =
            ReportFacts::TcpConnection(TcpHost().toStdString(), TCPPortEdit->text().toInt());
        plan.Settings = ReportFacts::Of(
            pollDelayMs, std::int64_t{fPollSettings.ReplyTimeoutS} * 1000, fCheckSettings);
    } else {
        plan.Connection =
            ReportFacts::RtuConnection(ComboSerials->currentText().toStdString(),
                                       SpeedBox->currentText().toInt(), mbRTUaddr->text().toInt());
        plan.Settings = ReportFacts::Of(pollDelayMs, std::nullopt, fCheckSettings);
    }
    return plan;
}

ReportData TmainForm::ReportContents() const {
    ReportData data;
    fSession.FillReport(data);
    if (data.Connection.empty()) {
        data.Connection = "no run yet";
    }
    data.Version = KALVO_VERSION;
    data.Host = ReportFacts::HostName();
    data.User = ReportFacts::UserName();
    data.Statistics = fSession.Statistics().Snapshot();
    data.DecimalSeparator = DecimalSeparator();
    return data;
}

void TmainForm::SaveReport() {
    const ReportData data = ReportContents();
    const double now = Now();
    TabExport exporter(*this, fEnvironment, fLastFolders);
    const QString path =
        exporter.ChooseReport(QString::fromStdString(CommissioningReport::FileName(data, now)));
    if (path.isEmpty()) {
        return;
    }
    const std::string html = CommissioningReport::Html(data, now);
    if (!path.endsWith(".pdf", Qt::CaseInsensitive)) {
        if (exporter.SaveReportHtml(path, html)) {
            fEnvironment.ShowInformation(this, "File successfully saved");
        }
        return;
    }
    // The print may end at once (no browser engine): its end enables the command again.
    ReportAction->setEnabled(false);
    AppendLog("Printing the report to " + path);
    if (!fReportPrinter->Print(html, path)) {
        fEnvironment.ShowWarning(this, "A report is still being printed; save again when it is "
                                       "done.");
    }
}

void TmainForm::ReportPrinted(const QString& path, bool ok, const QString& reason) {
    ReportAction->setEnabled(true);
    if (ok) {
        AppendLog("Report saved to " + path);
        fEnvironment.ShowInformation(this, "File successfully saved");
    } else {
        fEnvironment.ShowError(this, "Error saving file\r\n" + path + ": " + reason);
    }
}

} // namespace kalvo
