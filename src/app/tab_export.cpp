#include "app/tab_export.h"

#include "app/export_file_names.h"
#include "checks/check_report.h"
#include "phasor/polar_diagram.h"
#include "qt_common/busy_cursor.h"
#include "trend/trend_tab.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <qcustomplot.h>

namespace kalvo {

namespace {

const TabExport::Kind kTableKind = {"Csv", "Save the table as CSV",
                                    "Comma separated values (*.csv *.CSV)", "csv", CsvFileName};
const TabExport::Kind kChecksKind = {"Csv", "Save the checks as CSV",
                                     "Comma separated values (*.csv *.CSV)", "csv", CsvFileName};
const TabExport::Kind kDiagramKind = {"Bitmap", "Save the phasor diagram as a bitmap",
                                      "Bitmap (*.bmp *.BMP)", "", BmpFileName};
const TabExport::Kind kTrendKind = {"Trend", "Save the trend as a picture and CSV",
                                    "PNG picture (*.png *.PNG)", "png", PngFileName};
const TabExport::Kind kRecordKind = {"Record", "Record the Run to",
                                     "Comma separated values (*.csv *.CSV)", "csv", CsvFileName};
const TabExport::Kind kReportKind = {"Report", "Save the commissioning report",
                                     "HTML document (*.html *.htm);;PDF document (*.pdf)", "html",
                                     ReportFileName};

} // namespace

// The choice starts in the folder last used for this kind of file, else in the working one.
QString TabExport::ChooseInLastFolder(const Kind& kind, const QString& name) {
    const QString last = fFolders[kind.Key];
    const QString folder = last.isEmpty() ? QDir::currentPath() : last;
    const QString chosen = fEnvironment.ChooseFile(
        &fParent, {kind.Title, kind.Filter, folder, kind.Suffix, name, false});
    if (chosen.isEmpty()) {
        return {};
    }
    const QString path = kind.WithExtension(chosen);
    fFolders[kind.Key] = QFileInfo(path).absolutePath();
    return path;
}

QString TabExport::ChoosePath(const Kind& kind, const QString& name) {
    const QString path = ChooseInLastFolder(kind, name);
    return !path.isEmpty() && MayWrite(path) ? path : QString();
}

QString TabExport::ChooseRecording(const QString& defaultName) {
    return ChooseInLastFolder(kRecordKind, defaultName);
}

QString TabExport::ChooseReport(const QString& defaultName) {
    return ChoosePath(kReportKind, defaultName);
}

bool TabExport::SaveReportHtml(const QString& path, const std::string& html) {
    BusyCursor busy;
    return WriteText(path, html);
}

QString TabExport::ChooseRecordingToOpen() {
    const QString last = fFolders[kRecordKind.Key];
    const FileChoice choice{
        "Open a recording", kRecordKind.Filter, last.isEmpty() ? QDir::currentPath() : last,
        QString(),          QString(),          true};
    return fEnvironment.ChooseFile(&fParent, choice);
}

bool TabExport::MayWrite(const QString& path) {
    return !QFile::exists(path) ||
           fEnvironment.AskYesNo(&fParent, "Overwrite existing file\r\n" + path + "\r\n?");
}

bool TabExport::WriteText(const QString& path, const std::string& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(QByteArray::fromStdString(text)) < 0 || !file.flush()) {
        ReportFailure(path, file.errorString());
        return false;
    }
    return true;
}

void TabExport::ReportFailure(const QString& path, const QString& reason) {
    fEnvironment.ShowError(&fParent, "Error saving file\r\n" + path + ": " + reason);
}

bool TabExport::SaveSheetToCsv(const RegisterSheet& sheet, const QString& defaultName) {
    const QString path = ChoosePath(kTableKind, defaultName);
    if (path.isEmpty()) {
        return false;
    }
    BusyCursor busy;
    return WriteText(path, sheet.Csv());
}

bool TabExport::SaveChecksToCsv(const std::vector<CheckResult>& results,
                                const QString& defaultName) {
    const QString path = ChoosePath(kChecksKind, defaultName);
    if (path.isEmpty()) {
        return false;
    }
    BusyCursor busy;
    return WriteText(path, CheckReport::Csv(results));
}

bool TabExport::SaveDiagramToBitmap(const TPolarDiagram& diagram, const QString& defaultName) {
    const QString path = ChoosePath(kDiagramKind, defaultName);
    if (path.isEmpty()) {
        return false;
    }
    BusyCursor busy;
    try {
        diagram.SaveToFile(path);
        return true;
    } catch (const std::exception& error) {
        ReportFailure(path, QString::fromStdString(error.what()));
        return false;
    }
}

bool TabExport::SaveTrend(const TrendTab& trend, const QString& defaultName, const QString& title) {
    const QString path = ChoosePath(kTrendKind, defaultName);
    if (path.isEmpty()) {
        return false;
    }
    const QString csvPath = path.left(path.size() - 4) + ".csv";
    if (!MayWrite(csvPath)) {
        return false;
    }
    const bool whole = fEnvironment.AskYesNo(
        &fParent, "Save the whole history of the trend as CSV?\r\n(No: only what is in view)");
    BusyCursor busy;
    if (!trend.Chart()->SavePicture(path, trend.PictureSize(), title)) {
        ReportFailure(path, "the picture could not be written");
        return false;
    }
    return WriteText(csvPath, whole ? trend.Csv(TrendTab::CsvSpan::WholeHistory)
                                    : trend.Csv(TrendTab::CsvSpan::View));
}

} // namespace kalvo
