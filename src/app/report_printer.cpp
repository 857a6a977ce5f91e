#include "app/report_printer.h"

#include "app/web_plugin.h"
#include "app/web_plugin_loader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

namespace kalvo {

ReportPrinter::ReportPrinter(QObject* parent) : QObject(parent) {}

ReportPrinter::~ReportPrinter() = default;

// The HTML goes through a file: a page set from a string is limited to 2 MB.
bool ReportPrinter::Print(const std::string& html, const QString& pdfPath) {
    if (!fPdfPath.isEmpty()) {
        return false;
    }
    fPdfPath = pdfPath;
    fConsoleErrors.clear();
    WebPlugin* engine = WebPluginLoader::Instance();
    if (engine == nullptr) {
        End(false, "PDF needs the web view (package kalvo-client-web); save the report as HTML");
        return true;
    }
    fFolder = std::make_unique<QTemporaryDir>();
    const QString source = fFolder->filePath("report.html");
    QFile file(source);
    if (!fFolder->isValid() || !file.open(QIODevice::WriteOnly) ||
        file.write(QByteArray::fromStdString(html)) < 0 || !file.flush()) {
        End(false, "cannot stage the report for printing: " + file.errorString());
        return true;
    }
    file.close();
    engine->PrintToPdf(QUrl::fromLocalFile(source), pdfPath, this,
                       [this](bool ok, const QStringList& errors) {
                           fConsoleErrors = errors;
                           End(ok, "the browser engine could not print the report");
                       });
    return true;
}

void ReportPrinter::End(bool ok, const QString& reason) {
    const QString path = fPdfPath;
    fPdfPath.clear();
    emit finished(path, ok, ok ? QString() : reason);
}

} // namespace kalvo
