#pragma once

#include "app/main_form_environment.h"
#include "checks/check_result.h"
#include "registers/register_sheet.h"

#include <QString>
#include <map>
#include <string>

class QWidget;

namespace kalvo {

class TPolarDiagram;
class TrendTab;

// Saving what a tab shows: a register sheet as CSV, the phasor diagram as a bitmap. Each asks
// for the file, asks before overwriting (No by default), shows the busy cursor while it
// writes, and reports a failure with the path and the reason. It also asks where a
// recording goes.
class TabExport {
public:
    // A kind of file the window writes: the folder key it is remembered under, the chooser's
    // title and filter, and its extension.
    struct Kind {
        const char* Key;
        const char* Title;
        const char* Filter;
        const char* Suffix;
        QString (*WithExtension)(const QString&);
    };

    // `folders` holds the folder last used for each kind of file ("Csv", "Bitmap", "Trend"),
    // where the next choice starts; it is updated with every file chosen.
    TabExport(QWidget& parent, const MainFormEnvironment& environment,
              std::map<QString, QString>& folders)
        : fParent(parent), fEnvironment(environment), fFolders(folders) {}

    // True when the file was written.
    bool SaveSheetToCsv(const RegisterSheet& sheet, const QString& defaultName);
    bool SaveDiagramToBitmap(const TPolarDiagram& diagram, const QString& defaultName);
    // The chart as a PNG picture of the tab's picture size under `title`, and beside it,
    // under the same name with ".csv", the samples in view or the whole history (asked).
    bool SaveTrend(const TrendTab& trend, const QString& defaultName, const QString& title);
    // The check table as CSV.
    bool SaveChecksToCsv(const std::vector<CheckResult>& results, const QString& defaultName);
    // The file a recording goes to, with ".csv" added when missing; empty when cancelled.
    QString ChooseRecording(const QString& defaultName);
    // Where the report goes (HTML or PDF, by its extension; ".html" added when it has
    // neither); empty when cancelled or when the user would rather not overwrite.
    QString ChooseReport(const QString& defaultName);
    bool SaveReportHtml(const QString& path, const std::string& html);
    // A recording to open, from the folder recordings went to last; empty when cancelled.
    QString ChooseRecordingToOpen();

private:
    // The chosen path with the extension added when missing; empty when cancelled.
    QString ChooseInLastFolder(const Kind& kind, const QString& name);
    // The same, also empty when the user would rather not overwrite.
    QString ChoosePath(const Kind& kind, const QString& name);
    // True when `path` is free, or the user agrees to overwrite it.
    bool MayWrite(const QString& path);
    // Writes `text` to `path`; reports a failure and returns false.
    bool WriteText(const QString& path, const std::string& text);
    void ReportFailure(const QString& path, const QString& reason);

    QWidget& fParent;
    const MainFormEnvironment& fEnvironment;
    std::map<QString, QString>& fFolders;
};

} // namespace kalvo
