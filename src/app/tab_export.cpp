#include "app/tab_export.h"

#include "app/export_file_names.h"
#include "phasor/polar_diagram.h"
#include "trend/trend_tab.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <qcustomplot.h>

namespace kalvo {

namespace {

// The busy cursor for as long as a file is being written.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

// The choice starts in the folder last used for this kind of file, else in the working one.
QString TabExport::ChooseInLastFolder(const QString& kind, const QString& filter,
                                      const QString& suffix, const QString& name,
                                      QString (*withExtension)(const QString&)) {
    const QString last = fFolders[kind];
    const QString folder = last.isEmpty() ? QDir::currentPath() : last;
    const QString chosen = fEnvironment.ChooseSaveFile(&fParent, filter, folder, suffix, name);
    if (chosen.isEmpty()) {
        return {};
    }
    const QString path = withExtension(chosen);
    fFolders[kind] = QFileInfo(path).absolutePath();
    return path;
}

QString TabExport::ChoosePath(const QString& kind, const QString& filter, const QString& suffix,
                              const QString& name, QString (*withExtension)(const QString&)) {
    const QString path = ChooseInLastFolder(kind, filter, suffix, name, withExtension);
    return !path.isEmpty() && MayWrite(path) ? path : QString();
}

QString TabExport::ChooseRecording(const QString& defaultName) {
    return ChooseInLastFolder("Record", "Comma separated values (*.csv *.CSV)", "csv", defaultName,
                              CsvFileName);
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
    const QString path =
        ChoosePath("Csv", "Comma separated values (*.csv *.CSV)", "csv", defaultName, CsvFileName);
    if (path.isEmpty()) {
        return false;
    }
    BusyCursor busy;
    return WriteText(path, sheet.Csv());
}

bool TabExport::SaveDiagramToBitmap(const TPolarDiagram& diagram, const QString& defaultName) {
    const QString path =
        ChoosePath("Bitmap", "Bitmap (*.bmp *.BMP)", QString(), defaultName, BmpFileName);
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

bool TabExport::SaveTrend(const TrendTab& trend, const QString& defaultName) {
    const QString path =
        ChoosePath("Trend", "PNG picture (*.png *.PNG)", "png", defaultName, PngFileName);
    if (path.isEmpty()) {
        return false;
    }
    const QString csvPath = path.left(path.size() - 4) + ".csv";
    if (!MayWrite(csvPath)) {
        return false;
    }
    BusyCursor busy;
    const QWidget* chart = trend.Chart();
    if (!trend.Chart()->Plot()->savePng(path, chart->width(), chart->height())) {
        ReportFailure(path, "the picture could not be written");
        return false;
    }
    return WriteText(csvPath, trend.VisibleCsv());
}

} // namespace kalvo
